// Lines and names of INI text: the classification every reader and the
// writer go through, and the case folding of the ANSI code page (CP932) that
// never takes a trail byte for an ASCII letter.

#include "platform/emulation/profile_lines.h"

namespace platform::ini {
namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v';
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool isLeadByte(char c)
{
    auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// One character of @p s at @p i (advanced past it), folded to upper case.
// Double-byte codes fold the code page's full-width Latin, Greek and Cyrillic
// letters; a trail byte is never taken for an ASCII letter.
std::uint32_t foldedCharacter(std::string_view s, std::size_t &i)
{
    auto c = static_cast<unsigned char>(s[i]);
    if (isLeadByte(s[i]) && i + 1 < s.size()) {
        std::uint32_t code = (std::uint32_t { c } << 8) | static_cast<unsigned char>(s[i + 1]);
        i += 2;
        if (code >= 0x8281 && code <= 0x829A) {
            return code - 0x21; // ａ-ｚ
        }
        if (code >= 0x83BF && code <= 0x83D6) {
            return code - 0x20; // α-ω
        }
        if (code >= 0x8470 && code <= 0x8491 && code != 0x847F) {
            return 0x8440 + (code - 0x8470) - (code > 0x847F ? 1 : 0); // а-я
        }
        return code;
    }
    ++i;
    return c >= 'a' && c <= 'z' ? c - 0x20u : c;
}

} // namespace

std::string_view trimEndSpaces(std::string_view s)
{
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view cutAtNul(std::string_view s)
{
    auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string_view nameArgument(std::string_view s)
{
    s = cutAtNul(s);
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    return trimEndSpaces(s);
}

std::size_t wholeCharacters(std::string_view s, std::size_t limit)
{
    std::size_t i = 0;
    while (i < limit && i < s.size()) {
        std::size_t width = isLeadByte(s[i]) && i + 1 < s.size() ? 2 : 1;
        if (i + width > limit) {
            break;
        }
        i += width;
    }
    return i;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false; // folded pairs have equal byte lengths
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (foldedCharacter(a, i) != foldedCharacter(b, j)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string_view unquote(std::string_view v)
{
    if (v.size() > 1 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

LineReader::LineReader(std::string_view text)
    : text_(text), pos_(text.starts_with(Utf8Bom) ? Utf8Bom.size() : 0)
{ }

bool LineReader::next(Line &line)
{
    if (pos_ >= text_.size()) {
        return false;
    }
    line = Line {};
    line.begin = pos_;
    auto brk = text_.find_first_of("\r\n", pos_);
    line.contentEnd = brk == std::string_view::npos ? text_.size() : brk;
    line.end = line.contentEnd;
    if (line.end < text_.size()) {
        line.end +=
            text_[line.end] == '\r' && line.end + 1 < text_.size() && text_[line.end + 1] == '\n'
            ? 2
            : 1;
    }
    pos_ = line.end;
    classify(line);
    return true;
}

void LineReader::classify(Line &line) const
{
    std::string_view content =
        trimBlanks(cutAtNul(text_.substr(line.begin, line.contentEnd - line.begin)));
    if (content.empty()) {
        line.kind = Kind::Blank;
    } else if (content.front() == '[') {
        line.kind = Kind::Header;
        content.remove_prefix(1);
        line.name = trimBlanks(content.substr(0, content.find(']')));
    } else if (content.front() == ';') {
        line.kind = Kind::Comment;
    } else {
        line.kind = Kind::Entry;
        auto eq = content.find('=');
        if (eq == std::string_view::npos) {
            line.name = content;
        } else {
            line.name = trimBlanks(content.substr(0, eq));
            line.hasValue = true;
            line.value = trimBlanks(content.substr(eq + 1));
            line.valueBegin = static_cast<std::size_t>(content.data() + eq + 1 - text_.data());
        }
    }
}

std::optional<Line> findEntry(std::string_view text, std::string_view section, std::string_view key)
{
    std::optional<Line> found;
    forEachLineOfSection(text, section, [&](const Line &line) {
        if (line.kind == Kind::Entry && sameName(line.name, key)) {
            found = line;
            return false;
        }
        return true;
    });
    return found;
}

} // namespace platform::ini
