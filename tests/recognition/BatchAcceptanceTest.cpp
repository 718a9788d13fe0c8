// Acceptance from synthetic camera frames to stored records: the recognition
// context behind the sampler interface, with the session's whole checks.
#include <gtest/gtest.h>

#include <memory>

#include "recognition/SyntheticSession.h"

namespace {


class SyntheticAcceptance : public ::testing::Test, protected SyntheticSession {
protected:
    int Mark(const cardprint::FilledCard& card, uint64_t seed, bool grey = false)
    {
        cardprint::SynthOptions o;
        o.seed = seed;
        QImage picture = cardprint::SynthesizeCameraImage(state->cardTemplate, state->templateName, card, o);
        if (grey)
            picture = picture.convertToFormat(QImage::Format_Grayscale8);
        return MarkSample(picture);
    }
    cardprint::FilledCard Card(const std::string& admission, std::vector<std::string> answers, int ab = 0)
    {
        cardprint::FilledCard c;
        c.abType = ab;
        c.admission = admission;
        c.subject = "02";
        c.score = "012";
        c.answers = std::move(answers);
        return c;
    }

};

TEST_F(SyntheticAcceptance, StandardAnswerRulesAndRereadFromFrames)
{
    Open(cardprint::DemoTemplateName(), {{"1", "85", "1", "单选题"}});
    std::vector<std::string> key(85);
    for (int q = 0; q < 85; ++q)
        key[q] = std::string(1, static_cast<char>('A' + (q * 7) % 4));
    std::vector<std::string> student = key;
    student[0] = key[0] == "A" ? "B" : "A";
    student[9] = "";

    EXPECT_EQ(Mark(Card("010000001", key), 1), 13);
    EXPECT_EQ(ctx.StatusText, "标准答案答题卡准考证号必须全空");
    EXPECT_EQ(state->session.recordCount, 0);
    ASSERT_EQ(Mark(Card("", key), 2), 0);
    EXPECT_EQ(ctx.StatusText, "标准答案已经读入");
    ASSERT_EQ(state->session.recordCount, 1);
    EXPECT_EQ(state->session.records[0].questionResults[84].answer.View(), key[84]);
    EXPECT_EQ(Mark(Card("", key), 3), 0);  // the standard answer once more
    EXPECT_EQ(state->session.records[0].readCount, 2);

    ASSERT_EQ(Mark(Card("010000002", student), 4), 0);
    EXPECT_EQ(ctx.StatusText, "李梓涵95分");  // 83 right + 12
    EXPECT_EQ(ctx.MemoTiShi, "该答题卡第一次阅读！");
    ASSERT_EQ(Mark(Card("010000002", student), 5), 0);
    EXPECT_EQ(ctx.MemoTiShi, "该答题卡这次阅卷结果和上次相同，已经阅卷次数：2");
    EXPECT_EQ(state->session.recordCount, 2);

    EXPECT_EQ(Mark(Card("", key), 6), 13);
    EXPECT_EQ(ctx.StatusText, "准考证号漏填或光线有问题");

    cardprint::FilledCard other = Card("010000003", key);
    other.subject = "01";
    EXPECT_EQ(Mark(other, 7), 13);
    EXPECT_EQ(ctx.StatusText, "科目有误");

    acceptor->selection.allClasses = false;
    acceptor->selection.classText = "01";
    EXPECT_EQ(Mark(Card("020000001", key), 8), 13);
    EXPECT_EQ(ctx.StatusText, "不属于当前班级");
    EXPECT_EQ(state->session.recordCount, 2);
}

TEST_F(SyntheticAcceptance, JdCardColourAgainstAbType)
{
    std::string jd;
    for (const auto& c : cardprint::ShippedCards())
        if (IsJdTemplate(c.fileName))
            jd = c.fileName;
    ASSERT_FALSE(jd.empty());
    Open(jd, {{"1", "60", "1", "单选题"}});
    std::vector<std::string> key(60, "B");
    // Without colour the print cannot tell its AB type.
    EXPECT_EQ(Mark(Card("", key, 1), 11, true), 13);
    EXPECT_EQ(ctx.StatusText, "颜色与AB卡类型不符合,请看文字提示信息");
    ASSERT_EQ(Mark(Card("", key, 1), 12), 0);
    EXPECT_EQ(state->session.records[0].paperType, 1);
}

TEST_F(SyntheticAcceptance, DifferingRereadStopsAutomaticMarking)
{
    Open(cardprint::DemoTemplateName(), {{"1", "85", "1", "单选题"}});
    bool automatic = true;
    int refreshes = 0;
    acceptor->hooks.automaticMarkingOn = [&] { return automatic; };
    acceptor->hooks.switchAutomaticMarkingOff = [&] { automatic = false; };
    acceptor->hooks.refreshGrid = [&] { ++refreshes; };
    std::vector<std::string> key(85, "B");
    std::vector<std::string> twoChanged = key;
    twoChanged[20] = "D";
    twoChanged[70] = "";
    ASSERT_EQ(Mark(Card("", key), 21), 0);
    ASSERT_EQ(Mark(Card("020000005", key), 22), 0);
    EXPECT_EQ(ctx.StatusText, "韩志强97分");
    EXPECT_TRUE(automatic);
    ASSERT_EQ(Mark(Card("020000005", twoChanged), 23), 0);
    EXPECT_FALSE(automatic);
    EXPECT_EQ(ctx.StatusText, "结果和上次不同,已停止自动阅卷,请看文字提示信息");
    EXPECT_EQ(acceptance->WindowCaption(), "Scorivo-摄像头阅卷版 结果和上次不同,已停止自动阅卷,请看文字提示信息");
    EXPECT_EQ(ctx.MemoTiShi.substr(0, ctx.MemoTiShi.find("请移动")),
              "该答题卡这次阅卷结果和上次不同，不同的题如下：\r\n21 B->D\r\n71 B->\r\n");
    EXPECT_EQ(ctx.Reading.studentName.Utf8(), "韩志强");
    EXPECT_EQ(state->session.records[1].totalScore, 83.0f + 12.0f);
    EXPECT_EQ(refreshes, 3);
}

} // namespace
