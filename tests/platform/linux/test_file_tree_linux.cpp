// The shell's copy, move and delete on Linux where the tree itself is the
// hard part: what a move across file systems may remove, temporary names
// taken already, trees deeper than a path, entries the kernel will not let
// go, and what a copy keeps (owners, holes, hard links).
#include "common/platform_fakes.h"
#include "platform/linux/file_tree.h"
#include "platform/linux/shell_sources.h"
#include "platform/linux/writer_leftovers.h"
#include "platform/shell_file_operation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::UniqueFd;

std::int32_t shellRun(std::uint32_t function, const fs::path &from, const fs::path &to = {})
{
    platform::FileOperationRequest request;
    request.function = function;
    request.from = from.string();
    request.to = to.string();
    request.flags = platform::FofNoConfirmation | platform::FofSilent;
    return platform::shellFileOperation().run(request);
}

void writeFile(const fs::path &file, const std::string &content)
{
    std::ofstream(file, std::ios::binary) << content;
}

std::string readFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

/// Relative paths and contents under @p folder, sorted.
std::vector<std::string> listTree(const fs::path &folder)
{
    std::vector<std::string> entries;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        entries.push_back(entry.is_directory() ? name + "/" : name + " = " + readFile(entry));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(LinuxFileTree, CopiesPassOverTemporaryNamesTakenAlready)
{
    fakes::TempDir dir;
    fs::create_directories(dir.path() / "folder" / "in");
    writeFile(dir.path() / "folder" / "in" / "x.txt", "x");
    writeFile(dir.path() / "file.txt", "file");
    for (const char *source : { "file.txt", "folder" }) {
        // The next two names this process's copy would take, held by another writer.
        const std::string used = platform::writerTemporaryName(platform::shellop::TemporaryPrefix);
        const std::string stem = used.substr(0, used.rfind('.') + 1);
        const unsigned serial = std::stoul(used.substr(used.rfind('.') + 1));
        const fs::path theirFile = dir.path() / (stem + std::to_string(serial + 1));
        const fs::path theirFolder = dir.path() / (stem + std::to_string(serial + 2));
        writeFile(theirFile, "theirs");
        fs::create_directory(theirFolder);
        writeFile(theirFolder / "theirs.txt", "theirs");
        const fs::path copy = dir.path() / (std::string("copy-") + source);
        EXPECT_EQ(shellRun(platform::FoCopy, dir.path() / source, copy), 0) << source;
        if (fs::is_directory(dir.path() / source)) {
            EXPECT_EQ(listTree(copy), listTree(dir.path() / source));
        }
        EXPECT_EQ(readFile(theirFile), "theirs") << source;
        EXPECT_EQ(readFile(theirFolder / "theirs.txt"), "theirs") << source;
        fs::remove(theirFile);
        fs::remove_all(theirFolder);
    }
    EXPECT_EQ(readFile(dir.path() / "copy-file.txt"), "file");
    EXPECT_EQ(readFile(dir.path() / "copy-folder" / "in" / "x.txt"), "x");
}

TEST(LinuxFileTree, AMoveAcrossFileSystemsKeepsASameSizeRewriteWithItsOldWriteTime)
{
    fakes::TempDir dir;
    const fs::path src = dir.path() / "src";
    fs::create_directory(src);
    writeFile(src / "rewritten.txt", "before");
    writeFile(src / "copied.txt", "copied");
    const UniqueFd top = platform::tree::openFolder(AT_FDCWD, dir.str().c_str());
    struct stat st
    { };
    ASSERT_EQ(::fstatat(top.get(), "src", &st, AT_SYMLINK_NOFOLLOW), 0);
    platform::tree::CopyRecord record;
    ASSERT_EQ(platform::tree::copyNew(top.get(), "src", st, top.get(), "copy", &record), 0);
    // Change times move in clock ticks: a rewrite within the copy's tick would not show.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    struct stat old
    { };
    ASSERT_EQ(::stat((src / "rewritten.txt").c_str(), &old), 0);
    writeFile(src / "rewritten.txt", "after!");
    const timespec times[2] = { old.st_atim, old.st_mtim };
    ASSERT_EQ(::utimensat(AT_FDCWD, (src / "rewritten.txt").c_str(), times, 0), 0);
    EXPECT_EQ(platform::tree::removeCopied(top.get(), "src", record), ENOTEMPTY);
    EXPECT_EQ(readFile(src / "rewritten.txt"), "after!");
    EXPECT_FALSE(fs::exists(src / "copied.txt")) << "what is as copied goes";
}

// Runs @p body in a child process (a crash or a namespace stays there), as
// "nobody" with @p unprivileged; its exit status, 0 when every check passed.
int inChild(const std::function<bool()> &body, bool unprivileged = false)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged
            && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

/// A folder of its own on a memory file system where there is one (deep trees
/// are slow to make on disk), else under the temporary folder; removed with
/// everything in it, however deep, afterwards.
class ScratchDir
{
public:
    ScratchDir()
    {
        const bool shm = ::access("/dev/shm", W_OK | X_OK) == 0;
        path_ = (shm ? fs::path("/dev/shm") : fs::temp_directory_path())
            / ("portprobe-test-" + std::to_string(::getpid()) + "-" + std::to_string(++count_));
        fs::create_directory(path_);
    }
    ~ScratchDir()
    {
        const UniqueFd fd = platform::tree::openFolder(AT_FDCWD, path_.parent_path().c_str());
        platform::tree::removeTree(fd.get(), path_.filename().c_str(), true);
    }
    const fs::path &path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
    static inline int count_ = 0;
};

TEST(LinuxFileTree, TreesDeeperThanAPathAreCopiedAndDeletedNeverMerged)
{
    constexpr int Depth = 30000;
    ScratchDir dir;
    {
        UniqueFd fd = platform::tree::openFolder(AT_FDCWD, dir.str().c_str());
        for (int level = 0; level < Depth; ++level) {
            ASSERT_EQ(::mkdirat(fd.get(), level == 0 ? "deep" : "d", 0700), 0) << level;
            fd = platform::tree::openFolder(fd.get(), level == 0 ? "deep" : "d");
        }
        const UniqueFd end(::openat(fd.get(), "end.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_EQ(::write(end.get(), "end", 3), 3);
    }
    // Levels below @p top and the content at the bottom.
    const auto bottom = [](const fs::path &top) {
        UniqueFd fd = platform::tree::openFolder(AT_FDCWD, top.c_str());
        int levels = 1;
        for (UniqueFd next; (next = platform::tree::openFolder(fd.get(), "d")); ++levels) {
            fd = std::move(next);
        }
        char text[4] = {};
        const UniqueFd end(::openat(fd.get(), "end.txt", O_RDONLY | O_CLOEXEC));
        return std::to_string(levels) + " " + (::read(end.get(), text, 3) == 3 ? text : "");
    };
    const fs::path deep = dir.path() / "deep";
    const fs::path into = dir.path() / "into";
    fs::create_directory(into);
    const std::string whole = std::to_string(Depth) + " end";
    const int status = inChild([&] {
        // A merge into the copy nests a call per level: refused as too long a path.
        return shellRun(platform::FoCopy, deep, into) == 0 && bottom(into / "deep") == whole
            && shellRun(platform::FoCopy, deep, into) == 206
            && shellRun(platform::FoMove, deep, into) == 206 && bottom(into / "deep") == whole
            && bottom(deep) == whole && shellRun(platform::FoDelete, into) == 0
            && shellRun(platform::FoDelete, deep) == 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(deep));
    EXPECT_FALSE(fs::exists(into));
}

/// A folder under @p where on whose file system inode flags can be set, or empty.
fs::path folderWithInodeFlags(const fs::path &where)
{
    const fs::path folder = where / ("portprobe-flags-" + std::to_string(::getpid()));
    std::error_code ec;
    if (fs::create_directory(folder, ec); ec) {
        return {};
    }
    const UniqueFd fd = platform::tree::openFolder(AT_FDCWD, folder.c_str());
    int flags = 0;
    if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0) {
        flags |= FS_APPEND_FL;
        if (::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0) {
            flags &= ~FS_APPEND_FL;
            ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags);
            return folder;
        }
    }
    fs::remove(folder, ec);
    return {};
}

/// Sets (or clears) inode flag @p flag on @p path; whether it could.
bool setInodeFlag(const fs::path &path, int flag, bool on)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    int flags = 0;
    if (!fd || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return false;
    }
    flags = on ? flags | flag : flags & ~flag;
    return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0;
}

TEST(LinuxFileTree, DeleteRemovesNothingWhereTheKernelHoldsOneEntry)
{
    fakes::TempDir temp;
    // Else the build folder's file system (where /tmp is an older tmpfs).
    fs::path where = folderWithInodeFlags(temp.path());
    if (where.empty()) {
        where = folderWithInodeFlags(fs::current_path());
    }
    if (where.empty()) {
        GTEST_SKIP() << "no inode flags (chattr) for this user on these file systems";
    }
    struct Row
    {
        const char *locked;
        int flag;
    };
    const Row rows[] = {
        { "a/b/c/locked.txt", FS_IMMUTABLE_FL },
        { "a/b/c/locked.txt", FS_APPEND_FL },
        { "a/b/empty", FS_IMMUTABLE_FL },
        { "a/b/c", FS_APPEND_FL },
    };
    const fs::path tree = where / "tree";
    for (const auto &row : rows) {
        for (const char *folder : { "a/b/c", "a/b/empty", "a/x/y", "z" }) {
            fs::create_directories(tree / folder);
        }
        for (const char *file : { "a/1.txt", "a/b/c/locked.txt", "a/x/y/2.txt", "z/3.txt" }) {
            writeFile(tree / file, file);
        }
        const auto before = listTree(tree);
        ASSERT_TRUE(setInodeFlag(tree / row.locked, row.flag, true)) << row.locked;
        EXPECT_NE(shellRun(platform::FoDelete, tree), 0) << row.locked;
        EXPECT_EQ(listTree(tree), before) << row.locked << " " << row.flag;
        ASSERT_TRUE(setInodeFlag(tree / row.locked, row.flag, false));
        ASSERT_EQ(shellRun(platform::FoDelete, tree), 0);
    }
    fs::remove(where);
}

TEST(LinuxFileTree, DeleteRemovesNothingWhereAFileIsMountedOver)
{
    fakes::TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "a" / "b");
    writeFile(tree / "a" / "1.txt", "1");
    writeFile(tree / "a" / "b" / "target.txt", "target");
    writeFile(tree / "z.txt", "z");
    writeFile(dir.path() / "outside.txt", "outside");
    const auto before = listTree(tree);
    constexpr int NoNamespace = 77;
    const int status = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount((dir.path() / "outside.txt").c_str(),
                   (tree / "a" / "b" / "target.txt").c_str(), nullptr, MS_BIND, nullptr)
                != 0) {
            ::_exit(NoNamespace);
        }
        return shellRun(platform::FoDelete, tree) != 0
            && ::umount((tree / "a" / "b" / "target.txt").c_str()) == 0 && listTree(tree) == before;
    });
    if (status == NoNamespace) {
        GTEST_SKIP() << "no mount namespace of our own here";
    }
    EXPECT_EQ(status, 0);
}

TEST(LinuxFileTree, CopiesKeepOwnersWhereAllowedAndDropSetIdBitsWhereNot)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to hand files to other users";
    }
    fakes::TempDir dir;
    fs::permissions(dir.path(), fs::perms::all); // nobody copies into it too
    struct Row
    {
        const char *name;
        bool folder;
        uid_t uid;
        gid_t gid;
        mode_t mode;
        bool byNobody;
        mode_t copyMode;
    };
    const Row rows[] = {
        { "nobodys-setuid", false, 65534, 65534, 04755, false, 04755 },
        { "nobodys-setgid-folder", true, 65534, 65534, 02775, false, 02775 },
        { "roots-setuid", false, 0, 0, 04755, true, 0755 },
        { "roots-setgid", false, 0, 0, 02755, true, 0755 },
        { "roots-group-setgid", false, 65534, 0, 02755, true, 0755 },
    };
    for (const auto &row : rows) {
        const fs::path source = dir.path() / row.name;
        const fs::path copy = dir.path() / (std::string("copy-") + row.name);
        if (row.folder) {
            fs::create_directory(source);
        } else {
            writeFile(source, "#!/bin/sh\n");
        }
        ASSERT_EQ(::chown(source.c_str(), row.uid, row.gid), 0);
        ASSERT_EQ(::chmod(source.c_str(), row.mode), 0);
        EXPECT_EQ(
            inChild([&] { return shellRun(platform::FoCopy, source, copy) == 0; }, row.byNobody), 0)
            << row.name;
        struct stat st
        { };
        ASSERT_EQ(::lstat(copy.c_str(), &st), 0) << row.name;
        const uid_t owner = row.byNobody ? 65534 : row.uid;
        const gid_t group = row.byNobody ? 65534 : row.gid;
        EXPECT_EQ(st.st_uid, owner) << row.name;
        EXPECT_EQ(st.st_gid, group) << row.name;
        EXPECT_EQ(st.st_mode & 07777, row.copyMode) << row.name;
    }
}

TEST(LinuxFileTree, CopiesKeepHolesAndHardLinksWithinTheTree)
{
    fakes::TempDir dir;
    const fs::path src = dir.path() / "src";
    fs::create_directories(src / "sub");
    writeFile(src / "a.txt", "linked");
    fs::create_hard_link(src / "a.txt", src / "sub" / "b.txt");
    writeFile(src / "c.txt", "linked outside");
    fs::create_hard_link(src / "c.txt", dir.path() / "outside.txt");
    {
        const UniqueFd fd(::open((src / "sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(::pwrite(fd.get(), "x", 1, 0), 1);
        ASSERT_EQ(::pwrite(fd.get(), "y", 1, (4 << 20) - 1), 1);
        ASSERT_EQ(::ftruncate(fd.get(), 8 << 20), 0);
    }
    ASSERT_EQ(shellRun(platform::FoCopy, src, dir.path() / "copy"), 0);
    const fs::path copy = dir.path() / "copy";
    EXPECT_TRUE(fs::equivalent(copy / "a.txt", copy / "sub" / "b.txt"));
    EXPECT_FALSE(fs::equivalent(copy / "a.txt", src / "a.txt"));
    EXPECT_EQ(fs::hard_link_count(copy / "c.txt"), 1u) << "its other name is outside the tree";
    EXPECT_EQ(readFile(copy / "sub" / "b.txt"), "linked");
    struct stat from
    { };
    struct stat to
    { };
    ASSERT_EQ(::stat((src / "sparse").c_str(), &from), 0);
    ASSERT_EQ(::stat((copy / "sparse").c_str(), &to), 0);
    EXPECT_EQ(to.st_size, from.st_size);
    const UniqueFd sparse(::open((copy / "sparse").c_str(), O_RDONLY | O_CLOEXEC));
    for (auto [at, byte] :
        { std::pair<off_t, char> { 0, 'x' }, { (4 << 20) - 1, 'y' }, { 6 << 20, 0 } }) {
        char c = 1;
        EXPECT_EQ(::pread(sparse.get(), &c, 1, at), 1);
        EXPECT_EQ(c, byte) << at;
    }
    if (from.st_blocks * 512 < from.st_size / 2) {
        EXPECT_LE(to.st_blocks, from.st_blocks + 64) << "holes stay holes";
    } else {
        std::cout << "no holes on this file system: only the bytes checked\n";
    }
}

} // namespace
