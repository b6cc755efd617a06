// The INI engine's writer: WritePrivateProfileString on a file's bytes.
// Lines the write does not touch keep their bytes, and a request that would
// read back as other lines is refused rather than stored.

#include "platform/emulation/profile_engine.h"
#include "platform/emulation/profile_lines.h"

#include <string>

namespace platform::ini {
namespace {

constexpr std::string_view NewLine = "\r\n";

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
