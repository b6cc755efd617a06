#include "platform/linux/drive_linux.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform::linux_drive {
namespace {

bool oneOf(const std::string &value, std::initializer_list<const char *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return value == n; });
}

bool hasOption(const std::string &options, const std::string &name)
{
    std::stringstream in(options);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item == name || item.rfind(name + "=", 0) == 0) {
            return true;
        }
    }
    return false;
}

// mountinfo escapes blank, tab, newline and backslash as \ooo.
std::string unescapeOctal(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()
            && std::all_of(text.begin() + i + 1, text.begin() + i + 4,
                [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// udev's link names escape unsafe bytes as \xHH.
std::string unescapeHex(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x'
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string readFirstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string withoutTrailingSlash(std::string_view root)
{
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::uint64_t hexValue(const std::string &digits)
{
    return std::stoull(digits, nullptr, 16);
}

std::int32_t clamp32(std::uint64_t value)
{
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::vector<MountEntry> parseMountinfo(const std::string &text)
{
    std::vector<MountEntry> entries;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::stringstream in(line);
        std::vector<std::string> fields;
        std::string field;
        while (in >> field) {
            fields.push_back(field);
        }
        auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 3
            || dash - fields.begin() < 6) {
            continue;
        }
        MountEntry entry;
        unsigned major = 0, minor = 0;
        char colon = 0;
        std::stringstream numbers(fields[2]);
        if (!(numbers >> major >> colon >> minor) || colon != ':') {
            continue;
        }
        entry.major = major;
        entry.minor = minor;
        entry.mountPoint = unescapeOctal(fields[4]);
        entry.mountOptions = fields[5];
        entry.fsType = dash[1];
        entry.source = unescapeOctal(dash[2]);
        entry.superOptions = dash + 3 < fields.end() ? dash[3] : std::string();
        if (entry.mountPoint.empty() || entry.mountPoint.front() != '/') {
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::uint32_t serialFromUuid(const std::string &fsType, const std::string &uuid)
{
    std::string digits;
    for (char c : uuid) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c != '-') {
            return 0;
        }
    }
    // FAT and exFAT: the 32-bit volume serial itself (shown as XXXX-XXXX);
    // NTFS: its 64-bit serial, of which Windows reports the low half;
    // 128-bit UUIDs (ext4, xfs, btrfs, ...): their first 32 bits.
    if (oneOf(fsType, { "vfat", "msdos", "exfat" }) && digits.size() == 8) {
        return static_cast<std::uint32_t>(hexValue(digits));
    }
    if (oneOf(fsType, { "ntfs", "ntfs3", "fuseblk" }) && digits.size() == 16) {
        return static_cast<std::uint32_t>(hexValue(digits.substr(8)));
    }
    if (digits.size() == 32) {
        return static_cast<std::uint32_t>(hexValue(digits.substr(0, 8)));
    }
    return 0;
}

MountDrives::MountDrives(MountDrivesOptions options) : options_(std::move(options))
{
    if (!options_.statvfs) {
        options_.statvfs = [](const std::string &path, struct statvfs &out) {
            return ::statvfs(path.c_str(), &out) == 0;
        };
    }
}

std::vector<MountEntry> MountDrives::mounts() const
{
    std::ifstream in(options_.mountinfo);
    std::stringstream text;
    text << in.rdbuf();
    return parseMountinfo(text.str());
}

bool MountDrives::findMount(std::string_view root, MountEntry &entry) const
{
    if (root.empty() || root.front() != '/') {
        return false;
    }
    std::string path = withoutTrailingSlash(root);
    // The last mount on a point is the one that is seen there.
    std::vector<MountEntry> all = mounts();
    auto it = std::find_if(
        all.rbegin(), all.rend(), [&](const MountEntry &e) { return e.mountPoint == path; });
    if (it == all.rend()) {
        return false;
    }
    entry = *it;
    return true;
}

bool MountDrives::findDevice(const MountEntry &entry, Device &device) const
{
    unsigned major = entry.major, minor = entry.minor;
    if (major == 0 && entry.source.rfind("/dev/", 0) == 0) {
        // File systems such as btrfs show an anonymous device; their source names the real one.
        struct stat st
        { };
        std::string node = options_.devRoot + entry.source.substr(4);
        if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) {
            return false;
        }
        major = ::major(st.st_rdev);
        minor = ::minor(st.st_rdev);
    }
    if (major == 0) {
        return false;
    }
    std::string link =
        options_.sysfsRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    char *resolved = ::realpath(link.c_str(), nullptr);
    if (!resolved) {
        return false;
    }
    device.sysfsPath = resolved;
    std::free(resolved);
    device.name = device.sysfsPath.substr(device.sysfsPath.find_last_of('/') + 1);
    return !device.name.empty();
}

bool MountDrives::stat(std::string_view root, struct statvfs &out) const
{
    return !root.empty() && root.front() == '/' && options_.statvfs(std::string(root), out);
}

std::string MountDrives::udevLink(const std::string &folder, const std::string &deviceName) const
{
    DIR *dir = ::opendir((options_.devRoot + "/disk/" + folder).c_str());
    if (!dir) {
        return {};
    }
    std::string found;
    while (dirent *item = ::readdir(dir)) {
        std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::array<char, 4096> target {};
        std::string path = options_.devRoot + "/disk/" + folder + "/" + name;
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n <= 0) {
            continue;
        }
        std::string text(target.data(), static_cast<std::size_t>(n));
        if (text.substr(text.find_last_of('/') + 1) == deviceName) {
            found = unescapeHex(name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool MountDrives::diskFreeSpace(std::string_view root, DiskGeometry &geometry)
{
    struct statvfs st
    { };
    if (!stat(root, st) || st.f_frsize == 0) {
        return false;
    }
    // A cluster is the file system's fragment; sectors are 512 bytes where the
    // fragment divides into them, else one sector per cluster.
    std::uint64_t cluster = st.f_frsize;
    std::uint64_t sector = cluster % 512 == 0 ? 512 : cluster;
    geometry.bytesPerSector = clamp32(sector);
    geometry.sectorsPerCluster = clamp32(cluster / sector);
    geometry.freeClusters = clamp32(st.f_bfree);
    geometry.totalClusters = clamp32(st.f_blocks);
    return true;
}

bool MountDrives::diskFreeSpaceEx(std::string_view root, DiskSpace &space)
{
    struct statvfs st
    { };
    if (!stat(root, st)) {
        return false;
    }
    space.freeBytesAvailable = std::uint64_t(st.f_bavail) * st.f_frsize;
    space.totalBytes = std::uint64_t(st.f_blocks) * st.f_frsize;
    space.totalFreeBytes = std::uint64_t(st.f_bfree) * st.f_frsize;
    return true;
}

std::uint32_t MountDrives::driveType(std::string_view root)
{
    MountEntry entry;
    if (!findMount(root, entry)) {
        return DriveNoRootDir;
    }
    const std::string &fs = entry.fsType;
    if (oneOf(fs,
            { "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs",
                "lustre", "gpfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "fuse.s3fs",
                "davfs" })) {
        return DriveRemote;
    }
    if (oneOf(fs, { "tmpfs", "ramfs", "devtmpfs" })) {
        return DriveRamdisk;
    }
    if (oneOf(fs,
            { "proc", "sysfs", "devpts", "cgroup", "cgroup2", "securityfs", "debugfs", "tracefs",
                "pstore", "bpf", "configfs", "mqueue", "hugetlbfs", "fusectl", "binfmt_misc",
                "autofs", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs" })) {
        return DriveUnknown;
    }
    Device device;
    if (!findDevice(entry, device)) {
        return DriveFixed;
    }
    if (device.name.rfind("ram", 0) == 0 || device.name.rfind("zram", 0) == 0) {
        return DriveRamdisk;
    }
    // A partition's flags are its disk's, one folder up.
    std::string disk = device.sysfsPath;
    if (::access((disk + "/partition").c_str(), F_OK) == 0) {
        disk = disk.substr(0, disk.find_last_of('/'));
    }
    if (device.name.rfind("sr", 0) == 0 || readFirstLine(disk + "/device/type") == "5"
        || (device.name.rfind("loop", 0) == 0 && oneOf(fs, { "iso9660", "udf" }))) {
        return DriveCdrom;
    }
    if (readFirstLine(disk + "/removable") == "1") {
        return DriveRemovable;
    }
    return DriveFixed;
}

bool MountDrives::volumeInformation(std::string_view root, VolumeInformation &info)
{
    MountEntry entry;
    struct statvfs st
    { };
    if (!findMount(root, entry) || !stat(root, st)) {
        return false;
    }
    const std::string &fs = entry.fsType;
    bool fat = oneOf(fs, { "vfat", "msdos" });
    bool windowsFs = fat || oneOf(fs, { "exfat", "ntfs", "ntfs3" });

    VolumeInformation result;
    if (fat) {
        // FAT32 from 65525 clusters on, as the FAT type itself is decided.
        result.fileSystemName = st.f_blocks >= 65525 ? "FAT32" : "FAT";
    } else if (fs == "exfat") {
        result.fileSystemName = "exFAT";
    } else if (oneOf(fs, { "ntfs", "ntfs3" })) {
        result.fileSystemName = "NTFS";
    } else if (fs == "iso9660") {
        result.fileSystemName = "CDFS";
    } else if (fs == "udf") {
        result.fileSystemName = "UDF";
    } else {
        result.fileSystemName = fs;
    }
    result.maxComponentLength = static_cast<std::uint32_t>(
        windowsFs ? std::min<unsigned long>(st.f_namemax, 255) : st.f_namemax);

    std::uint32_t flags = 0;
    if (!oneOf(fs, { "vfat", "msdos", "exfat" }) && !hasOption(entry.superOptions, "nocase")) {
        flags |= FileCaseSensitiveSearch;
    }
    if (fs != "msdos") {
        flags |= FileCasePreservedNames;
    }
    if (oneOf(fs, { "vfat", "exfat", "ntfs", "ntfs3", "udf" })) {
        flags |= FileUnicodeOnDisk;
    }
    if ((oneOf(fs,
             { "ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs", "reiserfs", "tmpfs", "zfs",
                 "ocfs2", "gfs2", "nfs4", "ceph", "ntfs", "ntfs3" })
            || hasOption(entry.superOptions, "acl"))
        && !hasOption(entry.superOptions, "noacl")) {
        flags |= FilePersistentAcls;
    }
    if (oneOf(fs, { "btrfs", "ntfs", "ntfs3", "zfs" })
        || hasOption(entry.superOptions, "compress_algorithm")) {
        flags |= FileFileCompression;
    }
    if (oneOf(fs, { "squashfs", "cramfs", "erofs" }) || hasOption(entry.superOptions, "compress")
        || hasOption(entry.superOptions, "compress-force")) {
        flags |= FileVolumeIsCompressed;
    }
    if (st.f_flag & ST_RDONLY) {
        flags |= FileReadOnlyVolume;
    }
    result.fileSystemFlags = flags;

    Device device;
    std::string name;
    if (findDevice(entry, device)) {
        name = device.name;
    } else if (entry.source.rfind("/dev/", 0) == 0) {
        name = entry.source.substr(entry.source.find_last_of('/') + 1);
    }
    if (!name.empty()) {
        result.volumeName = udevLink("by-label", name);
        result.serialNumber = serialFromUuid(fs, udevLink("by-uuid", name));
    }
    info = std::move(result);
    return true;
}

bool MountDrives::setVolumeLabel(std::string_view, std::string_view)
{
    // Relabelling needs file-system tools and, mostly, root; the call's result
    // is not read, so the label stays as it is.
    return false;
}

std::vector<std::string> MountDrives::logicalDrives()
{
    std::vector<std::string> roots;
    for (const MountEntry &entry : mounts()) {
        std::string root = entry.mountPoint == "/" ? "/" : entry.mountPoint + "/";
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
            roots.push_back(std::move(root));
        }
    }
    return roots;
}

bool MountDrives::listRoot(std::string_view root)
{
    if (root.empty()) {
        return false;
    }
    DIR *dir = ::opendir(std::string(root).c_str());
    if (!dir) {
        return false;
    }
    errno = 0;
    while (::readdir(dir)) { }
    bool ok = errno == 0;
    ::closedir(dir);
    return ok;
}

std::int32_t MountDrives::formatDrive(
    std::intptr_t, std::uint32_t, std::uint32_t, std::uint32_t, std::string_view root)
{
    // Drive numbers mean nothing here: the utility is given the block device
    // mounted at the class's drive.
    MountEntry entry;
    if (!findMount(root, entry) || entry.source.rfind("/dev/", 0) != 0) {
        return ShfmtError;
    }
    struct stat st
    { };
    if (::stat((options_.devRoot + entry.source.substr(4)).c_str(), &st) != 0) {
        return ShfmtError;
    }
    std::vector<std::string> folders = options_.programFolders;
    if (folders.empty()) {
        const char *path = std::getenv("PATH");
        std::stringstream in(path ? path : "");
        std::string folder;
        while (std::getline(in, folder, ':')) {
            if (!folder.empty()) {
                folders.push_back(folder);
            }
        }
    }
    std::string program;
    for (const std::string &folder : folders) {
        std::string candidate = folder + "/gnome-disks";
        if (::access(candidate.c_str(), X_OK) == 0) {
            program = candidate;
            break;
        }
    }
    if (program.empty()) {
        return ShfmtError;
    }
    std::vector<std::string> args = { program, "--block-device", entry.source, "--format-device" };
    std::vector<char *> argv;
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return ShfmtError;
    }
    // The dialog is modal, as the shell's is: wait until the utility ends.
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return ShfmtError;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : ShfmtError;
}

} // namespace platform::linux_drive

namespace platform {

template<> Drives &Seam<Drives>::defaultInstance()
{
    static linux_drive::MountDrives instance;
    return instance;
}

} // namespace platform
