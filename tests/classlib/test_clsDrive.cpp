// clsDrive over a scripted drive service (both grammars, every member), and
// over the system's own drives.

#include "classlib/clsDrive.h"
#include "platform/drive.h"
#include "platform/runtime/runtime_error.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>

namespace {

/// One drive as a test describes it; every call is recorded.
class ScriptedDrives final : public platform::Drives
{
public:
    bool nt = true;
    std::string subVersion;
    bool ok = true;
    platform::DiskGeometry geometry { 8, 512, 1000, 2000 };
    platform::DiskSpace space { 1, 2, 3 };
    std::uint32_t type = 3;
    platform::VolumeInformation volume { "LABEL", 0xABCD1234, 255, 0, "NTFS" };
    std::vector<std::string> roots = { "c:\\", "D:\\" };
    bool listable = true;
    std::vector<std::string> asked; // the root of each call
    std::string label;
    std::uint32_t formatOptions = 99, formatId = 0, formatNumber = 0;

    bool diskFreeSpace(std::string_view root, platform::DiskGeometry &out) override
    {
        asked.emplace_back(root);
        if (ok) {
            out = geometry;
        }
        return ok;
    }
    bool diskFreeSpaceEx(std::string_view root, platform::DiskSpace &out) override
    {
        asked.emplace_back(root);
        if (ok) {
            out = space;
        }
        return ok;
    }
    std::uint32_t driveType(std::string_view root) override
    {
        asked.emplace_back(root);
        return type;
    }
    bool volumeInformation(std::string_view root, platform::VolumeInformation &out) override
    {
        asked.emplace_back(root);
        if (ok) {
            out = volume;
        }
        return ok;
    }
    bool setVolumeLabel(std::string_view root, std::string_view newLabel) override
    {
        asked.emplace_back(root);
        label = newLabel;
        return true;
    }
    std::vector<std::string> logicalDrives() override { return roots; }
    bool listRoot(std::string_view root) override
    {
        asked.emplace_back(root);
        return listable;
    }
    std::int32_t formatDrive(std::intptr_t, std::uint32_t drive, std::uint32_t id,
        std::uint32_t options, std::string_view root) override
    {
        asked.emplace_back(root);
        formatNumber = drive;
        formatId = id;
        formatOptions = options;
        return 7;
    }
    bool ntPlatform() override { return nt; }
    std::string subVersionNumber() override { return subVersion; }

private:
    platform::ScopedSeam<platform::Drives> guard_ { *this };
};

struct Normalised
{
    PathGrammar grammar;
    const char *text;
    const char *drive;
};

// Shown in test output instead of the row's raw bytes.
void PrintTo(const Normalised &row, std::ostream *os)
{
    *os << (row.grammar == PathGrammar::Windows ? "Windows" : "Posix") << " \"" << row.text
        << "\" -> \"" << row.drive << '"';
}

class DriveSetter : public ::testing::TestWithParam<Normalised>
{ };

TEST_P(DriveSetter, NormalisesTheRoot)
{
    clsDrive drive(GetParam().grammar);
    drive.Drive(GetParam().text);
    EXPECT_EQ(drive.Drive(), GetParam().drive);
}

INSTANTIATE_TEST_SUITE_P(BothGrammars, DriveSetter,
    ::testing::Values(Normalised { PathGrammar::Windows, "c", "C:\\" },
        Normalised { PathGrammar::Windows, "c:", "C:\\" },
        Normalised { PathGrammar::Windows, "C:\\", "C:\\" },
        Normalised { PathGrammar::Windows, "d:\\", "D:\\" },
        Normalised { PathGrammar::Windows, "", ":\\" },
        Normalised { PathGrammar::Posix, "/media/usb", "/media/usb/" },
        Normalised { PathGrammar::Posix, "/media/usb/", "/media/usb/" },
        Normalised { PathGrammar::Posix, "//media//usb//", "/media/usb/" },
        Normalised { PathGrammar::Posix, "media/Usb", "/media/Usb/" },
        Normalised { PathGrammar::Posix, "/", "/" }, Normalised { PathGrammar::Posix, "", "" }));

TEST(clsDrive, CreatedEmptyInTheNativeGrammar)
{
    clsDrive drive;
    EXPECT_EQ(drive.Drive(), "");
    EXPECT_EQ(drive.Grammar(), PathGrammar::Native);
}

TEST(clsDrive, SpaceOnTheNtPlatformIsEveryFreeByteBeyondFourGigabytes)
{
    ScriptedDrives drives;
    drives.space = { 1, (std::uint64_t(1) << 40) + 3, (std::uint64_t(5) << 30) + 1 };
    clsDrive drive(PathGrammar::Windows);
    drive.Drive("e");
    EXPECT_EQ(drive.FreeSpace(), double((std::uint64_t(5) << 30) + 1));
    EXPECT_EQ(drive.AllSpace(), double((std::uint64_t(1) << 40) + 3));
    EXPECT_EQ(drives.asked, (std::vector<std::string> { "E:\\", "E:\\" }));
}

// Without the NT platform only the second edition (" B") has the 64-bit call;
// the others multiply clusters in 32-bit arithmetic, which overflows past 2 GiB.
TEST(clsDrive, SpaceWithoutTheNtPlatform)
{
    ScriptedDrives drives;
    drives.nt = false;
    drives.subVersion = " B";
    clsDrive drive(PathGrammar::Windows);
    drive.Drive("a");
    EXPECT_EQ(drive.FreeSpace(), 3.0);

    drives.subVersion = " a";
    drives.geometry = { 8, 512, 1000, 524287 };
    EXPECT_EQ(drive.FreeSpace(), 1000.0 * 8 * 512);
    EXPECT_EQ(drive.AllSpace(), 524287.0 * 8 * 512);
    drives.geometry.freeClusters = 524288; // exactly 2 GiB
    try {
        drive.FreeSpace();
        ADD_FAILURE() << "no overflow";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), vberr::Overflow);
    }
}

TEST(clsDrive, GeometryAndVolumeKeepTheirLastValuesWhenACallFails)
{
    ScriptedDrives drives;
    clsDrive drive(PathGrammar::Windows);
    drive.Drive("c");
    EXPECT_EQ(drive.SectorByte(), 512);
    EXPECT_EQ(drive.ClusterSector(), 8);
    EXPECT_EQ(drive.Volume(), "LABEL");
    EXPECT_EQ(drive.FileSystem(), "NTFS");
    EXPECT_EQ(drive.MaxFileName(), 255);
    EXPECT_EQ(drive.VolSerial(), static_cast<std::int32_t>(0xABCD1234));
    drives.ok = false;
    EXPECT_EQ(drive.SectorByte(), 512);
    EXPECT_EQ(drive.Volume(), "LABEL");
    EXPECT_EQ(drive.VolSerial(), static_cast<std::int32_t>(0xABCD1234));

    clsDrive fresh(PathGrammar::Windows);
    EXPECT_EQ(fresh.SectorByte(), 0);
    EXPECT_EQ(fresh.Volume(), "");
    drive.Volume("NEW");
    EXPECT_EQ(drives.label, "NEW");
}

TEST(clsDrive, EachFlagPropertyReadsItsOwnBit)
{
    ScriptedDrives drives;
    clsDrive drive(PathGrammar::Windows);
    const std::map<std::uint32_t, bool (clsDrive::*)()> flags = { { 1, &clsDrive::CaseSensitive },
        { 2, &clsDrive::CasePreserved }, { 4, &clsDrive::Unicode }, { 8, &clsDrive::ACLs },
        { 16, &clsDrive::FileCompress }, { 32768, &clsDrive::VolCompress } };
    for (const auto &[bit, property] : flags) {
        drives.volume.fileSystemFlags = ~bit;
        for (const auto &[other, read] : flags) {
            EXPECT_EQ((drive.*read)(), other != bit) << bit << " " << other;
        }
    }
}

TEST(clsDrive, MediaTypePassesOneToSixAndMapsTheRestToZero)
{
    ScriptedDrives drives;
    clsDrive drive;
    for (std::uint32_t type : { 0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 0xFFFFFFFFu }) {
        drives.type = type;
        EXPECT_EQ(drive.MediaType(), type <= 6 ? std::int32_t(type) : 0);
    }
}

TEST(clsDrive, EnabledOnlyForAListedDriveAndNeverForAnEmptyOne)
{
    ScriptedDrives drives;
    drives.roots = { "c:\\", "D:\\", "/media/usb/", "/" };
    clsDrive windows(PathGrammar::Windows);
    EXPECT_FALSE(windows.Enabled());
    windows.Drive("");
    EXPECT_FALSE(windows.Enabled()); // ":\" occurs in every root
    for (const char *letter : { "c", "d" }) {
        windows.Drive(letter);
        EXPECT_TRUE(windows.Enabled()) << letter;
    }
    windows.Drive("e");
    EXPECT_FALSE(windows.Enabled());

    clsDrive posix(PathGrammar::Posix);
    EXPECT_FALSE(posix.Enabled());
    posix.Drive("/media/usb");
    EXPECT_TRUE(posix.Enabled());
    posix.Drive("/media/USB");
    EXPECT_FALSE(posix.Enabled());
    posix.Drive("/media");
    EXPECT_FALSE(posix.Enabled());
}

TEST(clsDrive, MediaConditionIsTheListingsOutcome)
{
    ScriptedDrives drives;
    clsDrive drive(PathGrammar::Windows);
    drive.Drive("a");
    EXPECT_TRUE(drive.MediaCondition());
    drives.listable = false;
    EXPECT_FALSE(drive.MediaCondition());
    EXPECT_EQ(drives.asked.back(), "A:\\");
}

TEST(clsDrive, ShowFormatSwapsTheFirstTwoTypesOnTheNtPlatform)
{
    ScriptedDrives drives;
    clsDrive drive(PathGrammar::Windows);
    drive.Drive("a");
    for (bool nt : { true, false }) {
        drives.nt = nt;
        for (std::int32_t type : { 0, 1, 2 }) {
            EXPECT_EQ(drive.ShowFormat(0, 0, type), 7);
            std::int32_t expected = nt && type < 2 ? 1 - type : type;
            EXPECT_EQ(drives.formatOptions, std::uint32_t(expected)) << nt << type;
            EXPECT_EQ(drives.formatId, 65535u);
            EXPECT_EQ(drives.asked.back(), "A:\\");
        }
    }
}

#ifdef _WIN32

// The system's own drives (Wine maps C: to its prefix and has no drive Q:).
TEST(clsDriveWin32, TheSystemDriveAndAMissingOne)
{
    clsDrive drive;
    drive.Drive("c");
    EXPECT_EQ(drive.Drive(), "C:\\");
    EXPECT_TRUE(drive.Enabled());
    EXPECT_TRUE(drive.MediaCondition());
    EXPECT_EQ(drive.MediaType(), 3);
    EXPECT_GT(drive.FreeSpace(), 0.0);
    EXPECT_LE(drive.FreeSpace(), drive.AllSpace());
    EXPECT_FALSE(drive.FileSystem().empty());
    EXPECT_GT(drive.SectorByte(), 0);
    EXPECT_GT(drive.MaxFileName(), 0);

    clsDrive missing;
    missing.Drive("q:");
    EXPECT_FALSE(missing.Enabled());
    EXPECT_FALSE(missing.MediaCondition());
    EXPECT_EQ(missing.MediaType(), 1);
}

#endif

} // namespace
