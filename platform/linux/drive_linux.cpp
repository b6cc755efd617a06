// The drive service (the Win32 drive calls) over Linux mounts. Windows'
// answers are rebuilt from what Linux knows: the file-system type stands for
// the drive type and the volume's flags, and udev's links give label and
// serial. Nothing here writes to a volume: relabelling is refused and
// formatting is the desktop's disk utility, which asks the user itself.

#include "platform/linux/drive_linux.h"
#include "platform/linux/spawn.h"
#include "platform/shared/path_join.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::linux_drive {
namespace {

std::string readFirstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::int32_t clamp32(std::uint64_t value)
{
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

/// The drive type a file-system type tells by itself; DriveNoRootDir when it
/// takes the block device to tell.
std::uint32_t driveTypeOfFileSystem(const std::string &fs)
{
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
    return DriveNoRootDir;
}

/// The name Windows gives file system @p fs; FAT32 from 65525 clusters on,
/// as the FAT type itself is decided.
std::string fileSystemName(const std::string &fs, const struct statvfs &st)
{
    if (oneOf(fs, { "vfat", "msdos" })) {
        return st.f_blocks >= 65525 ? "FAT32" : "FAT";
    }
    if (fs == "exfat") {
        return "exFAT";
    }
    if (oneOf(fs, { "ntfs", "ntfs3" })) {
        return "NTFS";
    }
    if (fs == "iso9660") {
        return "CDFS";
    }
    if (fs == "udf") {
        return "UDF";
    }
    return fs;
}

/// The longest name: Windows' file systems report at most 255.
std::uint32_t maxComponentLength(const std::string &fs, const struct statvfs &st)
{
    const bool windowsFs = oneOf(fs, { "vfat", "msdos", "exfat", "ntfs", "ntfs3" });
    return static_cast<std::uint32_t>(
        windowsFs ? std::min<unsigned long>(st.f_namemax, 255) : st.f_namemax);
}

/// The File* flags of a mount: its type's, its options' and read-only.
std::uint32_t fileSystemFlags(const MountEntry &entry, const struct statvfs &st)
{
    const std::string &fs = entry.fsType;
    const std::string &options = entry.superOptions;
    std::uint32_t flags = 0;
    if (!oneOf(fs, { "vfat", "msdos", "exfat" }) && !hasMountOption(options, "nocase")) {
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
            || hasMountOption(options, "acl"))
        && !hasMountOption(options, "noacl")) {
        flags |= FilePersistentAcls;
    }
    if (oneOf(fs, { "btrfs", "ntfs", "ntfs3", "zfs" })
        || hasMountOption(options, "compress_algorithm")) {
        flags |= FileFileCompression;
    }
    if (oneOf(fs, { "squashfs", "cramfs", "erofs" }) || hasMountOption(options, "compress")
        || hasMountOption(options, "compress-force")) {
        flags |= FileVolumeIsCompressed;
    }
    if (st.f_flag & ST_RDONLY) {
        flags |= FileReadOnlyVolume;
    }
    return flags;
}

/// Runs @p args and waits until the program ends (the format dialog is modal,
/// as the shell's is); 0 when it ended well.
std::int32_t runModal(const std::vector<std::string> &args)
{
    const pid_t pid = spawnOnPath(args);
    if (pid < 0) {
        return ShfmtError;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return ShfmtError;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : ShfmtError;
}

} // namespace

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
    std::string path = withoutTrailingSlashes(root);
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
            found = unescapeUdevName(name);
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
    if (const std::uint32_t type = driveTypeOfFileSystem(fs); type != DriveNoRootDir) {
        return type;
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

/// The kernel name of the block device behind @p entry; empty for none.
std::string MountDrives::deviceNameOf(const MountEntry &entry) const
{
    Device device;
    if (findDevice(entry, device)) {
        return device.name;
    }
    if (entry.source.rfind("/dev/", 0) == 0) {
        return entry.source.substr(entry.source.find_last_of('/') + 1);
    }
    return {};
}

bool MountDrives::volumeInformation(std::string_view root, VolumeInformation &info)
{
    MountEntry entry;
    struct statvfs st
    { };
    if (!findMount(root, entry) || !stat(root, st)) {
        return false;
    }
    VolumeInformation result;
    result.fileSystemName = fileSystemName(entry.fsType, st);
    result.maxComponentLength = maxComponentLength(entry.fsType, st);
    result.fileSystemFlags = fileSystemFlags(entry, st);
    if (const std::string name = deviceNameOf(entry); !name.empty()) {
        result.volumeName = udevLink("by-label", name);
        result.serialNumber = serialFromUuid(entry.fsType, udevLink("by-uuid", name));
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

/// Program @p name in the option's folders or those of $PATH; empty when missing.
std::string MountDrives::findProgram(const std::string &name) const
{
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
    for (const std::string &folder : folders) {
        std::string candidate = joinPath(folder, name, '/');
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
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
    const std::string program = findProgram("gnome-disks");
    if (program.empty()) {
        return ShfmtError;
    }
    return runModal({ program, "--block-device", entry.source, "--format-device" });
}

} // namespace platform::linux_drive

namespace platform {

template<> Drives &Seam<Drives>::defaultInstance()
{
    static linux_drive::MountDrives instance;
    return instance;
}

} // namespace platform
