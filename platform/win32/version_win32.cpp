#include "platform/version.h"

#include "platform/codepage.h"

#include <windows.h>

namespace platform {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record is 148 bytes");

class Win32VersionInfo final : public VersionInfo
{
public:
    bool getVersionEx(OsVersionInfo &info) const override
    {
        OSVERSIONINFOA record {};
        record.dwOSVersionInfoSize = sizeof record;
        if (!::GetVersionExA(&record)) {
            return false;
        }
        info.majorVersion = record.dwMajorVersion;
        info.minorVersion = record.dwMinorVersion;
        info.buildNumber = record.dwBuildNumber;
        info.platformId = record.dwPlatformId;
        std::string_view csd(record.szCSDVersion, sizeof record.szCSDVersion);
        info.csdVersion = fromAnsi(csd.substr(0, csd.find('\0')));
        return true;
    }
};

} // namespace

template<> VersionInfo &Seam<VersionInfo>::defaultInstance()
{
    static Win32VersionInfo instance;
    return instance;
}

} // namespace platform
