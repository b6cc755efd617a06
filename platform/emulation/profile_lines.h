#pragma once
// The INI engine's reading of lines, shared by its readers and its writer:
// how a line is split into header, comment or key and value, and how names
// match. Reading and writing must agree on these rules exactly, or a write
// would change lines other than the one it means.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::ini {

/// A text argument ends at its first NUL, as a C string does.
std::string_view cutAtNul(std::string_view s);
/// Section and key arguments lose their surrounding spaces (only spaces).
std::string_view nameArgument(std::string_view s);
std::string_view trimEndSpaces(std::string_view s);
/// Length of the longest start of @p s within @p limit bytes that does not end
/// inside a double-byte character.
std::size_t wholeCharacters(std::string_view s, std::size_t limit);
/// Whether two names match: ASCII and the code page's full-width letters fold.
bool sameName(std::string_view a, std::string_view b);
/// A value in one pair of matching quotes without them.
std::string_view unquote(std::string_view v);

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
    /// Skips a UTF-8 byte-order mark at the start.
    explicit LineReader(std::string_view text);
    /// The next line into @p line; false after the last.
    bool next(Line &line);

private:
    void classify(Line &line) const;

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

/// The first line of @p section holding @p key (with or without "=").
std::optional<Line> findEntry(
    std::string_view text, std::string_view section, std::string_view key);

} // namespace platform::ini
