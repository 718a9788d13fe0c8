#include <gtest/gtest.h>

#include "platform/Gbk.h"

TEST(Gbk, RoundTripsChineseNames)
{
    for (const char* name : {"张三", "测试", "欧阳修文", "Li Lei"}) {
        auto g = gbk::FromUtf8(name);
        ASSERT_TRUE(g.has_value()) << name;
        EXPECT_EQ(gbk::ToUtf8(*g), name);
    }
    EXPECT_EQ(*gbk::FromUtf8("张三"), std::string("\xD5\xC5\xC8\xFD"));
}

TEST(Gbk, UnencodableTextIsRefused)
{
    EXPECT_FALSE(gbk::FromUtf8("\xF0\x9F\x98\x80").has_value());  // an emoji
    EXPECT_FALSE(gbk::FromUtf8("\xFF").has_value());              // not UTF-8
}

TEST(Gbk, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(gbk::ToUtf8(std::string("a\xFF" "b")), "a\xEF\xBF\xBD" "b");
}

TEST(GbkText, TruncatesAtCharacterBoundaryNeverHalfACharacter)
{
    GbkText<4> field;  // three text bytes
    field.SetUtf8Truncated("张三");  // four bytes: only one character fits
    EXPECT_EQ(field.Utf8(), "张");
    EXPECT_EQ(field.bytes[2], 0);
    EXPECT_EQ(field.bytes[3], 0);

    GbkText<5> exact;
    exact.SetUtf8Truncated("a张三");  // 5 bytes, 4 fit: "a张" (3) since 三 would need 2 more
    EXPECT_EQ(exact.Utf8(), "a张");
}

TEST(GbkText, SetRefusesTooLongAndKeepsOldValue)
{
    GbkText<5> field;
    ASSERT_TRUE(field.SetUtf8("测试"));  // exactly 4 bytes
    EXPECT_FALSE(field.SetUtf8("测试a"));
    EXPECT_EQ(field.Utf8(), "测试");
    EXPECT_TRUE(field.Terminated());
}

TEST(GbkText, ZeroFilledBehindTerminator)
{
    GbkText<8> field;
    std::memset(field.bytes, 'x', sizeof field.bytes);
    ASSERT_TRUE(field.Set("ab"));
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(field.bytes[i], 0);
}

TEST(Gbk, PrefixAtCharBoundary)
{
    std::string s = *gbk::FromUtf8("a测试b");  // 1 + 2 + 2 + 1
    EXPECT_EQ(gbk::PrefixAtCharBoundary(s, 0), 0u);
    EXPECT_EQ(gbk::PrefixAtCharBoundary(s, 2), 1u);
    EXPECT_EQ(gbk::PrefixAtCharBoundary(s, 3), 3u);
    EXPECT_EQ(gbk::PrefixAtCharBoundary(s, 4), 3u);
    EXPECT_EQ(gbk::PrefixAtCharBoundary(s, 100), 6u);
    // A lead byte at the very end (a cut file) is not counted as a character.
    EXPECT_EQ(gbk::PrefixAtCharBoundary(std::string("a\xB2"), 10), 1u);
}

TEST(GbkText, EmptyViewsClearTheField)
{
    GbkText<4> field;
    ASSERT_TRUE(field.Set("ab"));
    ASSERT_TRUE(field.Set(std::string_view()));  // a default view has a null pointer
    EXPECT_TRUE(field.Empty());
    ASSERT_TRUE(field.Set("ab"));
    field.SetTruncated(std::string_view());
    EXPECT_TRUE(field.Empty());
}
