#pragma once
// Code page 936 (GBK) texts. Every record and file keeps its texts as GBK
// bytes exactly as laid out; conversion to UTF-8 happens only at the edges
// (UI, command line, JSON).

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace gbk {

// UTF-8 -> GBK bytes. nullopt when the text holds a character GBK cannot encode
// or is not valid UTF-8.
std::optional<std::string> FromUtf8(std::string_view utf8);
// GBK bytes -> UTF-8. Bytes that are not valid GBK become U+FFFD.
std::string ToUtf8(std::string_view gbkBytes);

// Length of the longest prefix of `bytes` that is at most `maxBytes` long and
// does not end inside a double-byte character.
std::size_t PrefixAtCharBoundary(std::string_view bytes, std::size_t maxBytes);

} // namespace gbk

// A fixed-size, zero-terminated, zero-filled GBK text field of N bytes (at most
// N - 1 text bytes). Trivially copyable with alignment 1, so it can sit inside
// records that are stored as their memory images.
template <std::size_t N>
struct GbkText {
    static_assert(N >= 1);
    char bytes[N];

    static constexpr std::size_t Capacity = N - 1;

    // The text up to its terminator; without a terminator the whole field (the
    // readers refuse such fields before they get here).
    std::string_view View() const { return {bytes, strnlen(bytes, N)}; }
    std::string Utf8() const { return gbk::ToUtf8(View()); }
    bool Empty() const { return bytes[0] == 0; }
    bool Terminated() const { return std::memchr(bytes, 0, N) != nullptr; }
    void Clear() { std::memset(bytes, 0, N); }

    // Copies GBK bytes; false and unchanged when they do not fit.
    [[nodiscard]] bool Set(std::string_view gbkBytes)
    {
        if (gbkBytes.size() > Capacity || gbkBytes.find('\0') != std::string_view::npos)
            return false;
        Clear();
        if (!gbkBytes.empty())  // an empty view may carry a null pointer
            std::memcpy(bytes, gbkBytes.data(), gbkBytes.size());
        return true;
    }
    // Copies GBK bytes, cut at a character boundary when they do not fit.
    void SetTruncated(std::string_view gbkBytes)
    {
        gbkBytes = gbkBytes.substr(0, gbkBytes.find('\0'));
        Clear();
        std::size_t n = gbk::PrefixAtCharBoundary(gbkBytes, Capacity);
        if (n > 0)
            std::memcpy(bytes, gbkBytes.data(), n);
    }
    // Converts from UTF-8; false and unchanged when unencodable or too long.
    [[nodiscard]] bool SetUtf8(std::string_view utf8)
    {
        auto converted = gbk::FromUtf8(utf8);
        return converted && Set(*converted);
    }
    void SetUtf8Truncated(std::string_view utf8)
    {
        auto converted = gbk::FromUtf8(utf8);
        SetTruncated(converted ? *converted : std::string());
    }

    friend bool operator==(const GbkText& a, const GbkText& b) { return a.View() == b.View(); }
};
