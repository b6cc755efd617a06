#pragma once
// The registry, shaped as the Win32 ANSI registry calls: key and value names
// are UTF-8 here (the Windows backend hands them over in the ANSI code page),
// value data are the bytes those calls carry (a text is code-page bytes with
// its terminating NUL). Windows uses the real registry; elsewhere a SQLite
// store stands in (platform/linux/registry_store.h).

#include "platform/seam.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// Predefined root keys, with the values of the Windows HKEY constants.
enum class RegistryRoot : std::uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    CurrentConfig = 0x80000005u,
};

/// The root with handle value @p handle, if it is one of the predefined roots.
std::optional<RegistryRoot> registryRootFromHandle(std::uint32_t handle);

inline constexpr std::uint32_t RegSz = 1;
inline constexpr std::uint32_t RegExpandSz = 2;
inline constexpr std::uint32_t RegBinary = 3;
inline constexpr std::uint32_t RegDword = 4;
inline constexpr std::uint32_t RegMultiSz = 7;

/// An open key; 0 never names one.
using RegistryKey = std::uintptr_t;

/// A value as RegQueryValueExA hands it over: its type and its bytes.
struct RegistryValue
{
    std::uint32_t type = 0;
    std::string data;
};

class Registry
{
public:
    virtual ~Registry() = default;

    /// Opens @p subkey under @p root with access mask @p samDesired (RegOpenKeyExA).
    /// @returns the key, or std::nullopt when it cannot be opened.
    virtual std::optional<RegistryKey> open(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) = 0;

    /// Opens @p subkey, creating the keys along it that are missing (RegCreateKeyExA,
    /// no class, options 0, no security attributes).
    virtual std::optional<RegistryKey> create(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) = 0;

    /// Name of value / subkey number @p index in a buffer of @p bufferChars characters
    /// (RegEnumValueA / RegEnumKeyExA); std::nullopt when the call fails: no such
    /// index, or a name that does not fit the buffer with its NUL.
    virtual std::optional<std::string> enumValue(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) = 0;
    virtual std::optional<std::string> enumKey(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) = 0;

    /// RegDeleteKeyA (a key that has subkeys is not deleted) and RegDeleteValueA.
    virtual bool deleteKey(RegistryKey key, std::string_view subkey) = 0;
    virtual bool deleteValue(RegistryKey key, std::string_view valueName) = 0;

    /// RegQueryValueExA into a buffer of @p bufferBytes bytes; std::nullopt when the
    /// value is missing or longer than the buffer.
    virtual std::optional<RegistryValue> queryValue(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferBytes) = 0;

    /// RegSetValueExA with @p type and @p data.
    virtual bool setValue(
        RegistryKey key, std::string_view valueName, std::uint32_t type, std::string_view data) = 0;

    /// Closes @p key (RegCloseKey).
    virtual void close(RegistryKey key) = 0;

    /// A text value in a buffer of @p bufferChars characters, cut at its first NUL and
    /// turned into UTF-8; std::nullopt when the query fails or the value is no text.
    virtual std::optional<std::string> queryString(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferChars);

    /// A 32-bit number value (type 4, four bytes); std::nullopt otherwise.
    virtual std::optional<std::int32_t> queryDword(RegistryKey key, std::string_view valueName);
};

template<> Registry &Seam<Registry>::defaultInstance();

inline Registry &registry()
{
    return Seam<Registry>::get();
}

} // namespace platform
