// Walks over folder trees by descriptor, for removing, checking and copying
// them (see file_tree.h): never through a link, never outside the tree, and
// a failed copy's remains are the caller's to remove.

#include "platform/linux/file_tree.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
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

int checkFolder(int parentFd, const struct stat &parent, const char *name, const struct stat &st)
{
    const UniqueFd fd = openFolder(parentFd, name);
    struct stat self
    { };
    if (!fd || ::fstat(fd.get(), &self) != 0) {
        return errno;
    }
    if (!sameFile(self, st) || standsFirm(parentFd, parent, fd.get(), self)) {
        return EBUSY;
    }
    std::vector<std::string> names;
    if (int error = listNames(fd.get(), names)) {
        return error;
    }
    if (int error = names.empty() ? 0 : mayChange(fd.get())) {
        return error;
    }
    for (const auto &child : names) {
        struct stat entry
        { };
        if (::fstatat(fd.get(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue;
            }
            return errno;
        }
        if (int error = mayRemoveFrom(self, entry)) {
            return error;
        }
        if (S_ISDIR(entry.st_mode)) {
            if (int error = checkFolder(fd.get(), self, child.c_str(), entry)) {
                return error;
            }
        }
    }
    return 0;
}

/// Writes all @p n bytes of @p data to @p fd; an errno, 0 on success.
int writeAll(int fd, const char *data, std::size_t n)
{
    for (std::size_t done = 0; done < n;) {
        const ssize_t w = ::write(fd, data + done, n - done);
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

/// Copies the rest of @p in to @p out inside the kernel (copy_file_range),
/// by plain reads and writes where a file system cannot; an errno, 0 on success.
int copyBytes(int in, int out)
{
    bool inKernel = true;
    bool copied = false;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t { 1 } << 30, 0);
            if (n < 0 && !copied
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(std::size_t { 1 } << 20);
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0) {
                if (int error = writeAll(out, buffer.data(), static_cast<std::size_t>(n))) {
                    return error;
                }
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno != 0 ? errno : EIO;
        }
        if (n == 0) {
            return 0;
        }
        copied = true;
    }
}

/// Copies one regular file's bytes (copyBytes), with its mode and write time.
int copyRegular(int fromDir, const char *fromName, int toDir, const char *toName,
    CopyRecord *record, const std::function<int(int)> &created)
{
    const UniqueFd in(
        ::openat(fromDir, fromName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!in) {
        return errno == ELOOP ? EAGAIN : errno; // a link now: changed meanwhile
    }
    struct stat st
    { };
    if (::fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EOPNOTSUPP;
    }
    if (record != nullptr) {
        record->add(st); // as it was before a byte was read
    }
    UniqueFd out(::openat(toDir, toName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out) {
        return errno;
    }
    int error = created ? created(out.get()) : 0;
    if (error == 0) {
        error = copyBytes(in.get(), out.get());
    }
    const timespec times[2] = { { 0, UTIME_OMIT }, st.st_mtim };
    if (error == 0
        && (::fchmod(out.get(), st.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0)) {
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
    if (record != nullptr) {
        record->add(st);
    }
    return 0;
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
/// may take the entry out of that folder.
int checkTakeable(int dirFd, const char *name, struct stat &parent, struct stat &st)
{
    if (::fstat(dirFd, &parent) != 0 || ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (int error = mayChange(dirFd)) {
        return error;
    }
    return mayRemoveFrom(parent, st);
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
    const UniqueFd fd = openFolder(dirFd, name);
    if (!fd) {
        return errno;
    }
    if (ours) {
        ::fchmod(fd.get(), 0700); // a read-only folder of ours must still go
    }
    std::vector<std::string> names;
    if (int error = listNames(fd.get(), names)) {
        return error;
    }
    for (const auto &child : names) {
        const int error = removeTree(fd.get(), child.c_str(), ours);
        if (error != 0 && error != ENOENT) {
            return error;
        }
    }
    return ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

void CopyRecord::add(const struct stat &st)
{
    seen_[{ st.st_dev, st.st_ino }] = { S_ISDIR(st.st_mode), st.st_size, st.st_mtim, st.st_ctim };
}

bool CopyRecord::unchanged(const struct stat &st) const
{
    const auto it = seen_.find({ st.st_dev, st.st_ino });
    if (it == seen_.end() || it->second.folder != S_ISDIR(st.st_mode)) {
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
    if (S_ISREG(st.st_mode)) {
        return copyRegular(fromDir, fromName, toDir, toName, record, created);
    }
    if (S_ISLNK(st.st_mode)) {
        return copyLink(fromDir, fromName, st, toDir, toName, record, created);
    }
    if (!S_ISDIR(st.st_mode)) {
        return EOPNOTSUPP;
    }
    const UniqueFd in = openFolder(fromDir, fromName);
    struct stat self
    { };
    if (!in || ::fstat(in.get(), &self) != 0) {
        return errno == ELOOP ? EAGAIN : errno; // a link now: changed meanwhile
    }
    if (!sameFile(self, st)) {
        return EAGAIN;
    }
    std::vector<std::string> names;
    if (int error = listNames(in.get(), names)) {
        return error;
    }
    // Owner-only while filling; the source's mode once complete.
    if (::mkdirat(toDir, toName, 0700) != 0) {
        return errno;
    }
    const UniqueFd out = openFolder(toDir, toName);
    if (!out) {
        const int error = errno;
        ::unlinkat(toDir, toName, AT_REMOVEDIR); // still empty
        return error;
    }
    if (int error = created ? created(out.get()) : 0) {
        return error;
    }
    if (record != nullptr) {
        record->add(self);
    }
    for (const auto &child : names) {
        struct stat entry
        { };
        if (::fstatat(in.get(), child.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue; // gone meanwhile
            }
            return errno;
        }
        if (int error = copyNew(in.get(), child.c_str(), entry, out.get(), child.c_str(), record)) {
            return error;
        }
    }
    return ::fchmod(out.get(), self.st_mode & 07777) == 0 ? 0 : errno;
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
    const UniqueFd fd = openFolder(dirFd, name);
    struct stat self
    { };
    if (!fd || ::fstat(fd.get(), &self) != 0) {
        return errno;
    }
    if (!sameFile(self, st)) {
        return ENOTEMPTY;
    }
    std::vector<std::string> names;
    if (int error = listNames(fd.get(), names)) {
        return error;
    }
    int kept = 0;
    for (const auto &child : names) {
        // Everything that can go goes; the first reason to stay is kept.
        const int error = removeCopied(fd.get(), child.c_str(), record);
        if (kept == 0) {
            kept = error;
        }
    }
    if (kept != 0) {
        return kept;
    }
    return ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

} // namespace platform::tree
