#pragma once
// Process environment and file-system questions of the support helpers.

#include "platform/seam.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// Directory separator of the platform's own paths: "\" on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char DirSeparator = '\\';
#else
inline constexpr char DirSeparator = '/';
#endif

class Environment
{
public:
    virtual ~Environment() = default;

    /// Value of environment variable @p name, looked up case-insensitively as
    /// Windows does; std::nullopt when it is not set.
    virtual std::optional<std::string> variable(std::string_view name) const = 0;

    /// True when @p path names an existing file or folder.
    virtual bool exists(std::string_view path) const = 0;

    /// The long form of an existing @p path (GetLongPathNameA); std::nullopt
    /// when the path does not exist or cannot be resolved.
    virtual std::optional<std::string> longPathName(std::string_view path) const = 0;

    /// The third temporary-folder candidate: the Windows directory
    /// (GetWindowsDirectoryA, 260 characters, cut at the first NUL) followed
    /// by "\Temp"; elsewhere $TMPDIR when set, else "/tmp".
    virtual std::string windowsTempDirectory() const = 0;

    /// Folder of the running executable, without a trailing separator.
    virtual std::string applicationFolder() const = 0;
};

template<> Environment &Seam<Environment>::defaultInstance();

/// A file-system path from a UTF-8 text (the core's text encoding) on every OS.
inline std::filesystem::path toFsPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline Environment &environment()
{
    return Seam<Environment>::get();
}

} // namespace platform
