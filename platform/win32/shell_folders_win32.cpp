#include "platform/shell_folders.h"

#include "platform/codepage.h"

#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <shlobj.h>

namespace platform {
namespace {

bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

class Win32ShellFolders final : public ShellFolders
{
public:
    std::string shortPathName(std::string_view path, std::uint32_t bufferChars) override
    {
        if (hasNul(path)) {
            return {};
        }
        std::string buffer(bufferChars, '\0');
        const DWORD n = ::GetShortPathNameA(toAnsi(path).c_str(), buffer.data(), bufferChars);
        if (n == 0) {
            return {};
        }
        return fromAnsi(buffer.substr(0, buffer.find('\0')));
    }

    std::string windowsDirectory() override { return folder(::GetWindowsDirectoryA); }
    std::string systemDirectory() override { return folder(::GetSystemDirectoryA); }

    std::optional<std::string> specialFolder(std::int32_t csidl) override
    {
        LPITEMIDLIST list = nullptr;
        if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &list)) || !list) {
            return std::nullopt;
        }
        std::string buffer(260, '\0');
        ::SHGetPathFromIDListA(list, buffer.data());
        ::CoTaskMemFree(list);
        return fromAnsi(buffer.substr(0, buffer.find('\0')));
    }

    std::int32_t findExecutable(std::string_view file, std::string_view directory,
        std::uint32_t bufferChars, std::string &buffer) override
    {
        buffer.assign(bufferChars, '\0');
        if (hasNul(file) || hasNul(directory)) {
            return 2;
        }
        // FindExecutableA assumes a MAX_PATH buffer; give it room and cut to the caller's.
        std::string result(bufferChars > MAX_PATH ? bufferChars : MAX_PATH, '\0');
        const auto rc = reinterpret_cast<INT_PTR>(
            ::FindExecutableA(toAnsi(file).c_str(), toAnsi(directory).c_str(), result.data()));
        result.resize(bufferChars);
        buffer = fromAnsi(result);
        return static_cast<std::int32_t>(rc);
    }

private:
    // The count these calls return is in bytes of the code page.
    static std::string folder(UINT(WINAPI *call)(LPSTR, UINT))
    {
        std::string buffer(4096, '\0');
        const UINT n = call(buffer.data(), 4096);
        if (n == 0 || n > 4096) {
            return {};
        }
        return fromAnsi(buffer.substr(0, n));
    }
};

} // namespace

template<> ShellFolders &Seam<ShellFolders>::defaultInstance()
{
    static Win32ShellFolders instance;
    return instance;
}

} // namespace platform
