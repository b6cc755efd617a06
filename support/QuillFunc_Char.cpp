#include "support/QuillFunc_Char.h"

#include "platform/codepage.h"
#include "platform/shared/utf8.h"
#include "support/ErrObject.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// 2 to the power e, converted to a 32-bit integer the way CLng does: a power
// beyond the signed range is an overflow.
std::int32_t powerOfTwo(std::int32_t e)
{
    const double power = std::pow(2.0, e);
    if (power > std::numeric_limits<std::int32_t>::max()) {
        Err().Raise(vberr::Overflow);
    }
    return static_cast<std::int32_t>(power);
}

std::string_view trimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

using platform::forEachUtf8Character;

} // namespace

bool gProcTrans2To10(std::string_view bits, std::int32_t &value)
{
    bool valid = false;
    const bool ran = gTrap("gProcTrans2To10", [&] {
        const std::string_view trimmed = trimSpaces(bits);
        std::int32_t n = 0;
        forEachUtf8Character(trimmed, [&](std::string_view) {
            ++n;
            return true;
        });
        if (n == 0) {
            value = -1;
            return;
        }
        std::int32_t total = 0;
        std::int32_t i = 0;
        bool bad = false;
        forEachUtf8Character(trimmed, [&](std::string_view ch) {
            ++i;
            if (ch == "1") {
                const std::int32_t power = powerOfTwo(n - i);
                if (total > std::numeric_limits<std::int32_t>::max() - power) {
                    Err().Raise(vberr::Overflow);
                }
                total += power;
            } else if (ch != "0") {
                bad = true;
                return false;
            }
            return true;
        });
        if (bad) {
            value = -1;
            return;
        }
        value = total;
        valid = true;
    });
    return ran && valid;
}

void mGetBeki2(std::int32_t value, std::int32_t &exponent)
{
    gTrap("mGetBeki2", [&] {
        if (value <= 1) {
            exponent = 0;
            return;
        }
        // Compared in double precision, so the largest values need no 2^31.
        std::int32_t e = 0;
        while (std::pow(2.0, e) <= value) {
            ++e;
        }
        exponent = e - 1;
    });
}

bool gProcTrans10To2(std::int32_t value, std::string &bits)
{
    return gTrap("gProcTrans10To2", [&] {
        std::int32_t n = 0;
        mGetBeki2(value, n);
        if (n <= 0) {
            bits = std::to_string(value);
            return;
        }
        std::string result = "1";
        std::int32_t remainder = value - powerOfTwo(n);
        for (std::int32_t e = n - 1; e >= 0; --e) {
            const std::int32_t power = powerOfTwo(e);
            if (power > remainder) {
                result += '0';
            } else {
                result += '1';
                remainder -= power;
            }
        }
        bits = result;
    });
}

std::string gGetSpaceString1(
    std::string_view text, std::int32_t width, std::string_view fill, std::int32_t mode)
{
    std::string result(text);
    gTrap("gGetSpaceString1", [&] {
        if (mGetLenB(fill) != 1 || width < 0) {
            return;
        }
        const std::int32_t pad = width - mGetLenB(text);
        if (pad < 0) {
            return;
        }
        // One code-page byte may be several UTF-8 bytes ("ｱ", or a character
        // the code page lacks): repeat the whole character.
        std::string padding;
        for (std::int32_t i = 0; i < pad; ++i) {
            padding += fill;
        }
        if (mode == 1) {
            result = padding + std::string(text);
        } else if (mode == 2) {
            result = std::string(text) + padding;
        }
    });
    return result;
}

std::int32_t mGetLenB(std::string_view text)
{
    return platform::ansiByteLength(text);
}

std::optional<std::int32_t> gReadHexId(std::u16string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char16_t u : text) {
        int digit = -1;
        if (u >= u'0' && u <= u'9') {
            digit = u - u'0';
        } else if (u >= u'A' && u <= u'F') {
            digit = u - u'A' + 10;
        } else if (u >= u'a' && u <= u'f') {
            digit = u - u'a' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::optional<std::int32_t> gReadHexId(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return gReadHexId(wide);
}
