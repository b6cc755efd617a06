#pragma once
// Reading the kernel's mount table (/proc/self/mountinfo) and udev's names
// for block devices, as text: no file system is asked.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace platform::linux_drive {

/// One line of mountinfo, with its escapes decoded.
struct MountEntry
{
    unsigned major = 0;
    unsigned minor = 0;
    std::string mountPoint;
    std::string mountOptions;
    std::string fsType;
    std::string source;
    std::string superOptions;
};

/// Parses mountinfo text; lines that do not parse are skipped.
std::vector<MountEntry> parseMountinfo(const std::string &text);

/// The volume serial an udev UUID text stands for, for file system @p fsType.
std::uint32_t serialFromUuid(const std::string &fsType, const std::string &uuid);

/// Whether comma-separated @p options hold @p name, alone or with a value.
bool hasMountOption(const std::string &options, const std::string &name);

/// A link name under /dev/disk/by-* with udev's \xHH escapes decoded.
std::string unescapeUdevName(const std::string &text);

/// Whether @p value is one of @p names (file-system types, mostly).
bool oneOf(const std::string &value, std::initializer_list<const char *> names);

} // namespace platform::linux_drive
