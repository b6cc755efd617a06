#include "support/QuillFunc_Char.h"

#include "platform/codepage.h"
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

// Splits UTF-8 text into characters (a malformed byte counts as one).
template<class Visit> void forEachCharacter(std::string_view text, Visit &&visit)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + len > text.size()) {
            len = 1;
        }
        if (!visit(text.substr(i, len))) {
            return;
        }
        i += len;
    }
}

// Full-width forms a Japanese input method produces, as their ASCII letters.
std::string narrowFullWidth(std::string_view text)
{
    std::string out;
    forEachCharacter(text, [&](std::string_view ch) {
        if (ch.size() == 3) {
            const auto b0 = static_cast<unsigned char>(ch[0]);
            const auto b1 = static_cast<unsigned char>(ch[1]);
            const auto b2 = static_cast<unsigned char>(ch[2]);
            const unsigned cp = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
            if (cp >= 0xFF01 && cp <= 0xFF5E) {
                out += static_cast<char>(cp - 0xFF01 + 0x21);
                return true;
            }
            if (cp == 0x3000) {
                out += ' ';
                return true;
            }
            if (cp == 0xFFE5) {
                out += '\\';
                return true;
            }
        }
        if (ch == "\xC2\xA5") { // yen sign
            out += '\\';
            return true;
        }
        out += ch;
        return true;
    });
    return out;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::optional<double> parseRadix(std::string_view digits, int radix)
{
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, radix);
    if (ec != std::errc {} || end != digits.data() + digits.size() || value > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    // The digits are a bit pattern: 16 bits when they fit, else 32, read as signed.
    if (value <= 0xFFFFu) {
        return static_cast<double>(static_cast<std::int16_t>(value));
    }
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

} // namespace

bool gProcTrans2To10(std::string_view bits, std::int32_t &value)
{
    bool valid = false;
    const bool ran = gTrap("gProcTrans2To10", [&] {
        const std::string_view trimmed = trimSpaces(bits);
        std::int32_t n = 0;
        forEachCharacter(trimmed, [&](std::string_view) {
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
        forEachCharacter(trimmed, [&](std::string_view ch) {
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

std::optional<double> gParseNumericText(std::string_view text)
{
    const std::string narrowed = narrowFullWidth(text);
    std::string_view s = trimBlanks(narrowed);
    if (s.empty()) {
        return std::nullopt;
    }
    if (s.size() > 2 && s[0] == '&') {
        const char kind = static_cast<char>(s[1] | 0x20);
        if (kind == 'h') {
            return parseRadix(s.substr(2), 16);
        }
        if (kind == 'o') {
            return parseRadix(s.substr(2), 8);
        }
        return std::nullopt;
    }

    bool negative = false;
    bool signSeen = false;
    if (s.front() == '(' && s.back() == ')') {
        negative = true;
        signSeen = true;
        s = trimBlanks(s.substr(1, s.size() - 2));
    }
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        if (signSeen) {
            return std::nullopt;
        }
        negative = s.front() == '-';
        signSeen = true;
        s = trimBlanks(s.substr(1));
    }
    if (!s.empty() && (s.back() == '+' || s.back() == '-')) {
        if (signSeen) {
            return std::nullopt;
        }
        negative = s.back() == '-';
        s = trimBlanks(s.substr(0, s.size() - 1));
    }
    if (!s.empty() && s.front() == '\\') { // currency (yen) sign
        s = s.substr(1);
    }

    // Mantissa: digits with thousands separators, one decimal point; then an exponent.
    std::string plain;
    std::size_t i = 0;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            plain += c;
            digits = true;
        } else if (c == ',' && !point && digits) {
            continue;
        } else if (c == '.' && !point) {
            plain += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent += s[j++];
        }
        const std::size_t start = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            exponent += s[j++];
        }
        if (j == start) {
            return std::nullopt;
        }
        plain += exponent;
        i = j;
    }
    if (i != s.size()) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc {} || end != plain.data() + plain.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}
