#pragma once
// QuillFunc_INI: one key of an INI file read or written in one call.

#include <cstdint>
#include <string>
#include <string_view>

/// The value of @p key in @p section of @p file; @p strDefault when the key
/// is missing or empty, or when the read fails (reported to the error log).
std::string gGetIniString(std::string_view file, std::string_view section, std::string_view key,
    std::string_view strDefault);

/// Writes @p key = @p value into @p section of @p file, creating what is missing.
/// @returns true when written; false when not, or when it failed (a failure
/// that raised is reported to the error log).
bool gSetIni(
    std::string_view file, std::string_view section, std::string_view key, std::string_view value);

/// Why the latest gSetIni did not write, as a run-time error number (70
/// permission denied, 61 disk full, 75 path/file access error, 76 path not
/// found, ...); 0 after a write, or when the platform does not know.
std::int32_t gGetIniWriteError();
