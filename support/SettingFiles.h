#pragma once
// Where the console's setting.ini lives, for the console and portprobe-io
// alike: beside the program when that folder is writable; else the user's own
// file, with the one shipped beside the program read after it for first values
// (an installed copy, as Windows redirects such writes).

#include <optional>
#include <string>
#include <vector>

inline constexpr const char *SettingSection = "Setting";
inline constexpr const char *VendorIdKey = "StrVendorID";
inline constexpr const char *ProductIdKey = "StrPeroductID";

struct SettingFiles
{
    std::string main; ///< read first, and the one written
    std::optional<std::string> shipped; ///< the application folder's, read after it

    /// The files in the order a key is looked up.
    std::vector<std::string> readOrder() const;
};

SettingFiles gSettingFiles();

/// The first non-empty value of @p key in the files' read order, else @p fallback.
std::string gReadSetting(const SettingFiles &files, const char *key, const char *fallback);
