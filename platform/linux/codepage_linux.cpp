#include "platform/codepage.h"

#include <cerrno>
#include <glib.h>
#include <iconv.h>

namespace platform {
namespace {

constexpr const char *AnsiCodePage = "CP932";

class Converter
{
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) { }
    ~Converter()
    {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts @p in; a character that cannot be converted becomes @p replacement
    // (one byte of code-page input, or one whole UTF-8 character).
    std::string run(std::string_view in, std::string_view replacement, bool utf8Input) const
    {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            return std::string(in);
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char buffer[256];
        while (srcLeft > 0) {
            char *dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc != static_cast<size_t>(-1)) {
                continue;
            }
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL: replace the offending character and go on.
            out.append(replacement);
            size_t skip = 1;
            if (utf8Input) {
                auto lead = static_cast<unsigned char>(*src);
                skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                // A lead byte whose continuation is missing or malformed counts as one.
                for (size_t k = 1; k < skip; ++k) {
                    if (k >= srcLeft || (static_cast<unsigned char>(src[k]) & 0xC0) != 0x80) {
                        skip = 1;
                        break;
                    }
                }
            }
            if (skip > srcLeft) {
                skip = srcLeft;
            }
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        return out;
    }

private:
    iconv_t cd_;
};

const Converter &toAnsiConverter()
{
    static const Converter converter(AnsiCodePage, "UTF-8");
    return converter;
}

const Converter &fromAnsiConverter()
{
    static const Converter converter("UTF-8", AnsiCodePage);
    return converter;
}

bool isAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string toAnsi(std::string_view text)
{
    if (isAscii(text)) {
        return std::string(text);
    }
    return toAnsiConverter().run(text, "?", true);
}

std::string fromAnsi(std::string_view bytes)
{
    if (isAscii(bytes)) {
        return std::string(bytes);
    }
    return fromAnsiConverter().run(bytes, "\xEF\xBF\xBD", false);
}

std::int32_t ansiByteLength(std::string_view text)
{
    return static_cast<std::int32_t>(toAnsi(text).size());
}

namespace {

// Maps each character of well-formed UTF-8; malformed bytes pass unchanged.
template<class Map> std::string mapCase(std::string_view text, Map map)
{
    std::string out;
    out.reserve(text.size());
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end) {
        const gunichar c = g_utf8_get_char_validated(p, end - p);
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            out += *p++;
            continue;
        }
        char buffer[6];
        out.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(map(c), buffer)));
        p = g_utf8_next_char(p);
    }
    return out;
}

} // namespace

std::string upperCase(std::string_view text)
{
    return mapCase(text, g_unichar_toupper);
}

std::string lowerCase(std::string_view text)
{
    return mapCase(text, g_unichar_tolower);
}

} // namespace platform
