// The Linux drive service over a fake mountinfo/sysfs/udev tree, and
// clsDrive over this machine's real mounts.

#include "classlib/clsDrive.h"
#include "common/platform_fakes.h"
#include "platform/linux/drive_linux.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using platform::linux_drive::MountDrives;
using platform::linux_drive::MountDrivesOptions;

void write(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

/// Block devices sda1 (fixed), sdb1 (removable), sr0 (optical), zram0, and
/// their udev links; statvfs answers from a table.
class FakeTree : public ::testing::Test
{
protected:
    fakes::TempDir dir;
    fs::path sys = dir.path() / "sys";
    fs::path dev = dir.path() / "dev";
    std::map<std::string, struct statvfs> stats;

    void SetUp() override
    {
        write(dir.path() / "mountinfo",
            "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            "30 22 8:17 / /media/with\\040space rw - vfat /dev/sdb1 rw,fmask=0022\n"
            "31 22 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
            "32 22 0:40 / /net rw - nfs4 server:/export rw\n"
            "33 22 0:25 / /run rw - tmpfs tmpfs rw\n"
            "34 22 0:5 / /proc rw - proc proc rw\n"
            "35 22 252:0 / /swap rw - ext2 /dev/zram0 rw\n"
            "36 22 8:33 / /mnt/win rw - ntfs3 /dev/sdc1 rw,acl\n"
            "37 22 7:0 / /snap/core rw - squashfs /dev/loop0 ro\n"
            "38 22 0:41 / /mnt/b rw - btrfs /dev/sdd1 rw,compress=zstd:3\n"
            "garbage line\n");
        auto block = [&](const std::string &disk, const std::string &part, const char *number,
                         const char *removable) {
            fs::path folder = sys / "devices" / disk;
            write(folder / "removable", removable);
            fs::path target = folder;
            if (!part.empty()) {
                target = folder / part;
                write(target / "partition", "1");
            }
            fs::create_directories(target);
            fs::create_directories(sys / "dev/block");
            fs::create_directory_symlink(target, sys / "dev/block" / number);
        };
        block("sda", "sda1", "8:1", "0");
        block("sdb", "sdb1", "8:17", "1");
        block("sr0", "", "11:0", "1");
        block("zram0", "", "252:0", "0");
        block("sdc", "sdc1", "8:33", "0");
        block("loop0", "", "7:0", "0");
        fs::create_directories(dev / "disk/by-label");
        fs::create_directories(dev / "disk/by-uuid");
        fs::create_symlink("../../sdb1", dev / "disk/by-label/MY\\x20STICK");
        fs::create_symlink("../../sdb1", dev / "disk/by-uuid/ABCD-1234");
        fs::create_symlink("../../sda1", dev / "disk/by-uuid/1b2c3d4e-5f60-7182-93a4-b5c6d7e8f901");
        fs::create_symlink("../../sdc1", dev / "disk/by-uuid/0123456789ABCDEF");
        fs::create_symlink("../../sdc1", dev / "disk/by-label/Data");
        write(dev / "sdb1", "");
    }

    MountDrives drives(std::vector<std::string> programs = { "/nonexistent" })
    {
        MountDrivesOptions options;
        options.mountinfo = (dir.path() / "mountinfo").string();
        options.sysfsRoot = sys.string();
        options.devRoot = dev.string();
        options.programFolders = std::move(programs);
        options.statvfs = [this](const std::string &path, struct statvfs &out) {
            auto it = stats.find(path);
            if (it == stats.end()) {
                return false;
            }
            out = it->second;
            return true;
        };
        return MountDrives(options);
    }

    static struct statvfs stat(unsigned long frsize, fsblkcnt_t blocks, fsblkcnt_t free,
        fsblkcnt_t avail, unsigned long flags = 0)
    {
        struct statvfs st
        { };
        st.f_frsize = st.f_bsize = frsize;
        st.f_blocks = blocks;
        st.f_bfree = free;
        st.f_bavail = avail;
        st.f_namemax = 1530;
        st.f_flag = flags;
        return st;
    }
};

TEST_F(FakeTree, DriveTypesFromTheFileSystemAndTheBlockDevice)
{
    MountDrives service = drives();
    const std::map<std::string, std::uint32_t> expected = { { "/", 3 }, { "/media/with space/", 2 },
        { "/media/cd/", 5 }, { "/net/", 4 }, { "/run/", 6 }, { "/proc/", 0 }, { "/swap/", 6 },
        { "/mnt/win/", 3 }, { "/media/", 1 }, { "relative/", 1 }, { "", 1 } };
    for (const auto &[root, type] : expected) {
        EXPECT_EQ(service.driveType(root), type) << root;
    }
}

TEST_F(FakeTree, LogicalDrivesAreTheMountPointsDecoded)
{
    std::vector<std::string> roots = drives().logicalDrives();
    EXPECT_EQ(roots.size(), 10u);
    EXPECT_EQ(roots[0], "/");
    EXPECT_EQ(roots[1], "/media/with space/");
}

struct Volume
{
    const char *root;
    struct statvfs st;
    const char *label;
    std::uint32_t serial;
    const char *fileSystem;
    std::uint32_t maxName;
    std::uint32_t flags;
};

TEST_F(FakeTree, VolumeInformationFromTheMountAndUdev)
{
    const std::vector<Volume> rows = {
        { "/media/with space/", stat(4096, 70000, 10, 10), "MY STICK", 0xABCD1234, "FAT32", 255,
            0x2 | 0x4 },
        { "/media/with space/", stat(4096, 60000, 10, 10), "MY STICK", 0xABCD1234, "FAT", 255,
            0x2 | 0x4 },
        { "/", stat(4096, 100, 10, 5), "", 0x1b2c3d4e, "ext4", 1530, 0x1 | 0x2 | 0x8 },
        { "/mnt/win/", stat(4096, 100, 10, 5), "Data", 0x89ABCDEF, "NTFS", 255,
            0x1 | 0x2 | 0x4 | 0x8 | 0x10 },
        { "/media/cd/", stat(2048, 100, 0, 0, ST_RDONLY), "", 0, "CDFS", 1530,
            0x1 | 0x2 | 0x80000 },
        { "/snap/core/", stat(4096, 100, 0, 0), "", 0, "squashfs", 1530, 0x1 | 0x2 | 0x8000 },
        { "/mnt/b/", stat(4096, 100, 0, 0), "", 0, "btrfs", 1530, 0x1 | 0x2 | 0x8 | 0x10 | 0x8000 },
        { "/run/", stat(4096, 100, 0, 0), "", 0, "tmpfs", 1530, 0x1 | 0x2 | 0x8 },
    };
    for (const Volume &row : rows) {
        stats[std::string(row.root)] = row.st;
        platform::VolumeInformation info;
        ASSERT_TRUE(drives().volumeInformation(row.root, info)) << row.root;
        EXPECT_EQ(info.volumeName, row.label) << row.root;
        EXPECT_EQ(info.serialNumber, row.serial) << row.root;
        EXPECT_EQ(info.fileSystemName, row.fileSystem) << row.root;
        EXPECT_EQ(info.maxComponentLength, row.maxName) << row.root;
        EXPECT_EQ(info.fileSystemFlags, row.flags) << row.root;
    }
    platform::VolumeInformation info;
    EXPECT_FALSE(drives().volumeInformation("/media/", info)); // no mount point
}

TEST_F(FakeTree, SerialsFromUuidTexts)
{
    using platform::linux_drive::serialFromUuid;
    EXPECT_EQ(serialFromUuid("exfat", "1A2B-3C4D"), 0x1A2B3C4Du);
    EXPECT_EQ(serialFromUuid("ntfs3", "0011223344556677"), 0x44556677u);
    EXPECT_EQ(serialFromUuid("xfs", "deadbeef-0000-1111-2222-333344445555"), 0xDEADBEEFu);
    EXPECT_EQ(serialFromUuid("iso9660", "2020-04-23-14-41-42-00"), 0u);
    EXPECT_EQ(serialFromUuid("vfat", "not a uuid"), 0u);
}

TEST_F(FakeTree, SpaceCountsAllFreeBytesAndGeometryStaysIn32Bits)
{
    stats["/"] = stat(4096, 5'000'000'000ULL, 3'000'000'000ULL, 1'000'000ULL);
    MountDrives service = drives();
    platform::DiskSpace space;
    ASSERT_TRUE(service.diskFreeSpaceEx("/", space));
    EXPECT_EQ(space.totalFreeBytes, 3'000'000'000ULL * 4096);
    EXPECT_EQ(space.freeBytesAvailable, 1'000'000ULL * 4096);
    EXPECT_EQ(space.totalBytes, 5'000'000'000ULL * 4096);
    platform::DiskGeometry geometry;
    ASSERT_TRUE(service.diskFreeSpace("/", geometry));
    EXPECT_EQ(geometry.bytesPerSector, 512);
    EXPECT_EQ(geometry.sectorsPerCluster, 8);
    EXPECT_EQ(geometry.freeClusters, 2147483647);
    EXPECT_EQ(geometry.totalClusters, 2147483647);
    EXPECT_FALSE(service.diskFreeSpace("/net/", geometry));
}

TEST_F(FakeTree, FormatStartsTheDiskUtilityForTheMountedDevice)
{
    fs::path bin = dir.path() / "bin";
    fs::path args = dir.path() / "args";
    write(bin / "gnome-disks",
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + args.string() + "'\nexit ${FAKE_STATUS:-0}\n");
    fs::permissions(bin / "gnome-disks", fs::perms::owner_all);
    MountDrives service = drives({ bin.string() });
    EXPECT_EQ(service.formatDrive(0, 0, 65535, 1, "/media/with space/"), 0);
    std::ifstream in(args);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "--block-device\n/dev/sdb1\n--format-device\n");

    ::setenv("FAKE_STATUS", "3", 1);
    EXPECT_EQ(service.formatDrive(0, 0, 65535, 1, "/media/with space/"), platform::ShfmtError);
    ::unsetenv("FAKE_STATUS");
    EXPECT_EQ(service.formatDrive(0, 0, 65535, 1, "/net/"), platform::ShfmtError);
    EXPECT_EQ(service.formatDrive(0, 0, 65535, 1, "/media/"), platform::ShfmtError);
    EXPECT_EQ(drives().formatDrive(0, 0, 65535, 1, "/media/with space/"), platform::ShfmtError);
}

// This machine's own mounts through the default service.
TEST(clsDriveLinux, TheRootMountAndAFolderThatIsNone)
{
    clsDrive root;
    root.Drive("/");
    EXPECT_TRUE(root.Enabled());
    EXPECT_TRUE(root.MediaCondition());
    struct statvfs st
    { };
    ASSERT_EQ(::statvfs("/", &st), 0);
    EXPECT_EQ(root.AllSpace(), double(std::uint64_t(st.f_blocks) * st.f_frsize));
    EXPECT_GT(root.FreeSpace(), 0.0);
    EXPECT_LE(root.FreeSpace(), root.AllSpace());
    EXPECT_GE(root.MediaType(), 2);
    EXPECT_FALSE(root.FileSystem().empty());
    EXPECT_GT(root.MaxFileName(), 0);

    clsDrive proc;
    proc.Drive("/proc");
    EXPECT_EQ(proc.MediaType(), 0);
    EXPECT_EQ(proc.FileSystem(), "proc");

    fakes::TempDir dir;
    clsDrive folder;
    folder.Drive(dir.str());
    EXPECT_FALSE(folder.Enabled());
    EXPECT_EQ(folder.MediaType(), 1);
    clsDrive missing;
    missing.Drive(dir.str() + "/absent");
    EXPECT_FALSE(missing.MediaCondition());
}

} // namespace
