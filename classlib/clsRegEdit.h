#pragma once
// clsRegEdit: values and subkeys of one registry key (RegKey root, SubKey path).
// Every member opens (writers: creates) the key, does its one job and closes it;
// failures are results (False, 0, the default), never raised errors.
//
// Texts are UTF-8 here and cross to the registry in the ANSI code page. On Linux
// the registry is the project's SQLite store (see platform/registry.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class clsRegEdit
{
public:
    // Root key handles (the Windows HKEY values as 32-bit numbers).
    static constexpr std::int32_t ClassesRoot = static_cast<std::int32_t>(0x80000000u);
    static constexpr std::int32_t CurrentUser = static_cast<std::int32_t>(0x80000001u);
    static constexpr std::int32_t LocalMachine = static_cast<std::int32_t>(0x80000002u);
    static constexpr std::int32_t Users = static_cast<std::int32_t>(0x80000003u);
    static constexpr std::int32_t CurrentConfig = static_cast<std::int32_t>(0x80000005u);

    /// The root under which SubKey is opened; 0 (the start) names none, so every member fails.
    std::int32_t RegKey() const noexcept { return regKey_; }
    void RegKey(std::int32_t enmNewValue) noexcept { regKey_ = enmNewValue; }

    /// The key path below the root, backslash-separated.
    const std::string &SubKey() const noexcept { return subKey_; }
    void SubKey(std::string strNewValue) { subKey_ = std::move(strNewValue); }

    /// Fills @p strlpEnumValueName with the value names in the registry's order and
    /// returns their count; a name of 80 characters or more ends the enumeration.
    /// The array is left as it was when there are none.
    std::int32_t EnumValueName(std::vector<std::string> &strlpEnumValueName) const;
    /// The same for the subkeys' names.
    std::int32_t EnumSubKey(std::vector<std::string> &strlpEnumKey) const;

    /// Deletes direct subkey @p strSubKey (only a key without subkeys).
    bool DeleteSubKey(std::string_view strSubKey) const;
    bool DeleteValueName(std::string_view strValueName) const;

    /// The value as text (up to its first NUL, whatever its type); @p strDefault
    /// when it cannot be read or needs more than 4096 bytes.
    std::string GetString(std::string_view strValueName, std::string_view strDefault) const;
    bool SetString(std::string_view strValueName, std::string_view strNewValue) const;

    /// The value's first four bytes as a number over @p lngDefault; @p lngDefault
    /// when it cannot be read or is longer than four bytes.
    std::int32_t GetDWORD(std::string_view strValueName, std::int32_t lngDefault) const;
    bool SetDWORD(std::string_view strValueName, std::int32_t lngNewValue) const;

    /// Fills @p bytValue with the value's bytes and returns their count; a value that
    /// cannot be read or is longer than 4096 bytes gives 0 and an empty array (as
    /// does an empty value).
    std::int32_t GetBinary(
        std::string_view strValueName, std::vector<std::uint8_t> &bytValue) const;
    /// Writes the first @p lngValueLen bytes of @p bytValue. An empty array, or a length
    /// outside the array, gives False (the key is still created).
    bool SetBinary(std::string_view strValueName, const std::vector<std::uint8_t> &bytValue,
        std::int32_t lngValueLen) const;

private:
    std::int32_t regKey_ = 0;
    std::string subKey_;
};
