#include "platform/emulation/profile_engine.h"

#include <algorithm>
#include <cstring>

namespace platform::ini {
namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view NewLine = "\r\n";

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

std::string_view trimEndSpaces(std::string_view s)
{
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// A text argument ends at its first NUL, as a C string does.
std::string_view cutAtNul(std::string_view s)
{
    auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Section and key arguments lose their surrounding spaces (only spaces).
std::string_view nameArgument(std::string_view s)
{
    s = cutAtNul(s);
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    return trimEndSpaces(s);
}

bool isLeadByte(char c)
{
    auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length of the longest start of @p s within @p limit bytes that does not end
// inside a double-byte character.
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

enum class Kind { Blank, Header, Comment, Entry };

struct Line
{
    std::size_t begin = 0;
    std::size_t contentEnd = 0; // where the line end starts
    std::size_t end = 0; // after the line end
    Kind kind = Kind::Blank;
    std::string_view name; // section name, or key
    bool hasValue = false;
    std::string_view value; // text after "=", leading blanks removed
    std::size_t valueBegin = 0; // offset just after "="
};

// Walks the lines of a file's bytes without copying them, so a file of
// millions of short lines costs no memory per line.
class LineReader
{
public:
    explicit LineReader(std::string_view text)
        : text_(text), pos_(text.starts_with(Utf8Bom) ? Utf8Bom.size() : 0)
    { }

    bool next(Line &line)
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
            line.end += text_[line.end] == '\r' && line.end + 1 < text_.size()
                    && text_[line.end + 1] == '\n'
                ? 2
                : 1;
        }
        pos_ = line.end;
        classify(line);
        return true;
    }

private:
    void classify(Line &line) const
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

    std::string_view text_;
    std::size_t pos_;
};

// Calls @p onLine for each line of the first section named @p section (not
// the header); @p onLine answers false to stop. Answers whether the section
// exists, and its header line in @p header.
template<class OnLine>
bool forEachLineOfSection(
    std::string_view text, std::string_view section, OnLine &&onLine, Line *header = nullptr)
{
    LineReader reader(text);
    Line line;
    bool inside = false;
    while (reader.next(line)) {
        if (line.kind == Kind::Header) {
            if (inside) {
                return true;
            }
            if (sameName(line.name, section)) {
                inside = true;
                if (header) {
                    *header = line;
                }
            }
        } else if (inside && !onLine(line)) {
            return true;
        }
    }
    return inside;
}

// The first line of @p section holding @p key (with or without "=").
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

std::optional<std::string_view> findValue(
    std::string_view text, std::string_view section, std::string_view key)
{
    if (section.empty() || key.empty()) {
        return std::nullopt;
    }
    auto entry = findEntry(text, section, key);
    if (!entry || !entry->hasValue) {
        return std::nullopt;
    }
    return unquote(entry->value);
}

// Fills a caller's buffer with a zero-separated list the way the profile
// functions do: each item and its NUL while there is room for more, then a
// final NUL. An item that does not fit is cut, followed by two NULs, and the
// count is the buffer size minus two. Empty items are left out, since they
// would end the list early.
class ListWriter
{
public:
    explicit ListWriter(std::span<char> buffer)
        : buffer_(buffer), room_(buffer.empty() ? 0 : buffer.size() - 1)
    { }

    /// Adds @p item; false once the list is full.
    bool add(std::string_view item)
    {
        if (full_ || buffer_.size() < 2) {
            full_ = true;
            return false;
        }
        if (item.empty()) {
            return true;
        }
        if (item.size() + 1 >= room_) {
            std::size_t keep = wholeCharacters(item, room_ - 1);
            std::memcpy(buffer_.data() + pos_, item.data(), keep);
            buffer_[pos_ + keep] = '\0';
            buffer_[pos_ + keep + 1] = '\0';
            full_ = true;
            return false;
        }
        std::memcpy(buffer_.data() + pos_, item.data(), item.size());
        buffer_[pos_ + item.size()] = '\0';
        pos_ += item.size() + 1;
        room_ -= item.size() + 1;
        return true;
    }

    std::uint32_t finish()
    {
        if (buffer_.empty()) {
            return 0;
        }
        if (buffer_.size() == 1) {
            buffer_[0] = '\0';
            return 0;
        }
        if (full_) {
            return static_cast<std::uint32_t>(buffer_.size() - 2);
        }
        buffer_[pos_] = '\0';
        return static_cast<std::uint32_t>(pos_);
    }

private:
    std::span<char> buffer_;
    std::size_t room_; // bytes left, not counting the list's final NUL
    std::size_t pos_ = 0;
    bool full_ = false;
};

std::uint32_t keyNames(std::string_view text, std::string_view section, std::span<char> buffer)
{
    ListWriter list(buffer);
    if (!section.empty()) {
        forEachLineOfSection(text, section, [&](const Line &line) {
            return line.kind != Kind::Entry || !line.hasValue || list.add(line.name);
        });
    }
    return list.finish();
}

bool hasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool endsWithLineBreak(std::string_view s)
{
    return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

std::string spliced(
    std::string_view text, std::size_t from, std::size_t to, std::string_view replacement)
{
    std::string out;
    out.reserve(text.size() - (to - from) + replacement.size());
    out.append(text.substr(0, from));
    out.append(replacement);
    out.append(text.substr(to));
    return out;
}

std::string withoutSection(std::string_view text, std::string_view section)
{
    // The header and the key lines go; comment and blank lines of the section stay.
    std::string out;
    std::size_t copied = 0;
    Line header;
    bool found = forEachLineOfSection(
        text, section,
        [&](const Line &line) {
            if (line.kind == Kind::Entry) {
                out.append(text.substr(copied, line.begin - copied));
                copied = line.end;
            }
            return true;
        },
        &header);
    if (!found) {
        return std::string(text);
    }
    // The header lies before every entry line of its section, so cut it from
    // what was gathered, or from the rest when the section had no entries.
    if (copied == 0) {
        return spliced(text, header.begin, header.end, "");
    }
    out.append(text.substr(copied));
    return spliced(out, header.begin, header.end, "");
}

// A section name that reads back as itself: not empty, on one line, no "]".
bool storableSection(std::string_view name)
{
    return !name.empty() && !hasLineBreak(name) && name.find(']') == std::string_view::npos;
}

// A key line that reads back as this key and value: a key on one line without
// "=" that does not start as a header or a comment, a value on one line.
bool storableEntry(std::string_view key, std::string_view value)
{
    return !key.empty() && !hasLineBreak(key) && key.find('=') == std::string_view::npos
        && key.front() != '[' && key.front() != ';' && !hasLineBreak(value);
}

std::string withoutKey(std::string_view text, std::string_view section, std::string_view key)
{
    if (key.empty()) {
        return std::string(text);
    }
    auto entry = findEntry(text, section, key);
    if (!entry) {
        return std::string(text);
    }
    return spliced(text, entry->begin, entry->end, "");
}

std::string withNewSection(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    std::string out(text);
    if (!out.empty() && !endsWithLineBreak(out)) {
        out.append(NewLine);
    }
    out.append("[").append(section).append("]").append(NewLine);
    out.append(key).append("=").append(value).append(NewLine);
    return out;
}

// Keeps the line's own spelling of the key and everything up to "=".
std::string withReplacedValue(std::string_view text, const Line &entry, std::string_view value)
{
    std::string replacement;
    if (entry.hasValue) {
        replacement.assign(text.substr(entry.begin, entry.valueBegin - entry.begin));
    } else {
        auto keyEnd = static_cast<std::size_t>(entry.name.data() + entry.name.size() - text.data());
        replacement.assign(text.substr(entry.begin, keyEnd - entry.begin)).append("=");
    }
    replacement.append(value);
    return spliced(text, entry.begin, entry.contentEnd, replacement);
}

// A new key line after the line @p after.
std::string withNewKey(
    std::string_view text, const Line &after, std::string_view key, std::string_view value)
{
    std::string insertion;
    if (after.end == after.contentEnd) {
        insertion.append(NewLine); // the file's last line had no line end
    }
    insertion.append(key).append("=").append(value).append(NewLine);
    return spliced(text, after.end, after.end, insertion);
}

std::string withValue(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    Line header;
    std::optional<Line> entry;
    std::optional<Line> lastEntry;
    bool sectionFound = forEachLineOfSection(
        text, section,
        [&](const Line &line) {
            if (line.kind != Kind::Entry) {
                return true;
            }
            if (sameName(line.name, key)) {
                entry = line;
                return false;
            }
            lastEntry = line;
            return true;
        },
        &header);

    if (!sectionFound) {
        return withNewSection(text, section, key, value);
    }
    if (entry) {
        return withReplacedValue(text, *entry, value);
    }
    // A new key goes after the section's last key line, ahead of any comment
    // or blank lines that lead into the next section.
    return withNewKey(text, lastEntry ? *lastEntry : header, key, value);
}

} // namespace

std::uint32_t parseInt(std::string_view value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    std::uint32_t result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    }
    // The console's contract for this call: a negative value reads as 0.
    return negative ? 0u : result;
}

std::uint32_t getString(std::string_view text, ProfileText section, ProfileText key,
    ProfileText defaultValue, std::span<char> buffer)
{
    if (buffer.empty()) {
        return 0;
    }
    if (!section) {
        return getSectionNames(text, buffer);
    }
    std::string_view sectionName = nameArgument(*section);
    if (!key) {
        return keyNames(text, sectionName, buffer);
    }
    std::string_view result =
        findValue(text, sectionName, nameArgument(*key))
            .value_or(trimEndSpaces(defaultValue ? cutAtNul(*defaultValue) : ""));
    std::size_t n = wholeCharacters(result, buffer.size() - 1);
    std::memcpy(buffer.data(), result.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

std::uint32_t getInt(std::string_view text, std::string_view section, std::string_view key,
    std::int32_t defaultValue)
{
    auto value = findValue(text, nameArgument(section), nameArgument(key));
    if (!value || value->empty()) {
        return static_cast<std::uint32_t>(defaultValue);
    }
    return parseInt(*value);
}

std::uint32_t getSection(std::string_view text, std::string_view section, std::span<char> buffer)
{
    ListWriter list(buffer);
    std::string_view name = nameArgument(section);
    std::string item;
    if (!name.empty()) {
        forEachLineOfSection(text, name, [&](const Line &line) {
            if (line.kind != Kind::Entry) {
                return true;
            }
            item.assign(line.name);
            if (line.hasValue) {
                item.push_back('=');
                item.append(unquote(line.value));
            }
            return list.add(item);
        });
    }
    return list.finish();
}

std::uint32_t getSectionNames(std::string_view text, std::span<char> buffer)
{
    ListWriter list(buffer);
    LineReader reader(text);
    Line line;
    while (reader.next(line)) {
        if (line.kind == Kind::Header && !list.add(line.name)) {
            break;
        }
    }
    return list.finish();
}

std::optional<std::string> write(
    std::string_view text, ProfileText section, ProfileText key, ProfileText value)
{
    // A UTF-16 file would be corrupted by ANSI lines written into it.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return std::nullopt;
    }
    if (!section) {
        return std::nullopt;
    }
    std::string_view sectionName = nameArgument(*section);
    if (!storableSection(sectionName)) {
        return std::nullopt;
    }
    if (!key) {
        return withoutSection(text, sectionName);
    }
    std::string_view keyName = nameArgument(*key);
    if (!value) {
        return withoutKey(text, sectionName, keyName);
    }
    std::string_view newValue = cutAtNul(*value);
    if (!storableEntry(keyName, newValue)) {
        return std::nullopt;
    }
    return withValue(text, sectionName, keyName, newValue);
}

} // namespace platform::ini
