#include "platform/runtime/numeric_text.h"
#include "platform/shared/utf8.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

using platform::forEachUtf8Character;

// Full-width forms a Japanese input method produces, as their ASCII letters.
std::string narrowFullWidth(std::string_view text)
{
    std::string out;
    forEachUtf8Character(text, [&](std::string_view ch) {
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

// "&H..." or "&O...": a hexadecimal or octal bit pattern; other "&" forms are no number.
std::optional<double> parsePrefixed(std::string_view s)
{
    const char kind = static_cast<char>(s[1] | 0x20);
    if (kind == 'h') {
        return parseRadix(s.substr(2), 16);
    }
    if (kind == 'o') {
        return parseRadix(s.substr(2), 8);
    }
    return std::nullopt;
}

// Takes the sign off @p s: parentheses, or one '+'/'-' before or after the
// number, then a currency (yen) sign. Whether the number is negative;
// std::nullopt for two signs.
std::optional<bool> takeSign(std::string_view &s)
{
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
    if (!s.empty() && s.front() == '\\') {
        s = s.substr(1);
    }
    return negative;
}

// The mantissa from @p i on: digits with thousands separators and one decimal
// point, appended to @p plain without the separators. False without a digit.
bool readMantissa(std::string_view s, std::size_t &i, std::string &plain)
{
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
    return digits;
}

// An exponent at @p i, if one follows ('E' or 'D', a sign, digits), appended
// to @p plain as "e...". False when its digits are missing.
bool readExponent(std::string_view s, std::size_t &i, std::string &plain)
{
    if (i >= s.size() || (s[i] != 'e' && s[i] != 'E' && s[i] != 'd' && s[i] != 'D')) {
        return true;
    }
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
        return false;
    }
    plain += exponent;
    i = j;
    return true;
}

// The unsigned number @p s as text std::from_chars reads ("1234.5e-3");
// std::nullopt when anything else is left over.
std::optional<std::string> plainDecimal(std::string_view s)
{
    std::string plain;
    std::size_t i = 0;
    if (!readMantissa(s, i, plain) || !readExponent(s, i, plain) || i != s.size()) {
        return std::nullopt;
    }
    return plain;
}

} // namespace

std::optional<double> gParseNumericText(std::string_view text)
{
    const std::string narrowed = narrowFullWidth(text);
    std::string_view s = trimBlanks(narrowed);
    if (s.empty()) {
        return std::nullopt;
    }
    if (s.size() > 2 && s[0] == '&') {
        return parsePrefixed(s);
    }
    const auto negative = takeSign(s);
    if (!negative) {
        return std::nullopt;
    }
    const auto plain = plainDecimal(s);
    if (!plain) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(plain->data(), plain->data() + plain->size(), value);
    if (ec != std::errc {} || end != plain->data() + plain->size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return *negative ? -value : value;
}
