#include "platform/environment.h"

#include "platform/codepage.h"

#include <windows.h>

namespace platform {
namespace {

// Path buffers the system is asked to fill, as the callers' fixed buffers are.
constexpr DWORD PathChars = 260;

bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

std::string cutAtNul(const std::string &buffer)
{
    return buffer.substr(0, buffer.find('\0'));
}

class Win32Environment final : public Environment
{
public:
    std::optional<std::string> variable(std::string_view name) const override
    {
        if (name.empty() || hasNul(name)) {
            return std::nullopt;
        }
        std::string key = toAnsi(name);
        std::string buffer(256, '\0');
        for (;;) {
            ::SetLastError(ERROR_SUCCESS);
            DWORD n = ::GetEnvironmentVariableA(
                key.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0) {
                if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                    return std::nullopt;
                }
                return std::string(); // set, but empty
            }
            if (n < buffer.size()) {
                // Wine counts characters rather than bytes here: the NUL marks the end.
                return fromAnsi(cutAtNul(buffer));
            }
            buffer.assign(static_cast<std::size_t>(n) * 2, '\0'); // n is the size needed
        }
    }

    bool exists(std::string_view path) const override
    {
        if (path.empty() || hasNul(path)) {
            return false;
        }
        return ::GetFileAttributesA(toAnsi(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::optional<std::string> longPathName(std::string_view path) const override
    {
        if (path.empty() || hasNul(path)) {
            return std::nullopt;
        }
        std::string in = toAnsi(path);
        std::string buffer(PathChars, '\0');
        DWORD n = ::GetLongPathNameA(in.c_str(), buffer.data(), PathChars);
        if (n >= PathChars) {
            // Longer than the usual buffer: ask again with the size the system wants
            // rather than lose the path.
            buffer.assign(n, '\0');
            n = ::GetLongPathNameA(in.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n >= buffer.size()) {
                return std::nullopt;
            }
        }
        if (n == 0) {
            return std::nullopt;
        }
        return fromAnsi(cutAtNul(buffer));
    }

    std::string windowsTempDirectory() const override
    {
        std::string buffer(PathChars, '\0');
        ::GetWindowsDirectoryA(buffer.data(), PathChars);
        return fromAnsi(cutAtNul(buffer)) + "\\Temp";
    }

    std::string applicationFolder() const override
    {
        std::string buffer(PathChars, '\0');
        for (;;) {
            DWORD n =
                ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0) {
                return ".";
            }
            if (n < buffer.size()) {
                buffer = cutAtNul(buffer);
                break;
            }
            buffer.assign(buffer.size() * 2, '\0'); // cut off: the path is longer
        }
        std::string exe = fromAnsi(buffer);
        auto slash = exe.find_last_of("\\/");
        if (slash == std::string::npos) {
            return ".";
        }
        // A drive root keeps its separator ("C:\"), as the system writes it.
        if (slash == 2 && exe[1] == ':') {
            return exe.substr(0, 3);
        }
        return exe.substr(0, slash);
    }
};

} // namespace

template<> Environment &Seam<Environment>::defaultInstance()
{
    static Win32Environment instance;
    return instance;
}

} // namespace platform
