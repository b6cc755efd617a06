// Walks over folder trees by descriptor, for removing, checking and copying
// them (see file_tree.h): never through a link, never outside the tree, and
// a failed copy's remains are the caller's to remove. Each walk keeps its
// folders on a stack of its own (FolderStack), so no depth exhausts the
// thread's stack or the process's descriptors.

#include "platform/linux/file_tree.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::tree {
namespace {

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/// The folders a walk is in, outermost first. Only the innermost few keep a
/// descriptor; one closed meanwhile is opened again through ".." of the
/// folder below it on the way back up, and must be the folder it was.
class FolderStack
{
public:
    explicit FolderStack(int baseFd) : base_(baseFd) { }

    /// The innermost folder's descriptor (the base's while the stack is empty).
    int top() const { return levels_.empty() ? base_ : levels_.back().fd.get(); }

    void push(UniqueFd fd, const struct stat &st)
    {
        levels_.push_back({ std::move(fd), st.st_dev, st.st_ino });
        if (levels_.size() - firstOpen_ > OpenLevels) {
            levels_[firstOpen_++].fd.reset();
        }
    }

    /// Leaves the innermost folder, whose descriptor goes to @p left (may be
    /// null): EAGAIN when the folder holding it is no longer the one it was.
    int pop(UniqueFd *left = nullptr)
    {
        UniqueFd inner = std::move(levels_.back().fd);
        levels_.pop_back();
        if (!levels_.empty() && !levels_.back().fd) {
            Level &outer = levels_.back();
            UniqueFd fd(
                ::openat(inner.get(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat st
            { };
            if (!fd || ::fstat(fd.get(), &st) != 0) {
                return errno;
            }
            if (st.st_dev != outer.dev || st.st_ino != outer.ino) {
                return EAGAIN; // moved meanwhile
            }
            outer.fd = std::move(fd);
            firstOpen_ = levels_.size() - 1;
        }
        if (left != nullptr) {
            *left = std::move(inner);
        }
        return 0;
    }

private:
    static constexpr std::size_t OpenLevels = 32;
    struct Level
    {
        UniqueFd fd;
        dev_t dev;
        ino_t ino;
    };
    std::vector<Level> levels_;
    std::size_t firstOpen_ = 0; // levels below it have no descriptor
    int base_;
};

/// One folder of a walk: its name in its parent, its lstat, its names and
/// how far the walk has come through them.
struct Folder
{
    std::string name;
    struct stat st
    { };
    std::vector<std::string> names;
    std::size_t next = 0;
    std::uint64_t mount = 0;
    int kept = 0;

    bool done() const { return next == names.size(); }
    std::string takeNext() { return names[next++]; }
};

/// Opens folder @p name of @p dirFd and reads its lstat and names into @p folder.
int openAndList(int dirFd, const std::string &name, UniqueFd &fd, Folder &folder)
{
    folder.name = name;
    fd = openFolder(dirFd, name.c_str());
    if (!fd || ::fstat(fd.get(), &folder.st) != 0) {
        return errno;
    }
    return listNames(fd.get(), folder.names);
}

/// The mount a file is on; 0 where the kernel cannot tell (then devices decide).
std::uint64_t mountOf(int dirFd, const char *name)
{
    struct statx sx
    { };
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0
        && (sx.stx_mask & STATX_MNT_ID) != 0) {
        return sx.stx_mnt_id;
    }
    return 0;
}

/// A folder whose removal is never ours to attempt: the root, a mount point
/// (a bind mount shares its device, not its mount) or the current folder.
bool standsFirm(int parentFd, const struct stat &parent, int folderFd, const struct stat &folder)
{
    struct stat root
    { };
    struct stat here
    { };
    if ((::stat("/", &root) == 0 && sameFile(root, folder))
        || (::stat(".", &here) == 0 && sameFile(here, folder))) {
        return true;
    }
    if (folder.st_dev != parent.st_dev) {
        return true;
    }
    const std::uint64_t mount = mountOf(folderFd, "");
    return mount != 0 && mount != mountOf(parentFd, "");
}

/// Whether this user may remove entries from folder @p folderFd: write and search rights.
int mayChange(int folderFd)
{
    return ::faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

/// The sticky bit's rule: only the owner of the entry or of the folder removes it.
int mayRemoveFrom(const struct stat &folder, const struct stat &entry)
{
    const uid_t me = ::geteuid();
    if ((folder.st_mode & S_ISVTX) != 0 && me != 0 && me != folder.st_uid && me != entry.st_uid) {
        return EPERM;
    }
    return 0;
}

/// Whether the kernel keeps entry @p name of @p dirFd where it is, whoever
/// asks: EPERM for an immutable or append-only entry (which also keeps a
/// folder's entries in it); with @p mounts, EBUSY for one mounted over (a
/// bind-mounted file too; its folder is on mount @p folderMount, 0 if
/// unknown); the errno of a failed look.
int heldInPlace(int dirFd, const char *name, bool mounts, std::uint64_t folderMount)
{
    struct statx sx
    { };
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &sx)
        != 0) {
        return errno;
    }
    if (mounts
        && ((sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
            || (folderMount != 0 && (sx.stx_mask & STATX_MNT_ID) != 0
                && sx.stx_mnt_id != folderMount))) {
        return EBUSY;
    }
    constexpr std::uint64_t Held = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((sx.stx_attributes_mask & Held) == Held) {
        return (sx.stx_attributes & Held) != 0 ? EPERM : 0;
    }
    // Not reported here: the flags themselves, of files and folders only
    // (another type's ioctl is its driver's); unreadable ones count as none.
    if (!S_ISREG(sx.stx_mode) && !S_ISDIR(sx.stx_mode)) {
        return 0;
    }
    const UniqueFd fd(
        ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    int flags = 0;
    if (!fd || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return 0;
    }
    return (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0 ? EPERM : 0;
}

/// Checks that everything inside folder @p name of @p dirFd (its lstat @p st,
/// the lstat of @p dirFd @p parent) can go; see checkRemovable().
int checkFolder(int dirFd, const struct stat &parent, const char *name, const struct stat &st)
{
    FolderStack stack(dirFd);
    std::vector<Folder> folders;
    const auto enter = [&](const std::string &child, const struct stat &outer,
                           const struct stat &entry) {
        Folder folder;
        UniqueFd fd;
        const int outerFd = stack.top();
        if (int error = openAndList(outerFd, child, fd, folder)) {
            return error;
        }
        if (!sameFile(folder.st, entry) || standsFirm(outerFd, outer, fd.get(), folder.st)) {
            return EBUSY;
        }
        if (int error = folder.names.empty() ? 0 : mayChange(fd.get())) {
            return error;
        }
        folder.mount = mountOf(fd.get(), "");
        stack.push(std::move(fd), folder.st);
        folders.push_back(std::move(folder));
        return 0;
    };
    if (int error = enter(name, parent, st)) {
        return error;
    }
    while (!folders.empty()) {
        if (folders.back().done()) {
            folders.pop_back();
            if (int error = stack.pop()) {
                return error;
            }
            continue;
        }
        const std::string child = folders.back().takeNext();
        const struct stat self = folders.back().st;
        struct stat entry
        { };
        if (::fstatat(stack.top(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue;
            }
            return errno;
        }
        if (int error = mayRemoveFrom(self, entry)) {
            return error;
        }
        if (int error = heldInPlace(stack.top(), child.c_str(), true, folders.back().mount)) {
            return error;
        }
        if (S_ISDIR(entry.st_mode)) {
            if (int error = enter(child, self, entry)) {
                return error;
            }
        }
    }
    return 0;
}

/// Writes all @p n bytes of @p data to @p fd at @p at; an errno, 0 on success.
int writeAll(int fd, const char *data, std::size_t n, off_t at)
{
    for (std::size_t done = 0; done < n;) {
        const ssize_t w = ::pwrite(fd, data + done, n - done, at + static_cast<off_t>(done));
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return w < 0 && errno != 0 ? errno : EIO;
        }
        done += static_cast<std::size_t>(w);
    }
    return 0;
}

/// Copies bytes [@p from, @p to) of @p in to the same place in @p out (to
/// the end where @p to is negative) inside the kernel (copy_file_range), by
/// plain reads and writes where a file system cannot (then @p inKernel goes
/// false); an errno, 0 on success.
int copyRange(int in, int out, off_t from, off_t to, bool &inKernel)
{
    constexpr std::size_t Most = std::size_t { 1 } << 30;
    std::vector<char> buffer;
    off_t inAt = from;
    off_t outAt = from;
    while (to < 0 || inAt < to) {
        const std::size_t want =
            to < 0 ? Most : std::min(static_cast<std::size_t>(to - inAt), Most);
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(in, &inAt, out, &outAt, want, 0);
            if (n < 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(std::min(want, std::size_t { 1 } << 20));
            n = ::pread(in, buffer.data(), buffer.size(), inAt);
            if (n > 0) {
                if (int error = writeAll(out, buffer.data(), static_cast<std::size_t>(n), outAt)) {
                    return error;
                }
                inAt += n;
                outAt += n;
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno != 0 ? errno : EIO;
        }
        if (n == 0) {
            break; // shorter now than when looked at
        }
    }
    return 0;
}

/// Copies the data of @p in (its fstat @p st) to @p out; an errno, 0 on
/// success. A file with fewer blocks than bytes has its holes left holes
/// (SEEK_DATA, SEEK_HOLE); any other, a pseudo file's included, is read to
/// its end, as is a file growing meanwhile.
int copyBytes(int in, int out, const struct stat &st)
{
    bool inKernel = true;
    if (st.st_blocks * 512 >= st.st_size) {
        return copyRange(in, out, 0, -1, inKernel);
    }
    off_t at = 0;
    for (;;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            break; // a hole to the end
        }
        if (data < 0) {
            return errno == EINVAL ? copyRange(in, out, at, -1, inKernel) : errno;
        }
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) {
            return errno;
        }
        if (int error = copyRange(in, out, data, hole, inKernel)) {
            return error;
        }
        at = hole;
    }
    const off_t end = ::lseek(in, 0, SEEK_END);
    if (end < 0) {
        return errno;
    }
    return end > at && ::ftruncate(out, end) != 0 ? errno : 0;
}

/// Gives new item @p fd the owner and group of @p from as far as this user
/// may (root: both; else a group of its own); its mode: the source's, without
/// the set-user-ID and set-group-ID bits where either stays another (as cp).
mode_t keepOwner(int fd, const struct stat &from)
{
    const mode_t mode = from.st_mode & 07777;
    if (::fchown(fd, from.st_uid, from.st_gid) == 0) {
        return mode;
    }
    ::fchown(fd, static_cast<uid_t>(-1), from.st_gid); // may still be ours to give
    return mode & ~static_cast<mode_t>(S_ISUID | S_ISGID);
}

/// Copies one regular file's bytes (copyBytes), with owner (keepOwner), mode
/// and write time; @p st gets the source's state as taken.
int copyRegular(int fromDir, const char *fromName, int toDir, const char *toName,
    CopyRecord *record, const std::function<int(int)> &created, struct stat &st)
{
    const UniqueFd in(
        ::openat(fromDir, fromName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!in) {
        return errno == ELOOP ? EAGAIN : errno; // a link now: changed meanwhile
    }
    if (::fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EOPNOTSUPP;
    }
    if (record != nullptr) {
        record->add(st); // as it was before a byte was read
    }
    UniqueFd out(createFile(toDir, toName, 0600, created));
    if (!out) {
        return errno;
    }
    int error = copyBytes(in.get(), out.get(), st);
    const timespec times[2] = { { 0, UTIME_OMIT }, st.st_mtim };
    if (error == 0
        && (::fchmod(out.get(), keepOwner(out.get(), st)) != 0
            || ::futimens(out.get(), times) != 0)) {
        error = errno;
    }
    // A file system may report a full disk only when the file is closed.
    if (!out.close() && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlinkat(toDir, toName, 0);
    }
    return error;
}

int copyLink(int fromDir, const char *fromName, const struct stat &st, int toDir,
    const char *toName, CopyRecord *record, const std::function<int(int)> &created)
{
    std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(fromDir, fromName, target.data(), target.size());
        if (n < 0) {
            return errno;
        }
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            break;
        }
        target.resize(target.size() * 2); // longer now than when looked at
    }
    if (::symlinkat(target.c_str(), toDir, toName) != 0) {
        return errno;
    }
    if (int error = created ? created(-1) : 0) {
        return error;
    }
    if (::fchownat(toDir, toName, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0) {
        ::fchownat(toDir, toName, static_cast<uid_t>(-1), st.st_gid, AT_SYMLINK_NOFOLLOW);
    }
    if (record != nullptr) {
        record->add(st);
    }
    return 0;
}

} // namespace

int createFile(int dirFd, const char *name, mode_t mode, const std::function<int(int)> &prepare)
{
    constexpr int Flags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
    UniqueFd fd(::openat(dirFd, ".", O_TMPFILE | Flags, mode));
    if (fd) {
        if (int error = prepare ? prepare(fd.get()) : 0) {
            errno = error;
            return -1;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        if (::linkat(AT_FDCWD, self.c_str(), dirFd, name, AT_SYMLINK_FOLLOW) == 0) {
            return fd.release();
        }
        if (errno != ENOENT && errno != EPERM) {
            return -1; // EEXIST among them: the name is another's
        }
        // No /proc, or linking an unnamed file refused: by name, as below.
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return -1;
    }
    fd = UniqueFd(::openat(dirFd, name, Flags | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
    if (!fd) {
        return -1;
    }
    if (int error = prepare ? prepare(fd.get()) : 0) {
        ::unlinkat(dirFd, name, 0); // made by this call just now
        errno = error;
        return -1;
    }
    return fd.release();
}

namespace {

/// A copy of one item: the copies of its files linked more than once, by
/// their source's device and inode, so later names of one link to the copy.
class Copier
{
public:
    Copier(int toDir, const char *toName, CopyRecord *record)
        : toDir_(toDir), toName_(toName), record_(record)
    { }

    int run(int fromDir, const char *fromName, const struct stat &st,
        const std::function<int(int)> &created);

private:
    int enter(const std::string &from, const std::string &to, const struct stat &entry,
        const std::function<int(int)> &created);
    int leave();
    int copyEntry(const std::string &name, const struct stat &entry);
    /// The copy's path from the destination folder to entry @p name of the innermost folder.
    std::string pathTo(const std::string &name) const;

    struct FirstCopy
    {
        std::string path;
        struct stat source;
    };
    int toDir_;
    std::string toName_;
    CopyRecord *record_;
    FolderStack in_ { -1 };
    FolderStack out_ { -1 };
    std::vector<Folder> folders_;
    std::map<std::pair<dev_t, ino_t>, FirstCopy> linked_;
};

int Copier::run(int fromDir, const char *fromName, const struct stat &st,
    const std::function<int(int)> &created)
{
    if (!S_ISDIR(st.st_mode)) {
        struct stat taken
        { };
        return S_ISREG(st.st_mode)
            ? copyRegular(fromDir, fromName, toDir_, toName_.c_str(), record_, created, taken)
            : S_ISLNK(st.st_mode)
            ? copyLink(fromDir, fromName, st, toDir_, toName_.c_str(), record_, created)
            : EOPNOTSUPP;
    }
    in_ = FolderStack(fromDir);
    out_ = FolderStack(toDir_);
    if (int error = enter(fromName, toName_, st, created)) {
        return error;
    }
    while (!folders_.empty()) {
        if (folders_.back().done()) {
            if (int error = leave()) {
                return error;
            }
            continue;
        }
        const std::string child = folders_.back().takeNext();
        struct stat entry
        { };
        if (::fstatat(in_.top(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue; // gone meanwhile
            }
            return errno;
        }
        if (int error =
                S_ISDIR(entry.st_mode) ? enter(child, child, entry, {}) : copyEntry(child, entry)) {
            return error;
        }
    }
    return 0;
}

/// Opens source folder @p from, makes its copy @p to (owner-only while
/// filling) and goes into both.
int Copier::enter(const std::string &from, const std::string &to, const struct stat &entry,
    const std::function<int(int)> &created)
{
    Folder folder;
    UniqueFd source;
    if (int error = openAndList(in_.top(), from, source, folder)) {
        return error == ELOOP ? EAGAIN : error; // a link now: changed meanwhile
    }
    if (!sameFile(folder.st, entry)) {
        return EAGAIN;
    }
    if (::mkdirat(out_.top(), to.c_str(), 0700) != 0) {
        return errno;
    }
    UniqueFd copy = openFolder(out_.top(), to.c_str());
    struct stat made
    { };
    if (!copy || ::fstat(copy.get(), &made) != 0) {
        const int error = errno;
        ::unlinkat(out_.top(), to.c_str(), AT_REMOVEDIR); // still empty
        return error;
    }
    if (int error = created ? created(copy.get()) : 0) {
        return error;
    }
    if (record_ != nullptr) {
        record_->add(folder.st);
    }
    in_.push(std::move(source), folder.st);
    out_.push(std::move(copy), made);
    folders_.push_back(std::move(folder));
    return 0;
}

/// Gives the innermost copy its owner and mode, now that it is complete, and goes up.
int Copier::leave()
{
    const struct stat st = folders_.back().st;
    folders_.pop_back();
    UniqueFd copy;
    if (int error = in_.pop()) {
        return error;
    }
    if (int error = out_.pop(&copy)) {
        return error;
    }
    return ::fchmod(copy.get(), keepOwner(copy.get(), st)) == 0 ? 0 : errno;
}

int Copier::copyEntry(const std::string &name, const struct stat &entry)
{
    const auto key = std::make_pair(entry.st_dev, entry.st_ino);
    if (S_ISREG(entry.st_mode) && entry.st_nlink > 1) {
        const auto first = linked_.find(key);
        // Linked again only while the file is as it was copied.
        if (first != linked_.end() && first->second.source.st_size == entry.st_size
            && sameTime(first->second.source.st_mtim, entry.st_mtim)
            && sameTime(first->second.source.st_ctim, entry.st_ctim)
            && ::linkat(toDir_, first->second.path.c_str(), out_.top(), name.c_str(), 0) == 0) {
            return 0;
        }
    }
    if (S_ISLNK(entry.st_mode)) {
        return copyLink(in_.top(), name.c_str(), entry, out_.top(), name.c_str(), record_, {});
    }
    if (!S_ISREG(entry.st_mode)) {
        return EOPNOTSUPP;
    }
    struct stat taken
    { };
    const int error =
        copyRegular(in_.top(), name.c_str(), out_.top(), name.c_str(), record_, {}, taken);
    if (error == 0 && taken.st_nlink > 1 && sameFile(taken, entry)) {
        std::string path = pathTo(name);
        if (path.size() < PATH_MAX) {
            linked_.try_emplace(key, FirstCopy { std::move(path), taken });
        }
    }
    return error;
}

std::string Copier::pathTo(const std::string &name) const
{
    std::string path = toName_;
    for (std::size_t i = 1; i < folders_.size(); ++i) {
        path += "/" + folders_[i].name;
    }
    return path + "/" + name;
}

} // namespace

UniqueFd openFolder(int dirFd, const char *name)
{
    return UniqueFd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

int listNames(int folderFd, std::vector<std::string> &names)
{
    UniqueFd own(::dup(folderFd));
    DIR *dir = own ? ::fdopendir(own.get()) : nullptr;
    if (dir == nullptr) {
        return errno;
    }
    own.release();
    ::rewinddir(dir); // the duplicate shares its position with the original
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    const int error = errno;
    ::closedir(dir);
    return error;
}

namespace {

/// Reads @p name in folder @p dirFd and its folder, and checks that this user
/// may take the entry out of that folder and the kernel lets it go.
int checkTakeable(int dirFd, const char *name, struct stat &parent, struct stat &st)
{
    if (::fstat(dirFd, &parent) != 0 || ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (int error = mayChange(dirFd)) {
        return error;
    }
    if (int error = mayRemoveFrom(parent, st)) {
        return error;
    }
    if (int error = heldInPlace(dirFd, ".", false, 0)) {
        return error;
    }
    return heldInPlace(dirFd, name, true, mountOf(dirFd, ""));
}

} // namespace

int checkMovable(int dirFd, const char *name)
{
    struct stat parent
    { };
    struct stat st
    { };
    if (int error = checkTakeable(dirFd, name, parent, st)) {
        return error;
    }
    if (!S_ISDIR(st.st_mode)) {
        return 0;
    }
    const UniqueFd fd = openFolder(dirFd, name);
    if (!fd) {
        return errno;
    }
    return standsFirm(dirFd, parent, fd.get(), st) ? EBUSY : 0;
}

int checkRemovable(int dirFd, const char *name)
{
    struct stat parent
    { };
    struct stat st
    { };
    if (int error = checkTakeable(dirFd, name, parent, st)) {
        return error;
    }
    return S_ISDIR(st.st_mode) ? checkFolder(dirFd, parent, name, st) : 0;
}

int removeTree(int dirFd, const char *name, bool ours)
{
    struct stat st
    { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlinkat(dirFd, name, 0) == 0 ? 0 : errno;
    }
    FolderStack stack(dirFd);
    std::vector<Folder> folders;
    const auto enter = [&](const std::string &child) {
        Folder folder;
        folder.name = child;
        UniqueFd fd = openFolder(stack.top(), child.c_str());
        if (!fd) {
            return errno;
        }
        if (ours) {
            ::fchmod(fd.get(), 0700); // a read-only folder of ours must still go
        }
        if (::fstat(fd.get(), &folder.st) != 0) {
            return errno;
        }
        if (int error = listNames(fd.get(), folder.names)) {
            return error;
        }
        stack.push(std::move(fd), folder.st);
        folders.push_back(std::move(folder));
        return 0;
    };
    if (int error = enter(name)) {
        return error;
    }
    while (!folders.empty()) {
        if (!folders.back().done()) {
            const std::string child = folders.back().takeNext();
            struct stat entry
            { };
            int error = ::fstatat(stack.top(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW);
            if (error == 0) {
                error = S_ISDIR(entry.st_mode)                       ? enter(child)
                    : ::unlinkat(stack.top(), child.c_str(), 0) == 0 ? 0
                                                                     : errno;
            } else {
                error = errno;
            }
            if (error != 0 && error != ENOENT) {
                return error;
            }
            continue;
        }
        const std::string done = std::move(folders.back().name);
        folders.pop_back();
        if (int error = stack.pop()) {
            return error;
        }
        if (::unlinkat(stack.top(), done.c_str(), AT_REMOVEDIR) != 0
            && (folders.empty() || errno != ENOENT)) {
            return errno;
        }
    }
    return 0;
}

void CopyRecord::add(const struct stat &st)
{
    const Seen now { S_ISDIR(st.st_mode), false, st.st_size, st.st_mtim, st.st_ctim };
    const auto [it, fresh] = seen_.try_emplace({ st.st_dev, st.st_ino }, now);
    Seen &seen = it->second;
    if (!fresh
        && (seen.folder != now.folder || seen.size != now.size
            || !sameTime(seen.written, now.written) || !sameTime(seen.changed, now.changed))) {
        seen.changedMeanwhile = true;
    }
}

bool CopyRecord::unchanged(const struct stat &st) const
{
    const auto it = seen_.find({ st.st_dev, st.st_ino });
    if (it == seen_.end() || it->second.folder != S_ISDIR(st.st_mode)
        || it->second.changedMeanwhile) {
        return false;
    }
    const Seen &seen = it->second;
    return seen.folder
        || (seen.size == st.st_size && sameTime(seen.written, st.st_mtim)
            && sameTime(seen.changed, st.st_ctim));
}

int copyNew(int fromDir, const char *fromName, const struct stat &st, int toDir, const char *toName,
    CopyRecord *record, const std::function<int(int)> &created)
{
    return Copier(toDir, toName, record).run(fromDir, fromName, st, created);
}

int removeCopied(int dirFd, const char *name, const CopyRecord &record)
{
    struct stat st
    { };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (!record.unchanged(st)) {
        return ENOTEMPTY;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlinkat(dirFd, name, 0) == 0 ? 0 : errno;
    }
    FolderStack stack(dirFd);
    std::vector<Folder> folders;
    const auto enter = [&](const std::string &child, const struct stat &entry) {
        Folder folder;
        UniqueFd fd;
        if (int error = openAndList(stack.top(), child, fd, folder)) {
            return error;
        }
        if (!sameFile(folder.st, entry)) {
            return ENOTEMPTY;
        }
        stack.push(std::move(fd), folder.st);
        folders.push_back(std::move(folder));
        return 0;
    };
    if (int error = enter(name, st)) {
        return error;
    }
    // Everything that can go goes; each folder keeps the first reason it stays.
    for (;;) {
        int error = 0;
        if (!folders.back().done()) {
            const std::string child = folders.back().takeNext();
            struct stat entry
            { };
            if (::fstatat(stack.top(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
                error = errno == ENOENT ? 0 : errno;
            } else if (!record.unchanged(entry)) {
                error = ENOTEMPTY;
            } else if (S_ISDIR(entry.st_mode)) {
                const std::size_t outer = folders.size() - 1;
                if ((error = enter(child, entry)) != 0 && folders[outer].kept == 0) {
                    folders[outer].kept = error;
                }
                continue;
            } else if (::unlinkat(stack.top(), child.c_str(), 0) != 0) {
                error = errno;
            }
        } else {
            const Folder done = std::move(folders.back());
            folders.pop_back();
            if (int failed = stack.pop()) {
                return failed;
            }
            error = done.kept != 0                                              ? done.kept
                : ::unlinkat(stack.top(), done.name.c_str(), AT_REMOVEDIR) == 0 ? 0
                                                                                : errno;
            if (folders.empty()) {
                return error;
            }
        }
        if (folders.back().kept == 0) {
            folders.back().kept = error;
        }
    }
}

} // namespace platform::tree
