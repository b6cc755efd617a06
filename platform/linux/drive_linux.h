#pragma once
// Drives over Linux mounts: a drive is a mount point of /proc/self/mountinfo;
// space and geometry come from statvfs, the drive type from the file-system
// type and the block device in sysfs, label and serial from udev's
// /dev/disk/by-label and /dev/disk/by-uuid links, and the format dialog is
// the desktop's disk utility. Roots and statvfs are options so tests can use
// a fake tree.

#include "platform/drive.h"
#include "platform/linux/mount_table.h"

#include <functional>
#include <string>
#include <sys/statvfs.h>
#include <vector>

namespace platform::linux_drive {

struct MountDrivesOptions
{
    std::string mountinfo = "/proc/self/mountinfo";
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    /// statvfs(3) unless replaced.
    std::function<bool(const std::string &path, struct statvfs &out)> statvfs;
    /// Where the disk utility is looked for; empty: the folders of $PATH.
    std::vector<std::string> programFolders;
};

class MountDrives final : public Drives
{
public:
    explicit MountDrives(MountDrivesOptions options = {});

    bool diskFreeSpace(std::string_view root, DiskGeometry &geometry) override;
    bool diskFreeSpaceEx(std::string_view root, DiskSpace &space) override;
    std::uint32_t driveType(std::string_view root) override;
    bool volumeInformation(std::string_view root, VolumeInformation &info) override;
    bool setVolumeLabel(std::string_view root, std::string_view label) override;
    std::vector<std::string> logicalDrives() override;
    bool listRoot(std::string_view root) override;
    std::int32_t formatDrive(std::intptr_t ownerWindow, std::uint32_t driveNumber,
        std::uint32_t formatId, std::uint32_t options, std::string_view root) override;
    bool ntPlatform() override { return true; }
    std::string subVersionNumber() override { return {}; }

private:
    struct Device
    {
        std::string name; // kernel name, e.g. sdb1
        std::string sysfsPath; // its folder under sysfs
    };
    std::vector<MountEntry> mounts() const;
    bool findMount(std::string_view root, MountEntry &entry) const;
    bool findDevice(const MountEntry &entry, Device &device) const;
    bool stat(std::string_view root, struct statvfs &out) const;
    std::string udevLink(const std::string &folder, const std::string &deviceName) const;
    std::string deviceNameOf(const MountEntry &entry) const;
    std::string findProgram(const std::string &name) const;

    MountDrivesOptions options_;
};

} // namespace platform::linux_drive
