#include "classlib/cUnicode.h"

#include "platform/codepage.h"
#include "platform/runtime/numeric_text.h"
#include "platform/runtime/runtime_error.h"
#include "platform/shared/utf8.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD (and so never round-trips).
std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}

// UTF-8 (as the code-page service gives it: well-formed) to UTF-16.
std::u16string toUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    platform::forEachUtf8Character(text, [&out](std::string_view ch) {
        const auto lead = static_cast<unsigned char>(ch[0]);
        const std::size_t len = ch.size();
        char32_t cp = len == 1 ? lead
            : len == 2         ? lead & 0x1F
            : len == 3         ? lead & 0x0F
                               : lead & 0x07;
        for (std::size_t k = 1; k < len; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
        }
        if (len == 1 && lead >= 0x80) {
            cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        return true;
    });
    return out;
}

// The two conversions every operation is built on (from-Unicode and to-Unicode).
std::string toCodePage(const std::u16string &text)
{
    return platform::toAnsi(toUtf8(text));
}

std::u16string fromCodePage(std::string_view bytes)
{
    return toUtf16(platform::fromAnsi(bytes));
}

// The bytes an operation works on, and whether the result goes back to text.
struct Operand
{
    std::string bytes;
    bool ordinary;
};

Operand operand(const cUnicode &self, const UniString &text)
{
    if (self.IsUnicode(text)) {
        return { toCodePage(text.units()), true };
    }
    return { text.bytes(), false };
}

UniString result(const Operand &op, std::string_view bytes)
{
    if (op.ordinary) {
        return UniString(fromCodePage(bytes));
    }
    return UniString::fromBytes(bytes);
}

std::int32_t byteCount(const std::string &bytes)
{
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw RuntimeError(vberr::Overflow);
    }
    return static_cast<std::int32_t>(bytes.size());
}

// CLng of a text: a number read as the run time reads it, rounded half to even.
std::int32_t toLong(const UniString &text)
{
    const std::optional<double> number = gParseNumericText(toUtf8(text.units()));
    if (!number || text.oddByte()) {
        throw RuntimeError(vberr::TypeMismatch);
    }
    const double rounded = std::nearbyint(*number);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min()
            && rounded <= std::numeric_limits<std::int32_t>::max())) {
        throw RuntimeError(vberr::Overflow);
    }
    return static_cast<std::int32_t>(rounded);
}

} // namespace

UniString UniString::fromBytes(std::string_view bytes)
{
    UniString packed;
    packed.units_.reserve((bytes.size() + 1) / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
        packed.units_ += static_cast<char16_t>(low | (high << 8));
    }
    packed.oddByte_ = bytes.size() % 2 != 0;
    return packed;
}

std::string UniString::bytes() const
{
    std::string out;
    out.reserve(units_.size() * 2);
    for (char16_t unit : units_) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    if (oddByte_) {
        out.pop_back();
    }
    return out;
}

std::int32_t UniString::byteLength() const noexcept
{
    const std::size_t bytes = units_.size() * 2 - (oddByte_ ? 1 : 0);
    return static_cast<std::int32_t>(
        std::min<std::size_t>(bytes, std::numeric_limits<std::int32_t>::max()));
}

bool cUnicode::IsUnicode(const UniString &St) const
{
    // A string with a lone byte can only be a byte form.
    return !St.oddByte() && fromCodePage(toCodePage(St.units())) == St.units();
}

std::int32_t cUnicode::UniLenB(const UniString &St) const
{
    return byteCount(operand(*this, St).bytes);
}

UniString cUnicode::UniLeftB(const UniString &St, std::int32_t Length) const
{
    if (Length < 0) {
        throw RuntimeError(vberr::InvalidProcedureCall);
    }
    const Operand op = operand(*this, St);
    return result(op, std::string_view(op.bytes).substr(0, static_cast<std::size_t>(Length)));
}

UniString cUnicode::UniRightB(const UniString &St, std::int32_t Length) const
{
    if (Length < 0) {
        throw RuntimeError(vberr::InvalidProcedureCall);
    }
    const Operand op = operand(*this, St);
    const std::size_t take = std::min(op.bytes.size(), static_cast<std::size_t>(Length));
    return result(op, std::string_view(op.bytes).substr(op.bytes.size() - take));
}

UniString cUnicode::UniMidB(
    const UniString &St, std::int32_t StartLength, std::optional<std::int32_t> Length) const
{
    if (!Length) {
        const std::int64_t rest = std::int64_t { UniLenB(St) } - StartLength + 1;
        if (rest < std::numeric_limits<std::int32_t>::min()
            || rest > std::numeric_limits<std::int32_t>::max()) {
            throw RuntimeError(vberr::Overflow);
        }
        Length = static_cast<std::int32_t>(rest);
    }
    if (StartLength < 1 || *Length < 0) {
        throw RuntimeError(vberr::InvalidProcedureCall);
    }
    const Operand op = operand(*this, St);
    const auto start = static_cast<std::size_t>(StartLength - 1);
    if (start >= op.bytes.size()) {
        return result(op, {});
    }
    return result(op, std::string_view(op.bytes).substr(start, static_cast<std::size_t>(*Length)));
}

std::int32_t cUnicode::UniInstrB(const UniString &text1, const UniString &text2) const
{
    return UniInstrB(1, text1, text2);
}

std::int32_t cUnicode::UniInstrB(
    std::int32_t start, const UniString &text1, const UniString &text2) const
{
    if (start < 1) {
        throw RuntimeError(vberr::InvalidProcedureCall);
    }
    const std::string haystack = operand(*this, text1).bytes;
    const std::string needle = operand(*this, text2).bytes;
    // The run time's order: an empty text1 finds nothing, an empty text2 is
    // found at the start, and a start past the end finds nothing.
    if (haystack.empty()) {
        return 0;
    }
    if (needle.empty()) {
        return start;
    }
    const auto from = static_cast<std::size_t>(start - 1);
    if (from >= haystack.size()) {
        return 0;
    }
    const std::size_t at = haystack.find(needle, from);
    return at == std::string::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

std::int32_t cUnicode::UniInstrB(
    const UniString &start, const UniString &text1, const UniString &text2) const
{
    return UniInstrB(toLong(start), text1, text2);
}

UniString cUnicode::ConvUnicode(const UniString &St) const
{
    if (IsUnicode(St)) {
        return St;
    }
    return UniString(fromCodePage(St.bytes()));
}

UniString cUnicode::ConvFromUnicode(const UniString &St) const
{
    if (IsUnicode(St)) {
        return UniString::fromBytes(toCodePage(St.units()));
    }
    return St;
}
