#pragma once
// Where things are: short path names, the system's folders, the shell's special
// folders and the program that opens a file. Windows asks kernel32 and shell32;
// Linux answers from the file system and the desktop's XDG folders and MIME
// associations (GIO).

#include "platform/seam.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Shell folder numbers (CSIDL values).
inline constexpr std::int32_t CsidlDesktop = 0;
inline constexpr std::int32_t CsidlPrograms = 2;
inline constexpr std::int32_t CsidlPersonal = 5;
inline constexpr std::int32_t CsidlFavorites = 6;
inline constexpr std::int32_t CsidlStartup = 7;
inline constexpr std::int32_t CsidlRecent = 8;
inline constexpr std::int32_t CsidlSendTo = 9;
inline constexpr std::int32_t CsidlStartMenu = 11;
inline constexpr std::int32_t CsidlMyMusic = 13;
inline constexpr std::int32_t CsidlMyVideo = 14;
inline constexpr std::int32_t CsidlDesktopDirectory = 16;
inline constexpr std::int32_t CsidlFonts = 20;
inline constexpr std::int32_t CsidlTemplates = 21;
inline constexpr std::int32_t CsidlAppData = 26;
inline constexpr std::int32_t CsidlLocalAppData = 28;
inline constexpr std::int32_t CsidlMyPictures = 39;
inline constexpr std::int32_t CsidlProfile = 40;

class ShellFolders
{
public:
    virtual ~ShellFolders() = default;

    /// GetShortPathNameA of @p path into a buffer of @p bufferChars characters: the
    /// text up to the first NUL, empty when the call fails or the result does not fit.
    virtual std::string shortPathName(std::string_view path, std::uint32_t bufferChars) = 0;

    /// GetWindowsDirectoryA / GetSystemDirectoryA (4096 characters, the count the
    /// call returns); empty when it fails.
    virtual std::string windowsDirectory() = 0;
    virtual std::string systemDirectory() = 0;

    /// The path of shell folder @p csidl (SHGetSpecialFolderLocation, owner window 0,
    /// then SHGetPathFromIDListA into 260 characters, cut at the first NUL);
    /// std::nullopt when the shell has no such folder.
    virtual std::optional<std::string> specialFolder(std::int32_t csidl) = 0;

    /// FindExecutableA(@p file, @p directory) into @p buffer, which comes in as
    /// @p bufferChars NULs and goes out as the call left it (NULs included).
    /// @returns the call's value: above 32 on success, else a failure code
    /// (2 no such file, 31 no association).
    virtual std::int32_t findExecutable(std::string_view file, std::string_view directory,
        std::uint32_t bufferChars, std::string &buffer) = 0;
};

template<> ShellFolders &Seam<ShellFolders>::defaultInstance();

inline ShellFolders &shellFolders()
{
    return Seam<ShellFolders>::get();
}

} // namespace platform
