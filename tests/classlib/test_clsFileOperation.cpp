// The shell file-operation class: its option bits through a recorder, and
// real copies, moves, renames, deletions and the trash on disk.
#include "classlib/clsFileOperation.h"
#include "classlib/file_test_support.h"
#include "platform/environment.h"
#ifndef _WIN32
#include "platform/linux/writer_leftovers.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#ifndef _WIN32
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

using namespace filetest;
namespace fs = std::filesystem;
constexpr char Sep = platform::DirSeparator;

TEST(clsFileOperationOptions, NewObjectShowsDialogsAndConfirmsFolders)
{
    clsFileOperation op;
    EXPECT_TRUE(op.ShowDialog());
    EXPECT_TRUE(op.ConfirmMakeDir());
    EXPECT_FALSE(op.RespondDialog());
    EXPECT_FALSE(op.RenameOnCollision());
    EXPECT_FALSE(op.SimpleProgress());
    EXPECT_FALSE(op.AllowUndo());
    EXPECT_FALSE(op.Sielnt());
    EXPECT_EQ(op.Target(), 0);
}

TEST(clsFileOperationOptions, EachPropertyIsOneBitOfTheShellFlags)
{
    struct Row
    {
        const char *name;
        std::function<void(clsFileOperation &, bool)> set;
        std::function<bool(const clsFileOperation &)> get;
        std::uint16_t bitWhenTrue; // 0: the bit is set by writing False
        std::uint16_t bit;
    };
    const Row rows[] = {
        { "RespondDialog", [](auto &o, bool v) { o.RespondDialog(v); },
            [](auto &o) { return o.RespondDialog(); }, 16, 16 },
        { "RenameOnCollision", [](auto &o, bool v) { o.RenameOnCollision(v); },
            [](auto &o) { return o.RenameOnCollision(); }, 8, 8 },
        { "SimpleProgress", [](auto &o, bool v) { o.SimpleProgress(v); },
            [](auto &o) { return o.SimpleProgress(); }, 256, 256 },
        { "ConfirmMakeDir", [](auto &o, bool v) { o.ConfirmMakeDir(v); },
            [](auto &o) { return o.ConfirmMakeDir(); }, 0, 512 },
        { "ShowDialog", [](auto &o, bool v) { o.ShowDialog(v); },
            [](auto &o) { return o.ShowDialog(); }, 0, 4 },
        { "AllowUndo", [](auto &o, bool v) { o.AllowUndo(v); },
            [](auto &o) { return o.AllowUndo(); }, 64, 64 },
        { "Sielnt", [](auto &o, bool v) { o.Sielnt(v); }, [](auto &o) { return o.Sielnt(); }, 4,
            4 },
    };
    for (const auto &row : rows) {
        for (bool value : { true, false }) {
            RecordingFileOperation recorder;
            clsFileOperation op;
            row.set(op, value);
            EXPECT_EQ(row.get(op), value) << row.name;
            ASSERT_TRUE(op.Move("a", "b"));
            const bool bitSet = (row.bitWhenTrue != 0) == value;
            EXPECT_EQ(recorder.requests.at(0).flags, bitSet ? row.bit : 0) << row.name << value;
        }
    }
}

TEST(clsFileOperationOptions, SielntAndShowDialogAreOneBit)
{
    clsFileOperation op;
    op.Sielnt(true);
    EXPECT_FALSE(op.ShowDialog());
    op.ShowDialog(true);
    EXPECT_FALSE(op.Sielnt());
}

TEST(clsFileOperationOptions, CopyResetsTheOptionsToSilentAlone)
{
    RecordingFileOperation recorder;
    clsFileOperation op;
    op.AllowUndo(true);
    op.RenameOnCollision(true);
    op.RespondDialog(true);
    op.SimpleProgress(true);
    op.ConfirmMakeDir(false);
    EXPECT_TRUE(op.Copy("a", "b"));
    EXPECT_EQ(recorder.requests.at(0).flags, platform::FofSilent);
    EXPECT_FALSE(op.AllowUndo());
    EXPECT_FALSE(op.RenameOnCollision());
    EXPECT_FALSE(op.RespondDialog());
    EXPECT_FALSE(op.SimpleProgress());
    EXPECT_TRUE(op.ConfirmMakeDir());
    EXPECT_TRUE(op.Sielnt());
}

TEST(clsFileOperationOptions, RequestsCarryPathsCodesAndOwner)
{
    OneWindow windows;
    RecordingFileOperation recorder;
    clsFileOperation op;
    op.Target(windows.window);
    op.RespondDialog(true);
    const std::string dir = std::string("x") + Sep + "dir" + Sep;
    EXPECT_TRUE(op.Delete(dir + Sep));
    EXPECT_TRUE(op.Rename(dir, "y"));
    EXPECT_TRUE(op.Move(dir, "z"));
    recorder.answer = 1223;
    EXPECT_FALSE(op.Copy(dir, "w"));
    EXPECT_FALSE(op.Trash(dir));
    const auto &r = recorder.requests;
    ASSERT_EQ(r.size(), 5u);
    // Delete and Copy drop one trailing separator; Rename and Move pass paths unchanged.
    EXPECT_EQ(r[0].from, dir);
    EXPECT_EQ(r[0].function, platform::FoDelete);
    EXPECT_EQ(r[0].to, "");
    EXPECT_EQ(r[1].from, dir);
    EXPECT_EQ(r[1].function, platform::FoRename);
    EXPECT_EQ(r[2].function, platform::FoMove);
    EXPECT_EQ(r[2].to, "z");
    EXPECT_EQ(r[3].from, dir.substr(0, dir.size() - 1));
    EXPECT_EQ(r[3].function, platform::FoCopy);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r[i].ownerWindow, windows.window) << i;
    }
    // Trash: the desktop as owner and allow-undo + silent, whatever Target and the options say.
    EXPECT_EQ(r[4].ownerWindow, windows.desktop);
    EXPECT_EQ(r[4].flags, 68);
    EXPECT_EQ(r[4].function, platform::FoDelete);
    EXPECT_EQ(r[4].from, dir);
}

TEST(clsFileOperationOptions, TheGrammarNamesTheSeparatorDropped)
{
    RecordingFileOperation recorder;
    clsFileOperation windows(PathGrammar::Windows);
    clsFileOperation posix(PathGrammar::Posix);
    windows.Delete("C:\\dir\\");
    windows.Copy("a/", "b");
    posix.Delete("/dir/");
    posix.Copy("C:\\dir\\", "b");
    const auto &r = recorder.requests;
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].from, "C:\\dir");
    EXPECT_EQ(r[1].from, "a/");
    EXPECT_EQ(r[2].from, "/dir");
    EXPECT_EQ(r[3].from, "C:\\dir\\");
    EXPECT_EQ(clsFileOperation().Grammar(), PathGrammar::Native);
}

TEST(clsFileOperationOptions, TargetKeepsOnlyWindows)
{
    clsFileOperation op;
    {
        OneWindow windows;
        op.Target(windows.window);
        EXPECT_EQ(op.Target(), windows.window);
        op.Target(0x7123456);
        EXPECT_EQ(op.Target(), 0) << "a made-up handle is refused";
    }
    const std::int32_t desktop = platform::windowHandles().desktopWindow();
    op.Target(desktop);
#ifdef _WIN32
    EXPECT_NE(desktop, 0);
    EXPECT_EQ(op.Target(), desktop) << "the system's desktop window is a window";
#else
    EXPECT_EQ(op.Target(), 0) << "no window layer: no handle is a window";
    op.Target(0x2A0040);
    EXPECT_EQ(op.Target(), 0);
#endif
}

// Real operations. Rows run under Wine only where its shell works without a
// display: with no confirmation (16); elsewhere it would ask and abort.
class clsFileOperationDisk : public ::testing::Test
{
protected:
    WorkDir work;
    clsFileOperation op;
    void SetUp() override { op.RespondDialog(true); }
    void makeTree(const fs::path &top)
    {
        fs::create_directories(top / "sub" / "deeper");
        writeFile(top / "a.txt", "alpha");
        writeFile(top / "b.dat", "beta");
        writeFile(top / "sub" / "c.txt", "gamma");
        writeFile(top / "sub" / "deeper" / "d.txt", "delta");
    }
};

TEST_F(clsFileOperationDisk, CopyMoveRenameAndDeleteFoldersAndFiles)
{
    makeTree(work / "src");
    const auto written = fs::last_write_time(work / "src" / "a.txt") - std::chrono::hours(50);
    fs::last_write_time(work / "src" / "a.txt", std::chrono::floor<std::chrono::seconds>(written));
    const auto before = listTree(work / "src");
    ASSERT_TRUE(op.Copy(work.str("src") + Sep, work.str("copy")));
    EXPECT_EQ(listTree(work / "copy"), before);
    EXPECT_EQ(
        fs::last_write_time(work / "copy" / "a.txt"), fs::last_write_time(work / "src" / "a.txt"))
        << "a copy keeps the last write time";
    op.RespondDialog(true);
    ASSERT_TRUE(op.Move(work.str("copy"), work.str("moved")));
    EXPECT_FALSE(fs::exists(work / "copy"));
    EXPECT_EQ(listTree(work / "moved"), before);
    ASSERT_TRUE(op.Rename(work.str("moved/a.txt"), work.str("moved/renamed.txt")));
    EXPECT_EQ(readFile(work / "moved" / "renamed.txt"), "alpha");
    // A folder path ending in a separator is deleted with everything in it.
    ASSERT_TRUE(op.Delete(work.str("moved") + Sep));
    EXPECT_FALSE(fs::exists(work / "moved"));
    EXPECT_EQ(listTree(work / "src"), before);
    // Copy into an existing folder puts the item inside it.
    fs::create_directory(work / "into");
    ASSERT_TRUE(op.Copy(work.str("src"), work.str("into")));
    EXPECT_EQ(listTree(work / "into" / "src"), before);
}

TEST_F(clsFileOperationDisk, WildcardsInTheFileNamePart)
{
    makeTree(work / "src");
    fs::create_directory(work / "txt");
    ASSERT_TRUE(op.Copy(work.str("src") + Sep + "*.txt", work.str("txt")));
    EXPECT_EQ(listTree(work / "txt"), std::vector<std::string>({ "a.txt = alpha" }));
    op.RespondDialog(true);
    ASSERT_TRUE(op.Delete(work.str("src") + Sep + "?.dat"));
    EXPECT_FALSE(fs::exists(work / "src" / "b.dat"));
    EXPECT_TRUE(fs::exists(work / "src" / "a.txt"));
    ASSERT_TRUE(op.Delete(work.str("src") + Sep + "*.*"));
    EXPECT_TRUE(fs::is_empty(work / "src"));
    EXPECT_FALSE(op.Delete(work.str("missing.txt")));
}

TEST_F(clsFileOperationDisk, OverwritesOnlyWithNoConfirmation)
{
    writeFile(work / "new.txt", "new");
    writeFile(work / "old.txt", "old");
    ASSERT_TRUE(op.Move(work.str("new.txt"), work.str("old.txt")));
    EXPECT_EQ(readFile(work / "old.txt"), "new");
    EXPECT_FALSE(fs::exists(work / "new.txt"));
}

#ifndef _WIN32
// Linux-only rows: Wine's shell asks (and, without a display, aborts) for
// operations without flag 16, including the trash with flags 68, and it has
// no rename-on-collision.

TEST_F(clsFileOperationDisk, WildcardsThatMatchNothingOrNeedANewFolder)
{
    // Wine answers success for a pattern without matches; Windows and we fail.
    makeTree(work / "src");
    EXPECT_FALSE(op.Delete(work.str("src") + Sep + "*.none"));
    // Windows would ask before making the folder (no flag 512); we make it.
    ASSERT_TRUE(op.Copy(work.str("src") + Sep + "*.dat", work.str("new/dat")));
    EXPECT_EQ(listTree(work / "new"), std::vector<std::string>({ "dat/", "dat/b.dat = beta" }));
}

TEST_F(clsFileOperationDisk, DestinationInsideSourceFails)
{
    // Wine's shell moves and copies a folder into itself; Windows refuses, as we do.
    makeTree(work / "src");
    const auto before = listTree(work / "src");
    EXPECT_FALSE(op.Move(work.str("src"), work.str("src/sub/inner")));
    EXPECT_FALSE(op.Copy(work.str("src"), work.str("src/sub")));
    EXPECT_EQ(listTree(work / "src"), before);
}

TEST_F(clsFileOperationDisk, WithoutNoConfirmationAnExistingDestinationIsRefused)
{
    writeFile(work / "mine.txt", "keep me");
    writeFile(work / "other.txt", "other");
    fs::create_directories(work / "dir" / "x");
    EXPECT_FALSE(op.Copy(work.str("other.txt"), work.str("mine.txt")));
    op.RespondDialog(false);
    EXPECT_FALSE(op.Move(work.str("other.txt"), work.str("mine.txt")));
    EXPECT_FALSE(op.Rename(work.str("other.txt"), work.str("mine.txt")));
    op.RespondDialog(true);
    EXPECT_FALSE(op.Rename(work.str("other.txt"), work.str("mine.txt"))) << "rename never replaces";
    EXPECT_EQ(readFile(work / "mine.txt"), "keep me");
    fs::create_directory(work / "dir" / "other.txt");
    EXPECT_FALSE(op.Move(work.str("other.txt"), work.str("dir"))) << "a file onto a folder";
    EXPECT_FALSE(op.Move(work.str("dir"), work.str("mine.txt"))) << "a folder onto a file";
    EXPECT_TRUE(fs::is_directory(work / "dir" / "x"));
    EXPECT_FALSE(op.Move(work.str("other.txt"), work.str("other.txt"))) << "onto itself";
    EXPECT_EQ(readFile(work / "other.txt"), "other");
}

TEST_F(clsFileOperationDisk, RenameOnCollisionPicksAFreeName)
{
    writeFile(work / "a.txt", "first");
    fs::create_directory(work / "to");
    writeFile(work / "to" / "a.txt", "there");
    writeFile(work / "to" / "a (2).txt", "there too");
    op.RespondDialog(false);
    op.RenameOnCollision(true);
    ASSERT_TRUE(op.Move(work.str("a.txt"), work.str("to")));
    EXPECT_EQ(readFile(work / "to" / "a (3).txt"), "first");
    EXPECT_EQ(readFile(work / "to" / "a.txt"), "there");
    // One file is no collision: refused as without flag 8, nothing renamed.
    fs::create_hard_link(work / "to" / "a.txt", work / "to" / "hard.txt");
    EXPECT_FALSE(op.Move(work.str("to/a.txt"), work.str("to/a.txt")));
    EXPECT_FALSE(op.Move(work.str("to/a.txt"), work.str("to/hard.txt")));
    EXPECT_FALSE(fs::exists(work / "to" / "a (4).txt"));
    EXPECT_FALSE(fs::exists(work / "to" / "hard (2).txt"));
    fs::create_directory(work / "folder");
    ASSERT_TRUE(op.Rename(work.str("folder"), work.str("to")));
    EXPECT_TRUE(fs::is_directory(work / "to (2)"));
}

TEST_F(clsFileOperationDisk, FolderMergeWithNoConfirmationKeepsOtherFiles)
{
    makeTree(work / "src");
    fs::create_directories(work / "dst" / "src" / "sub");
    writeFile(work / "dst" / "src" / "a.txt", "old alpha");
    writeFile(work / "dst" / "src" / "sub" / "only-here.txt", "stays");
    ASSERT_TRUE(op.Move(work.str("src"), work.str("dst")));
    EXPECT_FALSE(fs::exists(work / "src"));
    EXPECT_EQ(listTree(work / "dst" / "src"),
        std::vector<std::string>({ "a.txt = alpha", "b.dat = beta", "sub/", "sub/c.txt = gamma",
            "sub/deeper/", "sub/deeper/d.txt = delta", "sub/only-here.txt = stays" }));
}

TEST_F(clsFileOperationDisk, LinksAreCopiedAsLinksNeverFollowed)
{
    makeTree(work / "src");
    writeFile(work / "outside.txt", "outside");
    fs::create_symlink("../outside.txt", work / "src" / "out-link");
    fs::create_symlink("nowhere", work / "src" / "dangling");
    fs::create_symlink("loop2", work / "src" / "loop1");
    fs::create_symlink("loop1", work / "src" / "loop2");
    fs::create_directory_symlink(work.path(), work / "src" / "up");
    const auto before = listTree(work / "src");
    ASSERT_TRUE(op.Copy(work.str("src"), work.str("copy")));
    EXPECT_EQ(listTree(work / "copy"), before);
    op.RespondDialog(true);
    ASSERT_TRUE(op.Delete(work.str("copy/up")));
    EXPECT_TRUE(fs::exists(work / "src" / "a.txt")) << "deleting a link leaves its target";
    ASSERT_TRUE(op.Delete(work.str("copy")));
    EXPECT_EQ(readFile(work / "outside.txt"), "outside");
    EXPECT_TRUE(op.Trash(work.str("src/dangling")));
    EXPECT_TRUE(op.Trash(work.str("src/loop1")));
    EXPECT_TRUE(fs::is_symlink(trashFiles() / "loop1"));
}

TEST_F(clsFileOperationDisk, TrashWritesTrashInfoAndKeepsBothOfTwoNames)
{
    const std::string name = "a b\"c'\n-d 한글😀.txt";
    for (const char *content : { "one", "two" }) {
        fs::create_directories(work / "t");
        writeFile(work / "t" / name, content);
        ASSERT_TRUE(op.Trash(work.str("t/" + name)));
        EXPECT_FALSE(fs::exists(work / "t" / name));
    }
    fs::create_directories(work / "folder" / "in");
    ASSERT_TRUE(op.Trash(work.str("folder")));
    int found = 0;
    for (const auto &info : fs::directory_iterator(trashInfo())) {
        const std::string text = readFile(info.path());
        const std::string stem = u8(info.path().stem());
        if (text.find("/t/a%20b%22c%27%0A-d%20") == std::string::npos) {
            continue;
        }
        ++found;
        EXPECT_EQ(
            text.rfind("[Trash Info]\nPath=" + u8(work.path()) + "/t/a%20b%22c%27%0A-d%20", 0), 0u)
            << text;
        EXPECT_NE(text.find("\nDeletionDate="), std::string::npos);
        const auto date = text.substr(text.find("DeletionDate=") + 13, 19);
        EXPECT_EQ(date.size(), 19u);
        EXPECT_EQ(date[4], '-');
        EXPECT_EQ(date[10], 'T');
        EXPECT_TRUE(fs::exists(trashFiles() / info.path().stem())) << stem;
    }
    EXPECT_EQ(found, 2);
    EXPECT_TRUE(fs::exists(trashFiles() / "folder" / "in"));
}

TEST_F(clsFileOperationDisk, AwkwardNamesMoveCopyAndDelete)
{
    const std::string names[] = { "with blank.txt", "\"quoted\".txt", "'single'", "new\nline",
        "-leading-dash", "--", "한국어", "𠀋😀", "back\\slash", "semi;colon&amp|pipe$(x)" };
    for (const auto &name : names) {
        writeFile(work / name, name);
        ASSERT_TRUE(op.Copy(work.str(name), work.str("c " + name))) << name;
        op.RespondDialog(true);
        ASSERT_TRUE(op.Move(work.str("c " + name), work.str("m " + name))) << name;
        ASSERT_TRUE(op.Rename(work.str("m " + name), work.str("r " + name))) << name;
        EXPECT_EQ(readFile(work / ("r " + name)), name);
        ASSERT_TRUE(op.Delete(work.str("r " + name))) << name;
        EXPECT_EQ(readFile(work / name), name);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path()), fs::directory_iterator()),
        static_cast<std::ptrdiff_t>(std::size(names)));
}

TEST_F(clsFileOperationDisk, OverlongNamesFailWithoutHarm)
{
    writeFile(work / "short.txt", "short");
    const std::string longName(300, 'n');
    std::string deep = work.str("");
    while (deep.size() < 5000) {
        deep += "/" + std::string(200, 'd');
    }
    EXPECT_FALSE(op.Copy(work.str("short.txt"), work.str(longName)));
    op.RespondDialog(true);
    EXPECT_FALSE(op.Move(work.str("short.txt"), deep + "/x.txt"));
    EXPECT_FALSE(op.Delete(deep));
    EXPECT_FALSE(op.Trash(work.str(longName)));
    EXPECT_EQ(readFile(work / "short.txt"), "short");
}

/// listTree without the contents: a failure shows names, not megabytes.
std::vector<std::string> namesIn(const fs::path &folder)
{
    auto entries = listTree(folder);
    for (auto &entry : entries) {
        entry = entry.substr(0, entry.find(" = "));
    }
    return entries;
}

// Runs @p body in a child process, as an unprivileged user when @p unprivileged
// and this one is root; returns the child's exit status (0: every check passed).
int inChild(const std::function<bool()> &body, bool unprivileged = false)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0
            && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int asUnprivileged(const std::function<bool()> &body)
{
    return inChild(body, true);
}

TEST_F(clsFileOperationDisk, WithoutPermissionNothingIsLostOrHalfDone)
{
    makeTree(work / "src");
    fs::create_directories(work / "src" / "zlocked");
    writeFile(work / "src" / "zlocked" / "secret.txt", "secret");
    fs::create_directories(work / "ro" / "dir");
    writeFile(work / "ro" / "stuck.txt", "stuck");
    writeFile(work / "ro" / "dir" / "inner.txt", "inner");
    // A tree whose read-only subfolder cannot be emptied.
    fs::create_directories(work / "tree" / "rosub");
    for (const char *name : { "a.txt", "b.txt", "rosub/c.txt", "z.txt" }) {
        writeFile(work / "tree" / name, name);
    }
    const auto tree = listTree(work / "tree");
    fs::create_directories(work / "out");
    fs::permissions(work / "src" / "zlocked", fs::perms::none);
    for (const char *open : { "ro/dir", "tree" }) {
        fs::permissions(work / open, fs::perms::all);
    }
    fs::permissions(work / "tree" / "rosub",
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
            | fs::perms::others_exec);
    fs::permissions(work / "ro",
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
            | fs::perms::others_exec);
    fs::permissions(work / "out", fs::perms::all);
    fs::permissions(work.path(), fs::perms::all);
    std::error_code ignored;
    fs::permissions(trashFiles().parent_path().parent_path(), fs::perms::all, ignored);
    const int status = asUnprivileged([&] {
        clsFileOperation child;
        // Copying a tree with an unreadable folder fails and leaves no partial copy.
        bool ok = !child.Copy(work.str("src"), work.str("out/copy"));
        ok = ok && !fs::exists(work / "out" / "copy");
        child.RespondDialog(true);
        ok = ok && !child.Move(work.str("ro/stuck.txt"), work.str("out/stuck.txt"));
        ok = ok && !child.Delete(work.str("ro/stuck.txt"));
        ok = ok && !child.Trash(work.str("ro/stuck.txt"));
        // A folder that cannot go, or holds one that cannot, is never emptied first.
        ok = ok && !child.Delete(work.str("ro/dir")) && !child.Delete(work.str("tree"));
        return ok;
    });
    fs::permissions(work / "tree" / "rosub", fs::perms::owner_all);
    EXPECT_EQ(listTree(work / "tree"), tree);
    EXPECT_EQ(readFile(work / "ro" / "dir" / "inner.txt"), "inner");
    fs::permissions(work / "src" / "zlocked", fs::perms::owner_all);
    fs::permissions(work / "ro", fs::perms::owner_all);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(work / "ro" / "stuck.txt"), "stuck");
    EXPECT_EQ(readFile(work / "src" / "zlocked" / "secret.txt"), "secret");
    if (fs::exists(trashInfo())) {
        for (const auto &info : fs::directory_iterator(trashInfo())) {
            EXPECT_EQ(readFile(info.path()).find("stuck.txt"), std::string::npos)
                << "no .trashinfo left for a file that stayed";
        }
    }
}

// A folder on /dev/shm, a memory file system, where a move from the work
// folder is a copy and a removal; removed with everything in it afterwards.
class OtherFileSystem
{
public:
    explicit OtherFileSystem(const WorkDir &work)
    {
        struct stat here
        { };
        struct stat there
        { };
        if (::stat("/dev/shm", &there) != 0 || ::stat(work.path().c_str(), &here) != 0
            || here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0) {
            return;
        }
        path_ = fs::path("/dev/shm")
            / ("portprobe-" + work.path().filename().string() + "-" + std::to_string(::getpid()));
        fs::create_directory(path_);
        fs::permissions(path_, fs::perms::all);
    }
    ~OtherFileSystem()
    {
        std::error_code ec;
        if (!path_.empty()) {
            fs::remove_all(path_, ec);
        }
    }
    bool available() const { return !path_.empty(); }
    fs::path operator/(const std::string &name) const { return path_ / name; }

private:
    fs::path path_;
};

TEST_F(clsFileOperationDisk, MovesAcrossFileSystemsAreWholeOrNotAtAll)
{
    const OtherFileSystem other(work);
    if (!other.available()) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    makeTree(work / "src");
    fs::create_symlink("a.txt", work / "src" / "link");
    const auto before = listTree(work / "src");
    ASSERT_TRUE(op.Move(work.str("src"), u8(other / "moved")));
    EXPECT_EQ(listTree(other / "moved"), before);
    EXPECT_FALSE(fs::exists(work / "src"));
    // One unreadable folder: nothing arrives and nothing leaves.
    makeTree(work / "src2");
    fs::create_directory(work / "src2" / "zlocked");
    writeFile(work / "src2" / "zlocked" / "x.txt", "x");
    fs::permissions(work / "src2" / "zlocked", fs::perms::none);
    fs::permissions(work.path(), fs::perms::all);
    fs::permissions(work / "src2", fs::perms::all);
    const int status = asUnprivileged([&] {
        clsFileOperation child;
        child.RespondDialog(true);
        return !child.Move(work.str("src2"), u8(other / "failed")) && !fs::exists(other / "failed");
    });
    fs::permissions(work / "src2" / "zlocked", fs::perms::owner_all);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(work / "src2" / "zlocked" / "x.txt"), "x");
    EXPECT_EQ(readFile(work / "src2" / "sub" / "deeper" / "d.txt"), "delta");
}

TEST_F(clsFileOperationDisk, MoveAcrossFileSystemsKeepsWhatArrivesMeanwhile)
{
    const OtherFileSystem other(work);
    if (!other.available()) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    // A writer adds files and appends to a log while the folder moves away.
    fs::create_directories(work / "src" / "bulk");
    for (int i = 0; i < 400; ++i) {
        writeFile(work / "src" / "bulk" / std::to_string(i), std::string(512, 'b'));
    }
    writeFile(work / "src" / "log", "");
    std::atomic<int> made { 0 };
    std::atomic<bool> stop { false };
    std::string logged;
    std::thread writer([&] {
        for (int i = 0; !stop && i < 1500; ++i) {
            const auto name = work / "src" / ("new" + std::to_string(i));
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            const int log = ::open((work / "src" / "log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            const std::string line = std::to_string(i) + "\n";
            const bool wrote =
                log >= 0 && ::write(log, line.data(), line.size()) == ssize_t(line.size());
            if (fd >= 0) {
                ::close(fd);
                made = i + 1;
            }
            if (log >= 0) {
                ::close(log);
            }
            if (fd < 0 || !wrote) {
                break; // the folder or the log has gone
            }
            logged += line;
        }
    });
    while (made < 20) {
        std::this_thread::yield();
    }
    const bool moved = op.Move(work.str("src"), u8(other / "moved"));
    stop = true;
    writer.join();
    EXPECT_EQ(moved, !fs::exists(work / "src")) << "a move that left anything fails";
    for (int i = 0; i < made; ++i) {
        const std::string name = "new" + std::to_string(i);
        EXPECT_TRUE(fs::exists(work / "src" / name) || fs::exists(other / "moved" / name)) << name;
    }
    const fs::path log =
        fs::exists(work / "src" / "log") ? work / "src" / "log" : other / "moved" / "log";
    EXPECT_EQ(readFile(log), logged) << "the growing log is whole where it stays";
    EXPECT_EQ(listTree(other / "moved" / "bulk").size(), 400u);
}

TEST_F(clsFileOperationDisk, WalksNeverFollowAFolderSwappedForALink)
{
    // The folder outside has the names the swapped folder has: a walk through
    // the link would find and touch them.
    fs::create_directory(work / "outside");
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("f" + std::to_string(i));
        writeFile(work / "outside" / names.back(), "outside");
    }
    const auto outside = listTree(work / "outside");
    const fs::path tree = work / "tree";
    for (int round = 0; round < 10; ++round) {
        fs::create_directories(tree / "sub");
        for (const auto &name : names) {
            writeFile(tree / "sub" / name, "inside");
        }
        std::atomic<bool> stop { false };
        std::thread swapper([&] {
            while (!stop) {
                ::rename((tree / "sub").c_str(), (tree / "real").c_str());
                ::symlink((work / "outside").c_str(), (tree / "sub").c_str());
                ::unlink((tree / "sub").c_str());
                ::rename((tree / "real").c_str(), (tree / "sub").c_str());
            }
        });
        const fs::path copy = work / ("copy" + std::to_string(round));
        op.Copy(u8(tree), u8(copy));
        op.Delete(u8(tree));
        stop = true;
        swapper.join();
        for (const auto &entry : listTree(copy)) {
            EXPECT_EQ(entry.find(" = outside"), std::string::npos) << entry;
        }
        ASSERT_EQ(listTree(work / "outside"), outside) << "round " << round;
        fs::remove_all(tree);
        fs::remove_all(copy);
    }
}

TEST_F(clsFileOperationDisk, DeleteResolvesDotsAndRefusesTheCurrentFolder)
{
    // "d/." is d and "x/.." x's parent, as the Windows shell reads them.
    makeTree(work / "d");
    ASSERT_TRUE(op.Delete(work.str("d/.")));
    EXPECT_FALSE(fs::exists(work / "d"));
    makeTree(work / "p" / "x");
    ASSERT_TRUE(op.Delete(work.str("p/x/..")));
    EXPECT_FALSE(fs::exists(work / "p"));
    // A process stands in its current folder: it and the folders holding it stay whole.
    makeTree(work / "cwd" / "here");
    const auto before = listTree(work.path());
    const int status = inChild([&] {
        if (::chdir(work.str("cwd/here").c_str()) != 0) {
            return false;
        }
        clsFileOperation child;
        for (const char *path : { ".", "./", "..", "../here", "sub/..", "sub/deeper/../../." }) {
            if (child.Delete(path)) {
                return false;
            }
        }
        // A link to it is only a link.
        fs::create_directory_symlink(work / "cwd" / "here", work / "link");
        return !child.Delete(work.str("cwd")) && child.Delete(work.str("link"))
            && !fs::exists(work / "link");
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listTree(work.path()), before);
}

TEST_F(clsFileOperationDisk, DeleteRefusesFileSystemRootsAndMountPoints)
{
    // In a mount namespace of its own: a memory file system and a bind mount
    // inside the work folder, then a chroot there for the root itself.
    const fs::path jail = work / "jail";
    makeTree(jail);
    fs::create_directories(jail / "mnt");
    fs::create_directories(jail / "bound");
    const auto before = listTree(jail);
    constexpr int NoNamespace = 77;
    const int status = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("none", (jail / "mnt").c_str(), "tmpfs", 0, nullptr) != 0
            || ::mount((jail / "sub").c_str(), (jail / "bound").c_str(), nullptr, MS_BIND, nullptr)
                != 0) {
            ::_exit(NoNamespace);
        }
        writeFile(jail / "mnt" / "on-tmpfs.txt", "mounted");
        clsFileOperation child;
        bool ok = !child.Delete(u8(jail / "mnt")) && !child.Delete(u8(jail / "mnt") + "/.")
            && !child.Delete(u8(jail / "bound")) && !child.Delete(u8(jail))
            && readFile(jail / "mnt" / "on-tmpfs.txt") == "mounted"
            && readFile(jail / "sub" / "c.txt") == "gamma";
        ok = ok && ::umount(u8(jail / "mnt").c_str()) == 0
            && ::umount(u8(jail / "bound").c_str()) == 0 && ::chroot(jail.c_str()) == 0;
        for (const char *root : { "/", "//", "/.", "/..", "/sub/..", "///." }) {
            ok = ok && !child.Delete(root);
        }
        return ok && readFile("/a.txt") == "alpha";
    });
    if (status == NoNamespace) {
        GTEST_SKIP() << "no mount namespace of our own here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listTree(jail), before);
}

TEST_F(clsFileOperationDisk, WildcardsAsTheWindowsShellReadsThem)
{
    const std::vector<std::string> all = { ".profile", "README", "a", "a.b.c", "a.txt", "ab",
        "ab.txt", "abc", "abc.txt" };
    fs::create_directory(work / "src");
    for (const auto &name : all) {
        writeFile(work / "src" / name, name);
    }
    writeFile(work / "src" / ".portprobe-part.tmp1.0", "another copy's part"); // never matched
    struct Row
    {
        const char *pattern;
        std::vector<std::string> names;
    };
    const Row rows[] = {
        { "*.", { "README", "a", "ab", "abc" } }, // no extension
        { "a?", { "a", "ab" } }, // a trailing "?" is one character or none
        { "a??", { "a", "ab", "abc" } },
        { "?", { "a" } },
        { "a?.txt", { "a.txt", "ab.txt" } }, // so is a "?" before the dot
        { "a?c", { "abc" } },
        { "*.*", all },
        { "*.c", { "a.b.c" } },
        { "?b*", { "ab", "ab.txt", "abc", "abc.txt" } },
    };
    int n = 0;
    for (const auto &row : rows) {
        const fs::path out = work / ("out" + std::to_string(++n));
        fs::create_directory(out);
        EXPECT_TRUE(op.Copy(work.str("src") + "/" + row.pattern, u8(out))) << row.pattern;
        std::vector<std::string> got;
        for (const auto &entry : fs::directory_iterator(out)) {
            got.push_back(u8(entry.path().filename()));
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, row.names) << row.pattern;
    }
}

TEST_F(clsFileOperationDisk, FullDiskLeavesNoPartialCopy)
{
    // A file-size limit makes writes fail as a full disk would. The source's
    // read-only folders are copied whole before the big file fails.
    fs::create_directories(work / "src");
    for (int i = 0; i < 8; ++i) {
        const fs::path ro = work / "src" / ("ro" + std::to_string(i));
        fs::create_directory(ro);
        writeFile(ro / "small.txt", "small");
        fs::permissions(ro,
            fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
                | fs::perms::others_exec);
    }
    writeFile(work / "src" / "big.bin", std::string(1 << 20, 'x'));
    writeFile(work / "big.bin", std::string(1 << 20, 'y'));
    writeFile(work / "target.bin", "precious");
    fs::create_directory(work / "out");
    fs::permissions(work.path(), fs::perms::all);
    fs::permissions(work / "out", fs::perms::all);
    const auto before = namesIn(work.path());
    const int status = asUnprivileged([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit { 64 * 1024, 64 * 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        // Nothing stays, the parent folders made for the copy included.
        bool ok = !clsFileOperation().Copy(work.str("src"), work.str("out/new/deeper/copy"));
        // The overwrite itself (Copy forces flags 4 and would refuse before any byte).
        platform::FileOperationRequest overwrite;
        overwrite.function = platform::FoCopy;
        overwrite.from = work.str("big.bin");
        overwrite.to = work.str("target.bin");
        overwrite.flags = platform::FofNoConfirmation | platform::FofSilent;
        return ok && platform::shellFileOperation().run(overwrite) != 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(work / "target.bin"), "precious") << "a failed overwrite keeps the old file";
    EXPECT_EQ(namesIn(work.path()), before) << "no stray temporary copies";
}

TEST_F(clsFileOperationDisk, AKilledCopyLeavesNoPartialFileUnderItsName)
{
    // SIGXFSZ kills the copier in the middle of a file, as kill -9 would.
    writeFile(work / "big.bin", std::string(1 << 20, 'x'));
    makeTree(work / "src");
    writeFile(work / "src" / "sub" / "big.bin", std::string(1 << 20, 'x'));
    fs::create_directory(work / "out");
    for (const char *name : { "big.bin", "src" }) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            rlimit noCore { 0, 0 };
            rlimit limit { 64 * 1024, 64 * 1024 };
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            clsFileOperation().Copy(work.str(name), work.str("out"));
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << name;
        EXPECT_FALSE(fs::exists(work / "out" / name)) << name;
    }
    if (const auto reason = noWriterMarks(work.path()); !reason.empty()) {
        GTEST_SKIP() << "leftovers unmarked, so kept: " << reason;
    }
    // The next operation into the folder removes the dead writers' leftovers.
    ASSERT_TRUE(op.Copy(work.str("src/a.txt"), work.str("out")));
    EXPECT_EQ(namesIn(work / "out"), std::vector<std::string>({ "a.txt" }));
}

// Only what a copy provably made goes as a leftover: an item of this user
// with a temporary name, marked by a writer that has ended (its ID gone, or
// now another process's). A user's folder of that name stays, modes and all.
TEST_F(clsFileOperationDisk, TheSweepTakesOnlyMarkedLeftoversOfEndedWriters)
{
    const pid_t dead = ::fork();
    if (dead == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const auto live = platform::runningWriter(::getppid());
    ASSERT_TRUE(live);
    platform::WriterMark gone = *live;
    gone.pid = static_cast<std::uint64_t>(dead);
    platform::WriterMark reused = *live;
    reused.started += 1;
    const auto part = [&](pid_t pid, int n) {
        return work / (".portprobe-part.tmp" + std::to_string(pid) + "." + std::to_string(n));
    };
    const fs::path mine = part(dead, 1);
    fs::create_directories(mine / "photos");
    writeFile(mine / "photos" / "a.jpg", "photo");
    ASSERT_EQ(::chmod((mine / "photos").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(mine.c_str(), 0750), 0);
    const auto photos = listTree(mine);
    struct Row
    {
        fs::path path;
        platform::WriterMark mark;
        bool folder;
        bool stays;
    };
    const Row rows[] = {
        { part(dead, 2), gone, true, false }, { part(dead, 3), gone, false, false },
        { part(::getppid(), 4), reused, true, false }, { part(::getppid(), 5), *live, true, true },
        { part(::getppid(), 6), gone, false, true }, // the mark names another writer
    };
    if (const auto reason = noWriterMarks(work.path()); !reason.empty()) {
        GTEST_SKIP() << "no user extended attributes here: " << reason;
    }
    for (const auto &row : rows) {
        if (row.folder) {
            fs::create_directories(row.path / "sub");
            writeFile(row.path / "sub" / "half", "half");
        } else {
            writeFile(row.path, "half");
        }
        const std::string text = row.mark.text();
        ASSERT_EQ(::setxattr(
                      row.path.c_str(), platform::WriterMarkAttribute, text.data(), text.size(), 0),
            0);
    }
    writeFile(work / "a.txt", "alpha");
    ASSERT_TRUE(op.Copy(work.str("a.txt"), work.str("a copy.txt")));
    for (const auto &row : rows) {
        EXPECT_EQ(fs::exists(row.path), row.stays) << row.path;
    }
    EXPECT_EQ(listTree(mine), photos);
    struct stat st
    { };
    EXPECT_TRUE(::stat(mine.c_str(), &st) == 0 && (st.st_mode & 07777) == 0750);
    EXPECT_TRUE(::stat((mine / "photos").c_str(), &st) == 0 && (st.st_mode & 07777) == 0555);
    ::chmod((mine / "photos").c_str(), 0755);
}
#endif

} // namespace
