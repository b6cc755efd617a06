#pragma once
// Operating-system version (GetVersionExA and its 148-byte OSVERSIONINFOA).

#include "platform/seam.h"

#include <cstdint>
#include <string>

namespace platform {

inline constexpr std::uint32_t PlatformWin32s = 0;
inline constexpr std::uint32_t PlatformWin32Windows = 1;
inline constexpr std::uint32_t PlatformWin32NT = 2;
/// Identifier used where the system is not Windows: none of the three above.
inline constexpr std::uint32_t PlatformOther = 0xFFFFFFFFu;

struct OsVersionInfo
{
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    /// The record's 128-character service-pack field, cut at its first NUL.
    std::string csdVersion;
};

class VersionInfo
{
public:
    virtual ~VersionInfo() = default;
    /// Fills @p info; returns false when the system call reports failure.
    virtual bool getVersionEx(OsVersionInfo &info) const = 0;
};

template<> VersionInfo &Seam<VersionInfo>::defaultInstance();

inline VersionInfo &versionInfo()
{
    return Seam<VersionInfo>::get();
}

} // namespace platform
