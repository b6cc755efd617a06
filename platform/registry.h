#pragma once
// Registry reads. Linux has no registry: its default service finds no key,
// so callers take their "missing key" path.

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

inline constexpr std::int32_t RegSz = 1;
inline constexpr std::int32_t RegDword = 4;

/// An open key; 0 never names one.
using RegistryKey = std::uintptr_t;

class Registry
{
public:
    virtual ~Registry() = default;

    /// Opens @p subkey under @p root with access mask @p samDesired (RegOpenKeyExA).
    /// @returns the key, or std::nullopt when it cannot be opened.
    virtual std::optional<RegistryKey> open(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) = 0;

    /// Reads a string value into a buffer of @p bufferChars characters (RegQueryValueExA,
    /// type 1); the text is cut at its first NUL. std::nullopt when the query fails.
    virtual std::optional<std::string> queryString(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferChars) = 0;

    /// Reads a 32-bit number value (RegQueryValueExA, type 4); std::nullopt on failure.
    virtual std::optional<std::int32_t> queryDword(RegistryKey key, std::string_view valueName) = 0;

    /// Closes @p key (RegCloseKey).
    virtual void close(RegistryKey key) = 0;
};

template<> Registry &Seam<Registry>::defaultInstance();

inline Registry &registry()
{
    return Seam<Registry>::get();
}

} // namespace platform
