#include "platform/codepage.h"
#include "platform/drive.h"

#include <cstring>
#include <windows.h>

namespace platform {
namespace {

// SHFormatDrive is exported by shell32 without an import-library entry in every SDK.
using ShFormatDriveFn = DWORD(WINAPI *)(HWND, UINT, UINT, UINT);

class Win32Drives final : public Drives
{
public:
    bool diskFreeSpace(std::string_view root, DiskGeometry &geometry) override
    {
        DWORD spc = 0, bps = 0, freeClusters = 0, total = 0;
        if (!::GetDiskFreeSpaceA(toAnsi(root).c_str(), &spc, &bps, &freeClusters, &total)) {
            return false;
        }
        // The class declares the four as 32-bit signed, as the call's caller does.
        geometry.sectorsPerCluster = static_cast<std::int32_t>(spc);
        geometry.bytesPerSector = static_cast<std::int32_t>(bps);
        geometry.freeClusters = static_cast<std::int32_t>(freeClusters);
        geometry.totalClusters = static_cast<std::int32_t>(total);
        return true;
    }

    bool diskFreeSpaceEx(std::string_view root, DiskSpace &space) override
    {
        ULARGE_INTEGER available {}, total {}, totalFree {};
        if (!::GetDiskFreeSpaceExA(toAnsi(root).c_str(), &available, &total, &totalFree)) {
            return false;
        }
        space.freeBytesAvailable = available.QuadPart;
        space.totalBytes = total.QuadPart;
        space.totalFreeBytes = totalFree.QuadPart;
        return true;
    }

    std::uint32_t driveType(std::string_view root) override
    {
        return ::GetDriveTypeA(toAnsi(root).c_str());
    }

    bool volumeInformation(std::string_view root, VolumeInformation &info) override
    {
        char name[MAX_PATH + 1] = {};
        char fs[MAX_PATH + 1] = {};
        DWORD serial = 0, maxLength = 0, flags = 0;
        if (!::GetVolumeInformationA(toAnsi(root).c_str(), name, sizeof name, &serial, &maxLength,
                &flags, fs, sizeof fs)) {
            return false;
        }
        info.volumeName = fromAnsi(name);
        info.fileSystemName = fromAnsi(fs);
        info.serialNumber = serial;
        info.maxComponentLength = maxLength;
        info.fileSystemFlags = flags;
        return true;
    }

    bool setVolumeLabel(std::string_view root, std::string_view label) override
    {
        return ::SetVolumeLabelA(toAnsi(root).c_str(), toAnsi(label).c_str());
    }

    std::vector<std::string> logicalDrives() override
    {
        // The class's 256-character buffer; a longer list does not fit and gives nothing.
        char buffer[256] = {};
        DWORD n = ::GetLogicalDriveStringsA(sizeof buffer, buffer);
        std::vector<std::string> roots;
        if (n == 0 || n > sizeof buffer) {
            return roots;
        }
        for (const char *p = buffer; *p; p += std::strlen(p) + 1) {
            roots.push_back(fromAnsi(p));
        }
        return roots;
    }

    bool listRoot(std::string_view root) override
    {
        // Dir of a folder: an empty folder is no error, a drive without a medium is.
        std::string pattern = toAnsi(root);
        if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) {
            pattern += '\\';
        }
        pattern += '*';
        UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS);
        WIN32_FIND_DATAA data {};
        HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
        DWORD error = ::GetLastError();
        ::SetErrorMode(previous);
        if (find == INVALID_HANDLE_VALUE) {
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
        }
        ::FindClose(find);
        return true;
    }

    std::int32_t formatDrive(std::intptr_t ownerWindow, std::uint32_t driveNumber,
        std::uint32_t formatId, std::uint32_t options, std::string_view) override
    {
        HMODULE shell = ::LoadLibraryA("shell32.dll");
        auto format = shell ? reinterpret_cast<ShFormatDriveFn>(
                          reinterpret_cast<void *>(::GetProcAddress(shell, "SHFormatDrive")))
                            : nullptr;
        std::int32_t result = ShfmtError;
        if (format) {
            result = static_cast<std::int32_t>(
                format(reinterpret_cast<HWND>(ownerWindow), driveNumber, formatId, options));
        }
        if (shell) {
            ::FreeLibrary(shell);
        }
        return result;
    }

    bool ntPlatform() override
    {
        OSVERSIONINFOA info {};
        info.dwOSVersionInfoSize = 148;
        return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    }

    std::string subVersionNumber() override
    {
        HKEY key = nullptr;
        if (::RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", &key)
            != ERROR_SUCCESS) {
            return {};
        }
        char buffer[128] = {};
        DWORD size = sizeof buffer;
        DWORD type = REG_SZ;
        LONG status = ::RegQueryValueExA(
            key, "SubVersionNumber", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            return {};
        }
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }
};

} // namespace

template<> Drives &Seam<Drives>::defaultInstance()
{
    static Win32Drives instance;
    return instance;
}

} // namespace platform
