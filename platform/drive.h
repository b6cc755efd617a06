#pragma once
// Drives: the kernel32 disk and volume calls of the drive class
// (GetDiskFreeSpaceA/ExA, GetDriveTypeA, GetVolumeInformationA,
// SetVolumeLabelA, GetLogicalDriveStringsA), listing a drive's root folder,
// the shell's format dialog (SHFormatDrive), and the two facts the class asks
// of the system to choose its free-space call. A root is given as the class
// holds it: "C:\" in the Windows grammar, a mount point ending in "/" in the
// POSIX one.

#include "platform/seam.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr std::uint32_t DriveUnknown = 0;
inline constexpr std::uint32_t DriveNoRootDir = 1;
inline constexpr std::uint32_t DriveRemovable = 2;
inline constexpr std::uint32_t DriveFixed = 3;
inline constexpr std::uint32_t DriveRemote = 4;
inline constexpr std::uint32_t DriveCdrom = 5;
inline constexpr std::uint32_t DriveRamdisk = 6;

inline constexpr std::uint32_t FileCaseSensitiveSearch = 0x1;
inline constexpr std::uint32_t FileCasePreservedNames = 0x2;
inline constexpr std::uint32_t FileUnicodeOnDisk = 0x4;
inline constexpr std::uint32_t FilePersistentAcls = 0x8;
inline constexpr std::uint32_t FileFileCompression = 0x10;
inline constexpr std::uint32_t FileVolumeIsCompressed = 0x8000;
inline constexpr std::uint32_t FileReadOnlyVolume = 0x80000;

inline constexpr std::int32_t ShfmtError = -1;
inline constexpr std::int32_t ShfmtCancel = -2;
inline constexpr std::int32_t ShfmtNoFormat = -3;

struct DiskGeometry
{
    std::int32_t sectorsPerCluster = 0;
    std::int32_t bytesPerSector = 0;
    std::int32_t freeClusters = 0;
    std::int32_t totalClusters = 0;
};

struct DiskSpace
{
    std::uint64_t freeBytesAvailable = 0; // to the caller
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFreeBytes = 0;
};

struct VolumeInformation
{
    std::string volumeName;
    std::uint32_t serialNumber = 0;
    std::uint32_t maxComponentLength = 0;
    std::uint32_t fileSystemFlags = 0;
    std::string fileSystemName;
};

class Drives
{
public:
    virtual ~Drives() = default;

    virtual bool diskFreeSpace(std::string_view root, DiskGeometry &geometry) = 0;
    virtual bool diskFreeSpaceEx(std::string_view root, DiskSpace &space) = 0;
    virtual std::uint32_t driveType(std::string_view root) = 0;
    virtual bool volumeInformation(std::string_view root, VolumeInformation &info) = 0;
    virtual bool setVolumeLabel(std::string_view root, std::string_view label) = 0;

    /// The roots the system has now, each as driveType() takes it.
    virtual std::vector<std::string> logicalDrives() = 0;

    /// Lists the root folder with normal attributes; false when the listing
    /// fails (no medium, unreadable), true also for an empty folder.
    virtual bool listRoot(std::string_view root) = 0;

    /// The format dialog for drive @p driveNumber (0 is A) owned by window
    /// @p ownerWindow; @p root is the class's drive, for systems without
    /// drive numbers. Returns SHFormatDrive's result.
    virtual std::int32_t formatDrive(std::intptr_t ownerWindow, std::uint32_t driveNumber,
        std::uint32_t formatId, std::uint32_t options, std::string_view root) = 0;

    /// True on the NT platform (GetVersionExA's platform identifier 2).
    virtual bool ntPlatform() = 0;
    /// The machine's "SubVersionNumber" text of the Windows version key; empty when none.
    virtual std::string subVersionNumber() = 0;
};

template<> Drives &Seam<Drives>::defaultInstance();

inline Drives &drives()
{
    return Seam<Drives>::get();
}

} // namespace platform
