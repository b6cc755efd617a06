#pragma once
// The system's ANSI code page: CP_ACP on Windows, CP932 (Shift-JIS) elsewhere,
// so byte widths and files match the Japanese systems the program's texts are
// written for. The core holds UTF-8; these functions convert at the edges.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// Converts UTF-8 @p text to the ANSI code page. Characters the code page
/// cannot hold become "?", as the system conversion does by default.
std::string toAnsi(std::string_view text);

/// Converts bytes in the ANSI code page to UTF-8. Bytes that do not decode
/// (a cut double-byte character, for instance) become U+FFFD.
std::string fromAnsi(std::string_view bytes);

/// Byte length of UTF-8 @p text once converted to the ANSI code page.
std::int32_t ansiByteLength(std::string_view text);

/// UTF-8 @p text in upper / lower case, character by character with the
/// system's simple (one-to-one) case mapping, as the run time's UCase and LCase
/// do: Unicode letters of every script, never a change of length ("ß" stays).
std::string upperCase(std::string_view text);
std::string lowerCase(std::string_view text);

} // namespace platform
