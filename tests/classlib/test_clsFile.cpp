// The file class on real files: existence, the not-found error, attributes,
// times, links, sizes, version resources of sample images, and the shell's
// operations it hands on.
#include "classlib/clsFile.h"
#include "classlib/file_test_support.h"
#include "common/platform_fakes.h"
#include "platform/runtime/runtime_error.h"

#include <gtest/gtest.h>

#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#endif

namespace {

using namespace filetest;
namespace fs = std::filesystem;

clsFile fileAt(const fs::path &path)
{
    clsFile f;
    f.FileName(u8(path));
    return f;
}

TEST(clsFileFormat, FileTimeText)
{
    EXPECT_EQ(gFormatFileTime(2004, 3, 7, 0, 9, 5, 0), "2004年3月7日 日曜日    9:5:0");
    EXPECT_EQ(gFormatFileTime(1999, 12, 31, 5, 23, 59, 58), "1999年12月31日 金曜日    23:59:58");
    EXPECT_EQ(gFormatFileTime(2026, 1, 10, 6, 0, 0, 0), "2026年1月10日 土曜日    0:0:0");
}

TEST(clsFileEnabled, OnlyFilesThatOpenForReading)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    fs::create_directory(work / "dir");
    EXPECT_TRUE(fileAt(work / "a.txt").Enabled());
    EXPECT_FALSE(clsFile().Enabled()) << "empty name";
    EXPECT_FALSE(fileAt(work / "missing.txt").Enabled());
    clsFile cut;
    cut.FileName(u8(work / "a.txt") + std::string("\0.txt", 5));
    EXPECT_FALSE(cut.Enabled()) << "a NUL never cuts the name to another file's";
    EXPECT_EQ(cut.CompressedSize(), -1);
    EXPECT_FALSE(fileAt(work / "dir").Enabled()) << "a folder";
    EXPECT_FALSE(fileAt(u8(work / "dir") + std::string(1, platform::DirSeparator)).Enabled());
#ifdef _WIN32
    // Held open exclusively by another handle.
    HANDLE h = ::CreateFileW(
        (work / "a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fileAt(work / "a.txt").Enabled());
    ::CloseHandle(h);
#endif
}

TEST(clsFileEnabled, MembersThatNeedTheFileRaise53)
{
    WorkDir work;
    fakes::RecordingMessageBox boxes;
    RecordingFileOperation operations;
    clsFile f = fileAt(work / "missing.txt");
    const std::pair<const char *, std::function<void()>> members[] = {
        { "Size", [&] { f.Size(); } },
        { "Execute", [&] { f.Execute(); } },
        { "Archive", [&] { f.Archive(); } },
        { "Archive=", [&] { f.Archive(true); } },
        { "Hidden", [&] { f.Hidden(); } },
        { "Hidden=", [&] { f.Hidden(false); } },
        { "System", [&] { f.System(); } },
        { "System=", [&] { f.System(true); } },
        { "Directory", [&] { f.Directory(); } },
        { "ReadOnly", [&] { f.ReadOnly(); } },
        { "ReadOnly=", [&] { f.ReadOnly(true); } },
        { "Executable", [&] { f.Executable(); } },
        { "CreationTime", [&] { f.CreationTime(); } },
        { "LastAccessTime", [&] { f.LastAccessTime(); } },
        { "LastWriteTime", [&] { f.LastWriteTime(); } },
        { "Links", [&] { f.Links(); } },
        { "Trash", [&] { f.Trash(); } },
        { "FileCopy", [&] { f.FileCopy("x"); } },
        { "Move", [&] { f.Move("x"); } },
        { "Rename", [&] { f.Rename("x"); } },
        { "FileVersion", [&] { f.FileVersion(); } },
        { "ProductVersion", [&] { f.ProductVersion(); } },
        { "FileType", [&] { f.FileType(); } },
        { "FileSubtype", [&] { f.FileSubtype(); } },
        { "FileOS", [&] { f.FileOS(); } },
        { "BuildType", [&] { f.BuildType(); } },
        { "FilePrint", [&] { f.FilePrint(); } },
        { "FirstMove", [&] { f.FirstMove("x"); } },
    };
    for (const auto &[name, call] : members) {
        try {
            call();
            ADD_FAILURE() << name << " raised nothing";
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), 53) << name;
        }
    }
    EXPECT_TRUE(operations.requests.empty());
    EXPECT_TRUE(boxes.shown.empty());
    // Members that do not need the file answer without raising.
    EXPECT_EQ(f.ShortPathName(), "");
    EXPECT_EQ(f.CompressedSize(), -1);
}

TEST(clsFileSize, SixtyFourBitSizes)
{
    WorkDir work;
    writeFile(work / "five.txt", "12345");
    EXPECT_EQ(fileAt(work / "five.txt").Size(), 5);
    // Sparse, so it takes little space on disk.
    const std::int64_t big = 3LL * 1024 * 1024 * 1024 + 7;
    {
        std::ofstream(work / "big.bin");
    }
    fs::resize_file(work / "big.bin", big);
    clsFile f = fileAt(work / "big.bin");
    EXPECT_EQ(f.Size(), big);
    EXPECT_GE(f.CompressedSize(), 0);
    EXPECT_LE(f.CompressedSize(), big);
}

TEST(clsFileAttributes, ReadOnlySetAndCleared)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    clsFile f = fileAt(work / "a.txt");
    EXPECT_FALSE(f.ReadOnly());
    f.ReadOnly(false);
    EXPECT_FALSE(f.ReadOnly());
    f.ReadOnly(true);
    EXPECT_TRUE(f.ReadOnly());
    f.ReadOnly(true);
    EXPECT_TRUE(f.ReadOnly());
    f.ReadOnly(false);
    EXPECT_FALSE(f.ReadOnly());
    EXPECT_FALSE(f.Directory());
}

TEST(clsFileAttributes, HiddenSystemAndArchive)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    clsFile f = fileAt(work / "a.txt");
    EXPECT_FALSE(f.Hidden());
    f.Hidden(true);
    EXPECT_TRUE(f.Hidden());
    f.System(true);
    f.Archive(true);
    EXPECT_TRUE(f.System());
    EXPECT_TRUE(f.Archive());
    f.Archive(false);
#ifndef _WIN32
    EXPECT_FALSE(f.Archive()) << "Wine reports the archive bit on every file, whatever was set";
#endif
    EXPECT_TRUE(f.System());
    EXPECT_TRUE(f.Hidden());
    f.System(false);
    f.Hidden(false);
    EXPECT_FALSE(f.System());
    EXPECT_FALSE(f.Hidden());
}

#ifndef _WIN32
TEST(clsFileAttributes, LinuxStandIns)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    writeFile(work / "b.txt", "x");
    writeFile(work / ".dot", "x");
    clsFile a = fileAt(work / "a.txt");
    clsFile b = fileAt(work / "b.txt");
    // Hidden: a leading dot, or the name in the folder's .hidden list.
    EXPECT_TRUE(fileAt(work / ".dot").Hidden());
    a.Hidden(true);
    b.Hidden(true);
    EXPECT_EQ(readFile(work / ".hidden"), "a.txt\nb.txt\n");
    a.Hidden(false);
    EXPECT_EQ(readFile(work / ".hidden"), "b.txt\n");
    try {
        fileAt(work / ".dot").Hidden(false);
        ADD_FAILURE() << "a leading dot cannot be unhidden";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), 75);
    }
    // System and archive: a user extended attribute.
    a.System(true);
    a.Archive(true);
    char value[16] = {};
    const auto n = ::getxattr((work / "a.txt").c_str(), "user.portprobe.attributes", value, 15);
    EXPECT_EQ(std::string(value, n > 0 ? n : 0), "36");
    a.System(false);
    a.Archive(false);
    EXPECT_LT(::getxattr((work / "a.txt").c_str(), "user.portprobe.attributes", value, 15), 0);
    // Read-only: no write bit for anyone; cleared by the owner's.
    fs::permissions(
        work / "b.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_write);
    EXPECT_FALSE(b.ReadOnly());
    b.ReadOnly(true);
    EXPECT_EQ(fs::status(work / "b.txt").permissions(), fs::perms::owner_read);
    b.ReadOnly(false);
    EXPECT_EQ(
        fs::status(work / "b.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(clsFileInformation, TimesAndLinksFromTheFileSystem)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    fs::create_hard_link(work / "a.txt", work / "b.txt");
    std::tm local {};
    local.tm_year = 2004 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const timespec times[2] = { { when + 3600, 0 }, { when, 0 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, (work / "a.txt").c_str(), times, 0), 0);
    clsFile f = fileAt(work / "a.txt");
    EXPECT_EQ(f.LastWriteTime(), "2004年3月7日 日曜日    9:5:0");
    EXPECT_EQ(f.LastAccessTime(), "2004年3月7日 日曜日    10:5:0");
    EXPECT_EQ(f.Links(), 2);
    fs::remove(work / "b.txt");
    EXPECT_EQ(f.Links(), 1) << "read again on every call";
    // Creation time: empty where the file system keeps none, else this year's date.
    const std::string created = f.CreationTime();
    if (!created.empty()) {
        EXPECT_NE(created.find("年"), std::string::npos);
    }
}

TEST(clsFileExecutable, ProgramsButNotLibraries)
{
    WorkDir work;
    writeFile(work / "script.sh", "#!/bin/sh\n");
    fs::permissions(work / "script.sh", fs::perms::owner_all);
    EXPECT_TRUE(fileAt("/proc/self/exe").Executable()) << "this test program";
    EXPECT_FALSE(fileAt(work / "script.sh").Executable());
}

TEST(clsFileShell, PrintsThroughLpArgumentsOnly)
{
    WorkDir work;
    fs::create_directory(work / "bin");
    const auto args = work / "args.txt";
    writeFile(work / "bin" / "lp", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + u8(args) + "'\n");
    fs::permissions(work / "bin" / "lp", fs::perms::owner_all);
    const std::string savedPath = std::getenv("PATH");
    ::setenv("PATH", (work / "bin").c_str(), 1);
    writeFile(work / "a b;$(x).txt", "x");
    writeFile(work / "-n5", "x");
    fileAt(work / "a b;$(x).txt").FilePrint();
    fs::current_path(work.path());
    clsFile dash;
    dash.FileName("-n5");
    dash.FilePrint();
    fs::current_path(root());
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(readFile(args), u8(work / "a b;$(x).txt") + "\n./-n5\n");
}

// An lp still running when FilePrint stops waiting is reaped once it ends.
TEST(clsFileShell, AnLpLeftRunningIsReaped)
{
    WorkDir work;
    fs::create_directory(work / "bin");
    const auto pidFile = work / "lp.pid";
    writeFile(work / "bin" / "lp",
        "#!/bin/sh\necho $$ > '" + u8(pidFile) + "'\nPATH=/usr/bin:/bin exec sleep 60\n");
    fs::permissions(work / "bin" / "lp", fs::perms::owner_all);
    writeFile(work / "a.txt", "x");
    const std::string savedPath = std::getenv("PATH");
    ::setenv("PATH", (work / "bin").c_str(), 1);
    fileAt(work / "a.txt").FilePrint();
    ::setenv("PATH", savedPath.c_str(), 1);
    const std::string pid = readFile(pidFile).substr(0, readFile(pidFile).find('\n'));
    ASSERT_FALSE(pid.empty());
    ASSERT_EQ(::kill(std::stoi(pid), SIGKILL), 0);
    const fs::path proc = "/proc/" + pid;
    for (int i = 0; i < 200 && fs::exists(proc); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(fs::exists(proc)) << "a zombie: " << readFile(proc / "stat");
}

// The Windows backend's 512-character buffer holds at most 511 characters.
TEST(clsFilePaths, ShortPathNameKeepsTheWindowsLimit)
{
    WorkDir work;
    const std::string base = u8(work.path()) + "/";
    ASSERT_LT(base.size(), 200u);
    fs::create_directory(work / std::string(250, 'd'));
    const std::string folder = base + std::string(250, 'd') + "/";
    for (std::size_t length : { 511u, 512u }) {
        const std::string path = folder + std::string(length - folder.size(), 'f');
        writeFile(fromU8(path), "x");
        EXPECT_EQ(fileAt(fromU8(path)).ShortPathName(), length == 511 ? path : "") << length;
    }
}

TEST(clsFileMove, FirstMoveComparesFileSystems)
{
    WorkDir work;
    writeFile(work / "a.txt", "a");
    fakes::RecordingMessageBox boxes;
    clsFile f = fileAt(work / "a.txt");
    f.FirstMove(work.str("b.txt"));
    EXPECT_TRUE(fs::exists(work / "b.txt"));
    EXPECT_TRUE(boxes.shown.empty());
    f.FileName(work.str("b.txt"));
    f.FirstMove("/proc/b.txt");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "移動元と移動先のﾄﾞﾗｲﾌﾞは同じである必用があります");
    EXPECT_EQ(boxes.shown[0].caption, "ﾌｧｲﾙ制御ｸﾗｽﾗｲﾌﾞﾗﾘ");
    EXPECT_EQ(boxes.shown[0].buttons, platform::MbOkOnly);
    EXPECT_EQ(readFile(work / "b.txt"), "a");
    writeFile(work / "c.txt", "c");
    f.FirstMove(work.str("c.txt"));
    EXPECT_EQ(readFile(work / "c.txt"), "c") << "never replaces";
    EXPECT_EQ(readFile(work / "b.txt"), "a");
    // A folder that does not exist: its nearest existing parent's file system.
    f.FirstMove(work.str("missing/deeper/b.txt"));
    EXPECT_EQ(boxes.shown.size(), 1u) << "the same file system";
    EXPECT_EQ(readFile(work / "b.txt"), "a");
    f.FirstMove("/proc/missing/b.txt");
    EXPECT_EQ(boxes.shown.size(), 2u) << "another file system";
}

TEST(clsFileShell, TrashCopyMoveAndRenameOnDisk)
{
    WorkDir work;
    writeFile(work / "a.txt", "a");
    writeFile(work / "taken.txt", "taken");
    clsFile f = fileAt(work / "a.txt");
    f.FileCopy(work.str("copy.txt"));
    EXPECT_EQ(readFile(work / "copy.txt"), "a");
    f.FileCopy(work.str("taken.txt"));
    EXPECT_EQ(readFile(work / "taken.txt"), "taken") << "flags 68 never overwrite";
    f.Rename(work.str("renamed.txt"));
    f.FileName(work.str("renamed.txt"));
    fs::create_directory(work / "dir");
    f.Move(work.str("dir"));
    EXPECT_EQ(readFile(work / "dir" / "renamed.txt"), "a");
    f.FileName(work.str("dir/renamed.txt"));
    f.Trash();
    EXPECT_FALSE(fs::exists(work / "dir" / "renamed.txt"));
    EXPECT_EQ(readFile(trashFiles() / "renamed.txt"), "a");
}
#else
TEST(clsFileMove, FirstMoveComparesTheFirstThreeCharactersExactly)
{
    WorkDir work;
    fakes::RecordingMessageBox boxes;
    clsFile f;
    writeFile(work / "a.txt", "a");
    f.FileName(u8(work / "a.txt"));
    std::string other = u8(work / "b.txt");
    other[0] = static_cast<char>(
        std::tolower(other[0]) == other[0] ? std::toupper(other[0]) : std::tolower(other[0]));
    f.FirstMove(other);
    ASSERT_EQ(boxes.shown.size(), 1u) << "drive letters in another case differ";
    EXPECT_EQ(boxes.shown[0].text, "移動元と移動先のﾄﾞﾗｲﾌﾞは同じである必用があります");
    EXPECT_TRUE(fs::exists(work / "a.txt"));
    f.FirstMove(u8(work / "b.txt"));
    EXPECT_EQ(readFile(work / "b.txt"), "a");
}
#endif

TEST(clsFileShell, HandsOperationsToTheShellWithFlags68)
{
    WorkDir work;
    writeFile(work / "a.txt", "x");
    OneWindow windows;
    RecordingFileOperation operations;
    fakes::RecordingShell shell;
    clsFile f = fileAt(work / "a.txt");
    f.Trash();
    f.FileCopy("to1");
    f.Move("to2");
    f.Rename("to3");
    f.Execute();
    const std::uint32_t functions[] = { 3, 2, 1, 4 };
    const char *targets[] = { "", "to1", "to2", "to3" };
    ASSERT_EQ(operations.requests.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const auto &r = operations.requests[i];
        EXPECT_EQ(r.function, functions[i]);
        EXPECT_EQ(r.flags, 68);
        EXPECT_EQ(r.ownerWindow, windows.desktop);
        EXPECT_EQ(r.from, u8(work / "a.txt"));
        EXPECT_EQ(r.to, targets[i]);
    }
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, u8(work / "a.txt"));
    EXPECT_EQ(shell.opened[0].second, 1);
}

// Version resources of the sample images: the same texts from our reader on
// Linux and from the system's under Wine.
TEST(clsFileVersion, SampleImages)
{
    struct Row
    {
        const char *file;
        const char *fileVersion;
        const char *productVersion;
        const char *type;
        const char *subtype;
        const char *os;
        const char *build;
        bool executable;
    };
    const Row rows[] = {
        { "app64.exe", "1.2.3.15", "1.2.0.40000", "ｱﾌﾟﾘｹｰｼｮﾝ", "不明", "32bit Windows NT", "不明",
            true },
        { "lib32.dll", "4.0.40000.7", "4.0.0.0", "ﾀﾞｲﾅﾐｯｸﾘﾝｸﾗｲﾌﾞﾗﾘ", "不明", "32bit Windows",
            "ﾃﾞﾊﾞｯｸﾞﾋﾞﾙﾄﾞ", false },
        { "driver64.dll", "65535.65535.65535.65535", "10.20.30.40", "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ", "ﾈｯﾄﾜｰｸﾄﾞﾗｲﾊﾞ",
            "DOS上の32bit Windows", "不明", false },
        { "font32.exe", "0.0.0.0", "0.0.0.1", "ﾌｫﾝﾄ", "ﾄｩﾙｰﾀｲﾌﾟﾌｫﾝﾄ",
            "32bit OS/2上のPresentation Manager", "ｽﾍﾟｼｬﾙﾋﾞﾙﾄﾞ", true },
        { "printer64.exe", "2.0.0.0", "2.0.0.0", "ﾃﾞﾊﾞｲｽﾄﾞﾗｲﾊﾞ", "", "", "", true },
        { "plain32.exe", "", "", "不明", "不明", "不明", "不明", true },
        { "plain64.dll", "", "", "不明", "不明", "不明", "不明", false },
    };
    for (const auto &row : rows) {
        clsFile f = fileAt(sampleImages() / row.file);
        ASSERT_TRUE(f.Enabled()) << row.file;
        EXPECT_EQ(f.FileVersion(), row.fileVersion) << row.file;
        EXPECT_EQ(f.ProductVersion(), row.productVersion) << row.file;
        EXPECT_EQ(f.FileType(), row.type) << row.file;
        EXPECT_EQ(f.FileSubtype(), row.subtype) << row.file;
        EXPECT_EQ(f.FileOS(), row.os) << row.file;
        EXPECT_EQ(f.BuildType(), row.build) << row.file;
        EXPECT_EQ(f.Executable(), row.executable) << row.file;
    }
}

TEST(clsFileVersion, FilesWithoutVersionResource)
{
    WorkDir work;
    writeFile(work / "text.txt", "MZ but nothing else");
    const std::string app = readFile(sampleImages() / "app64.exe");
    writeFile(work / "cut.exe", app.substr(0, 1024));
    std::vector<fs::path> files = { work / "text.txt", work / "cut.exe" };
#ifndef _WIN32
    files.emplace_back("/proc/self/exe");
#endif
    for (const auto &name : files) {
        clsFile f = fileAt(name);
        EXPECT_EQ(f.FileVersion(), "") << name;
        EXPECT_EQ(f.ProductVersion(), "") << name;
        EXPECT_EQ(f.FileType(), "不明") << name;
        EXPECT_EQ(f.FileSubtype(), "不明") << name;
        EXPECT_EQ(f.FileOS(), "不明") << name;
        EXPECT_EQ(f.BuildType(), "不明") << name;
    }
}

} // namespace
