#pragma once
// Where the console's setting.ini lives, for the console and portprobe-io
// alike: beside the program when that folder is writable; else the user's own
// file, with the one shipped beside the program read after it for first values
// (an installed copy, as Windows redirects such writes).

#include <optional>
#include <string>

inline constexpr const char *SettingSection = "Setting";
inline constexpr const char *VendorIdKey = "StrVendorID";
inline constexpr const char *ProductIdKey = "StrPeroductID";
/// The IDs taken when setting.ini has none, as the console shows them.
inline constexpr const char *DefaultVendorIdText = "1352";
inline constexpr const char *DefaultProductIdText = "100";

struct SettingFiles
{
    std::string main; ///< read first, and the one written
    std::optional<std::string> shipped; ///< the application folder's, read after it
};

SettingFiles gSettingFiles();

/// The first non-empty value of @p key, main file first, else @p fallback;
/// @p from (when given) gets the file it came from, empty for the fallback.
std::string gReadSetting(
    const SettingFiles &files, const char *key, const char *fallback, std::string *from = nullptr);
