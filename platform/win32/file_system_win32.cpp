#include "platform/file_system.h"

#include "platform/codepage.h"

#include <cstring>
#include <vector>
#include <windows.h>

#include <shellapi.h>

namespace platform {
namespace {

bool valid(std::string_view path)
{
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

std::optional<CalendarTime> localTime(const FILETIME &time)
{
    FILETIME local {};
    SYSTEMTIME st {};
    if (!::FileTimeToLocalFileTime(&time, &local) || !::FileTimeToSystemTime(&local, &st)) {
        return std::nullopt;
    }
    return CalendarTime { st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute,
        st.wSecond };
}

/// The first @p count characters of UTF-8 @p text.
std::string_view leadingCharacters(std::string_view text, int count)
{
    std::size_t i = 0;
    for (int n = 0; n < count && i < text.size(); ++n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            ++i;
        }
    }
    return text.substr(0, i);
}

class Win32FileSystem final : public FileSystem
{
public:
    bool canOpenForReading(std::string_view path) const override
    {
        if (!valid(path)) {
            return false;
        }
        HANDLE h =
            ::CreateFileA(toAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        ::CloseHandle(h);
        return true;
    }

    std::optional<std::int64_t> length(std::string_view path) const override
    {
        WIN32_FILE_ATTRIBUTE_DATA data {};
        if (!valid(path)
            || !::GetFileAttributesExA(toAnsi(path).c_str(), GetFileExInfoStandard, &data)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }

    std::optional<std::uint32_t> attributes(std::string_view path) const override
    {
        if (!valid(path)) {
            return std::nullopt;
        }
        DWORD bits = ::GetFileAttributesA(toAnsi(path).c_str());
        if (bits == INVALID_FILE_ATTRIBUTES) {
            return std::nullopt;
        }
        return bits;
    }

    bool setAttributes(std::string_view path, std::uint32_t bits) override
    {
        return valid(path)
            && ::SetFileAttributesA(toAnsi(path).c_str(), bits & ~AttrDirectory) != FALSE;
    }

    bool isExecutable(std::string_view path) const override
    {
        DWORD type = 0;
        return valid(path) && ::GetBinaryTypeA(toAnsi(path).c_str(), &type) != FALSE;
    }

    std::string shortPathName(std::string_view path) const override
    {
        if (!valid(path)) {
            return {};
        }
        std::vector<char> buffer(512, '\0');
        DWORD n = ::GetShortPathNameA(toAnsi(path).c_str(), buffer.data(), 512);
        if (n == 0 || n >= 512) {
            return {};
        }
        return fromAnsi(std::string(buffer.data()));
    }

    std::optional<FileInformation> information(std::string_view path) const override
    {
        if (!valid(path)) {
            return std::nullopt;
        }
        SECURITY_ATTRIBUTES security { 12, nullptr, FALSE };
        security.nLength = sizeof security;
        HANDLE h = ::CreateFileA(
            toAnsi(path).c_str(), GENERIC_READ, 0, &security, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return std::nullopt;
        }
        BY_HANDLE_FILE_INFORMATION data {};
        const bool ok = ::GetFileInformationByHandle(h, &data) != FALSE;
        ::CloseHandle(h);
        if (!ok) {
            return std::nullopt;
        }
        FileInformation info;
        info.links = data.nNumberOfLinks;
        info.creation = localTime(data.ftCreationTime);
        info.lastAccess = localTime(data.ftLastAccessTime);
        info.lastWrite = localTime(data.ftLastWriteTime);
        return info;
    }

    std::optional<FixedFileInfo> versionInfo(std::string_view path) const override
    {
        if (!valid(path)) {
            return std::nullopt;
        }
        const std::string name = toAnsi(path);
        DWORD handle = 0;
        DWORD size = ::GetFileVersionInfoSizeA(name.c_str(), &handle);
        if (size == 0) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> data(size);
        void *block = nullptr;
        UINT blockSize = 0;
        if (!::GetFileVersionInfoA(name.c_str(), 0, size, data.data())
            || !::VerQueryValueA(data.data(), "\\", &block, &blockSize) || block == nullptr
            || blockSize < FixedFileInfoSize) {
            return std::nullopt;
        }
        VS_FIXEDFILEINFO fixed {};
        std::memcpy(&fixed, block, FixedFileInfoSize);
        return FixedFileInfo { fixed.dwSignature, fixed.dwStrucVersion, fixed.dwFileVersionMS,
            fixed.dwFileVersionLS, fixed.dwProductVersionMS, fixed.dwProductVersionLS,
            fixed.dwFileFlagsMask, fixed.dwFileFlags, fixed.dwFileOS, fixed.dwFileType,
            fixed.dwFileSubtype, fixed.dwFileDateMS, fixed.dwFileDateLS };
    }

    std::int64_t compressedSize(std::string_view path) const override
    {
        if (!valid(path)) {
            return -1;
        }
        DWORD high = 0;
        ::SetLastError(NO_ERROR);
        DWORD low = ::GetCompressedFileSizeA(toAnsi(path).c_str(), &high);
        if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
            return -1;
        }
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
    }

    bool moveFile(std::string_view from, std::string_view to) override
    {
        return valid(from) && valid(to)
            && ::MoveFileA(toAnsi(from).c_str(), toAnsi(to).c_str()) != FALSE;
    }

    bool sameDrive(std::string_view from, std::string_view to) const override
    {
        return leadingCharacters(from, 3) == leadingCharacters(to, 3);
    }

    bool print(std::string_view path) override
    {
        if (!valid(path)) {
            return false;
        }
        HINSTANCE result = ::ShellExecuteA(
            ::GetDesktopWindow(), "print", toAnsi(path).c_str(), "", "", SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
};

} // namespace

template<> FileSystem &Seam<FileSystem>::defaultInstance()
{
    static Win32FileSystem instance;
    return instance;
}

} // namespace platform
