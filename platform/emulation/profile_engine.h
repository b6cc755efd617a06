#pragma once
// Our own INI engine: the rules of the Windows private-profile functions
// applied to a file's bytes held in memory. It knows nothing of files; the
// platform's Profile service loads and stores them.
//
// Reading rules (as Windows reads):
// - lines end in CR LF, LF or a lone CR; blanks (space, TAB, VT) around a line
//   are ignored; a NUL byte ends what a line says;
// - "[name" up to the first "]" is a section header (text after it is ignored);
//   a line starting with ";" is a comment; other lines are "key=value" split at
//   the first "=", or a bare name without "=";
// - section and key names match case-insensitively (ASCII, and full-width
//   Latin, Greek and Cyrillic letters of the code page); names passed in lose
//   their surrounding spaces;
// - the first matching section and its first matching key win; a value in
//   one pair of matching quotes (" or ') loses them;
// - lines before the first section belong to none; a UTF-8 byte-order mark
//   at the start of the file is skipped.
// Texts are bytes in the ANSI code page (CP932): double-byte characters are
// never cut in two when a value or list is truncated.

#include "platform/profile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform::ini {

/// Files up to this size are read whole. A reader sees only the complete
/// lines within this many bytes of a larger file; a writer leaves such a file
/// alone (the write fails) rather than lose its tail.
inline constexpr std::size_t MaxFileBytes = 16u * 1024u * 1024u;

/// GetPrivateProfileStringA on the bytes @p text.
std::uint32_t getString(std::string_view text, ProfileText section, ProfileText key,
    ProfileText defaultValue, std::span<char> buffer);

/// GetPrivateProfileIntA on the bytes @p text.
std::uint32_t getInt(std::string_view text, std::string_view section, std::string_view key,
    std::int32_t defaultValue);

/// GetPrivateProfileSectionA on the bytes @p text.
std::uint32_t getSection(std::string_view text, std::string_view section, std::span<char> buffer);

/// GetPrivateProfileSectionNamesA on the bytes @p text.
std::uint32_t getSectionNames(std::string_view text, std::span<char> buffer);

/// WritePrivateProfileStringA on the bytes @p text (empty for a missing file).
/// Lines the write does not touch keep their bytes; new lines end in CR LF.
/// @returns the new bytes (equal to @p text when nothing changes), or
/// std::nullopt when the request cannot be stored: no section, an empty
/// section or key name, or a name or value that would read back as other
/// lines (line breaks, "]" in a section name, "=" in a key, a key that
/// starts with "[" or ";").
std::optional<std::string> write(
    std::string_view text, ProfileText section, ProfileText key, ProfileText value);

/// Converts a value the way GetPrivateProfileIntA does.
std::uint32_t parseInt(std::string_view value);

} // namespace platform::ini
