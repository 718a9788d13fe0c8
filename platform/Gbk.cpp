#include "platform/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace gbk {
namespace {

// iconv descriptors are not thread-safe, so each call opens its own; the cost
// is a few microseconds and conversions happen only at the UI and file edges.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole input; on an invalid sequence either fails or, with
    // `replacement`, appends it and skips `skip` bytes.
    std::optional<std::string> Run(std::string_view input, const char* replacement, std::size_t skip)
    {
        if (!Valid())
            return std::nullopt;
        std::string out;
        char buffer[256];
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                if (!replacement)
                    return std::nullopt;
                out += replacement;
                std::size_t n = std::min(skip, inLeft);
                in += n;
                inLeft -= n;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    iconv_t cd_;
};

} // namespace

std::optional<std::string> FromUtf8(std::string_view utf8)
{
    Converter c("GBK", "UTF-8");
    return c.Run(utf8, nullptr, 0);
}

std::string ToUtf8(std::string_view gbkBytes)
{
    Converter c("UTF-8", "GBK");
    auto result = c.Run(gbkBytes, "\xEF\xBF\xBD", 1);
    return result ? *result : std::string();
}

std::size_t PrefixAtCharBoundary(std::string_view bytes, std::size_t maxBytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        // GBK lead bytes are 0x81..0xFE; each starts a two-byte character.
        std::size_t width = static_cast<unsigned char>(bytes[i]) >= 0x81 ? 2 : 1;
        if (i + width > maxBytes || i + width > bytes.size())
            break;
        i += width;
    }
    return i;
}

} // namespace gbk
