#pragma once
// QuillFunc_File: the shell and path helpers.

#include <cstdint>
#include <string>
#include <string_view>

/// Opens @p file with the shell's "open" verb and show command @p showCommand.
/// @returns false for the shell's failure codes (0, 2, 3, 5, 8, 11, 26 to 32).
bool gShellExecute(std::string_view file, std::int32_t showCommand);

/// The user's temporary directory (temp, tmp, the Windows directory's Temp,
/// else the application folder), in its long form.
std::string gGetWinTempDir();

/// The long form of @p path; the path itself when it cannot be resolved.
std::string gGetLongFileName(std::string_view path);
