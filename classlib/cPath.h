#pragma once
// cPath: takes one path apart (folder, name, extension), quotes it, and asks the
// system for its short form, the program that opens it, and the system's and
// the shell's folders.
//
// A path grammar is chosen per object: Windows (backslash separators, a drive
// prefix ending at the first colon) or POSIX ("/", no drive prefix). The default
// is the platform's own. Texts are UTF-8; on Linux paths reach the system as
// they are.

#include <cstdint>
#include <string>
#include <string_view>

enum class PathGrammar {
    Windows,
    Posix,
#ifdef _WIN32
    Native = Windows,
#else
    Native = Posix,
#endif
};

// <windows.h> turns these member names into macros; declare the true names.
#ifdef _WIN32
#pragma push_macro("GetShortPathName")
#pragma push_macro("GetFullPathName")
#pragma push_macro("GetWindowsDirectory")
#pragma push_macro("GetSystemDirectory")
#undef GetShortPathName
#undef GetFullPathName
#undef GetWindowsDirectory
#undef GetSystemDirectory
#endif

class cPath
{
public:
    explicit cPath(PathGrammar grammar = PathGrammar::Native) : grammar_(grammar) { }

    PathGrammar Grammar() const noexcept { return grammar_; }

    /// The stored path (empty at first).
    const std::string &FileName() const noexcept { return fileName_; }
    void FileName(std::string New_FileName) { fileName_ = std::move(New_FileName); }

    /// The part after the last separator (with the Windows grammar and no
    /// backslash: after the first colon; else the whole path).
    std::string GetFileName() const;
    /// The extension of GetFileName, without its dot; empty when it has no dot.
    std::string GetExt() const;
    /// The folder part, ending in a separator; empty when there is no folder part.
    std::string GetPath() const;
    /// The path in double quotes when it holds a blank or a comma, or when
    /// @p NotCheckSpace asks for quotes anyway; quotes already there are kept.
    std::string AddDblQuot(bool NotCheckSpace = false) const;
    /// The system's short (8.3) form; empty when the system gives none. On Linux,
    /// where no short names exist, an existing path is its own short form.
    std::string GetShortPathName() const;
    /// @p PathName and @p FileName joined with exactly one separator (no file-system access).
    std::string GetFullPathName(std::string_view PathName, std::string_view FileName = {}) const;
    /// GetFileName without its extension (and without a trailing dot).
    std::string GetFileNameOnly() const;
    /// Base name, a dot and extension, each written wholly in capitals turned into
    /// a capital and small letters ("README.TXT" gives "Readme.Txt").
    std::string GetCleanFileName() const;
    /// The Windows / system directory with a trailing separator; a lone separator
    /// when the system gives none. Linux: "/usr/" and "/usr/bin/".
    std::string GetWindowsDirectory() const;
    std::string GetSystemDirectory() const;
    /// The shell folder with number @p GetFolderType (see the properties below) with
    /// a trailing separator; a lone separator when the shell has no such folder.
    std::string GetSpecialFolder(std::int32_t GetFolderType) const;
    /// The full path of the program the system opens this path with; empty when
    /// there is none or the file does not exist.
    std::string GetExecFileFromDataFile() const;

    // Folder numbers for GetSpecialFolder.
    std::int32_t Programs() const noexcept { return 2; }
    std::int32_t Favorites() const noexcept { return 6; }
    std::int32_t Startup() const noexcept { return 7; }
    std::int32_t Recent() const noexcept { return 8; }
    std::int32_t SendTo() const noexcept { return 9; }
    std::int32_t StartMenu() const noexcept { return 11; }
    std::int32_t Desktop() const noexcept { return 0; }
    std::int32_t Fonts() const noexcept { return 20; }
    std::int32_t MyDocuments() const noexcept { return 5; }

#ifdef _WIN32
    // What the <windows.h> macros make of the names above.
    std::string GetShortPathNameA() const
    {
        return GetShortPathName();
    }
    std::string GetShortPathNameW() const
    {
        return GetShortPathName();
    }
    std::string GetFullPathNameA(std::string_view p, std::string_view f = {}) const
    {
        return GetFullPathName(p, f);
    }
    std::string GetFullPathNameW(std::string_view p, std::string_view f = {}) const
    {
        return GetFullPathName(p, f);
    }
    std::string GetWindowsDirectoryA() const
    {
        return GetWindowsDirectory();
    }
    std::string GetWindowsDirectoryW() const
    {
        return GetWindowsDirectory();
    }
    std::string GetSystemDirectoryA() const
    {
        return GetSystemDirectory();
    }
    std::string GetSystemDirectoryW() const
    {
        return GetSystemDirectory();
    }
#endif

private:
    char separator() const noexcept
    {
        return grammar_ == PathGrammar::Windows ? '\\' : '/';
    }
    std::string::size_type driveColon() const noexcept;

    PathGrammar grammar_;
    std::string fileName_;
};

#ifdef _WIN32
#pragma pop_macro("GetShortPathName")
#pragma pop_macro("GetFullPathName")
#pragma pop_macro("GetWindowsDirectory")
#pragma pop_macro("GetSystemDirectory")
#endif
