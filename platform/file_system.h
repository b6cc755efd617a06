#pragma once
// Facts about one file and the single-file actions of the class library's
// file class: existence for reading, length, attributes, times, links,
// version resource, short name, size on disk, printing and a plain move.
// Windows answers with the kernel32/version/shell calls; the Linux stand-ins
// are listed in docs/stand-ins.md, "The file class's stand-ins (Linux)".

#include "platform/seam.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// File attribute bits (FILE_ATTRIBUTE_*).
inline constexpr std::uint32_t AttrReadOnly = 1;
inline constexpr std::uint32_t AttrHidden = 2;
inline constexpr std::uint32_t AttrSystem = 4;
inline constexpr std::uint32_t AttrDirectory = 16;
inline constexpr std::uint32_t AttrArchive = 32;

/// A file time in local time (SYSTEMTIME); dayOfWeek 0 is Sunday.
struct CalendarTime
{
    int year = 0;
    int month = 0;
    int dayOfWeek = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

/// VS_FIXEDFILEINFO, 13 little-endian DWORDs (52 bytes).
struct FixedFileInfo
{
    std::uint32_t signature = 0;
    std::uint32_t strucVersion = 0;
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;
};
inline constexpr std::size_t FixedFileInfoSize = 52;

/// GetFileInformationByHandle's link count and times; a time the file system
/// does not keep (creation on some Linux file systems) is std::nullopt.
struct FileInformation
{
    std::uint32_t links = 0;
    std::optional<CalendarTime> creation;
    std::optional<CalendarTime> lastAccess;
    std::optional<CalendarTime> lastWrite;
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    /// True when @p path is a file that can be opened for reading now (a
    /// folder, a missing file, one locked by another process give false).
    virtual bool canOpenForReading(std::string_view path) const = 0;
    /// Length in bytes; std::nullopt when it cannot be read.
    virtual std::optional<std::int64_t> length(std::string_view path) const = 0;
    /// Attribute bits (Attr*); std::nullopt when they cannot be read.
    virtual std::optional<std::uint32_t> attributes(std::string_view path) const = 0;
    /// Writes the attribute bits (the directory bit is ignored); false on failure.
    virtual bool setAttributes(std::string_view path, std::uint32_t attributes) = 0;
    /// GetBinaryTypeA succeeds: the file is a program.
    virtual bool isExecutable(std::string_view path) const = 0;
    /// The short (8.3) form of @p path; empty on failure.
    virtual std::string shortPathName(std::string_view path) const = 0;
    /// Link count and times; std::nullopt when the file cannot be opened.
    virtual std::optional<FileInformation> information(std::string_view path) const = 0;
    /// The root block of the version resource; std::nullopt without one.
    virtual std::optional<FixedFileInfo> versionInfo(std::string_view path) const = 0;
    /// Space the file takes on disk (GetCompressedFileSizeA, 64-bit); -1 on failure.
    virtual std::int64_t compressedSize(std::string_view path) const = 0;
    /// MoveFileA: never replaces an existing destination; false on failure.
    virtual bool moveFile(std::string_view from, std::string_view to) = 0;
    /// Whether a plain move from @p from to @p to stays on one drive: the first
    /// three characters match exactly on Windows; one file system elsewhere.
    virtual bool sameDrive(std::string_view from, std::string_view to) const = 0;
    /// Prints @p path through the system (ShellExecuteA "print"); false when it
    /// could not be handed over.
    virtual bool print(std::string_view path) = 0;
};

template<> FileSystem &Seam<FileSystem>::defaultInstance();

inline FileSystem &fileSystem()
{
    return Seam<FileSystem>::get();
}

} // namespace platform
