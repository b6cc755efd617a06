// Copy, move and rename for the shell's file operation. Nothing asks the
// user: where the Windows shell would ask before overwriting, the transfer
// is refused, so a user's file is never lost silently.
//
// Whatever is written appears under its final name only when complete: a
// new item is built under a hidden temporary name in its destination folder
// and renamed into place (never over anything); a replacement is built
// beside the old item and renamed over it. A temporary item is marked as
// this process's when made; marked leftovers of writers killed meanwhile are
// removed by a later transfer into the same folder. A move
// across file systems removes only what it copied, unchanged.

#include "platform/linux/shell_transfer.h"
#include "platform/linux/shell_places.h"
#include "platform/linux/shell_sources.h"
#include "platform/linux/writer_leftovers.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace platform::shellop {
namespace {

/// A merge nests a few calls and two open folders per level on this thread's
/// stack: beyond half the depth a path can name ("x/" a level) it is refused
/// rather than risked.
constexpr int MostMergeLevels = PATH_MAX / 4;

bool lstatOf(const std::string &path, struct stat &st)
{
    return ::lstat(path.c_str(), &st) == 0;
}

/// Whether @p name of @p dirFd exists (a link is not followed).
bool existsAt(int dirFd, const std::string &name)
{
    struct stat st
    { };
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

/// Renames @p from of @p fromDir to @p to of @p toDir, over it with @p overwrite
/// and else never over anything; an errno, 0 on success.
int renameItem(
    int fromDir, const std::string &from, int toDir, const std::string &to, bool overwrite)
{
    if (overwrite) {
        return ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // No RENAME_NOREPLACE on this file system: only a look first.
    if (existsAt(toDir, to)) {
        return EEXIST;
    }
    return ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
}

/// Puts finished item @p temp of @p dirFd in place as @p name, which must not exist.
int placeNew(int dirFd, const std::string &temp, const std::string &name, bool folder)
{
    if (folder) {
        return renameItem(dirFd, temp, dirFd, name, false);
    }
    if (::renameat2(dirFd, temp.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // No RENAME_NOREPLACE on this file system: a file is linked, which never replaces.
    if (::linkat(dirFd, temp.c_str(), dirFd, name.c_str(), 0) != 0) {
        return errno;
    }
    ::unlinkat(dirFd, temp.c_str(), 0);
    return 0;
}

/// Looks at child @p name of a merge: its lstat in @p in, and whether @p out has one.
Code mergeChild(int in, int out, const std::string &name, struct stat &child, bool &existing)
{
    if (::fstatat(in, name.c_str(), &child, AT_SYMLINK_NOFOLLOW) != 0) {
        return fromErrno(errno);
    }
    struct stat there
    { };
    existing = ::fstatat(out, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (existing && S_ISDIR(child.st_mode) != S_ISDIR(there.st_mode)) {
        return S_ISDIR(child.st_mode) ? FoErrFolderOntoFile : FoErrFileOntoFolder;
    }
    return 0;
}

/// Merges folder @p from of @p fromDir into existing folder @p to of @p toDir:
/// @p each(in, name, lstat, out, existing) for every child, until one fails.
/// The source folder goes into @p record (may be null) once opened.
template<class Each>
Code mergeFolders(int fromDir, const std::string &from, int toDir, const std::string &to,
    tree::CopyRecord *record, Each each)
{
    const UniqueFd in = tree::openFolder(fromDir, from.c_str());
    const UniqueFd out = tree::openFolder(toDir, to.c_str());
    if (!in || !out) {
        return fromErrno(errno);
    }
    std::vector<std::string> names;
    if (const int error = tree::listNames(in.get(), names)) {
        return fromErrno(error);
    }
    struct stat self
    { };
    if (record != nullptr && ::fstat(in.get(), &self) == 0) {
        record->add(self);
    }
    for (const auto &name : names) {
        struct stat child
        { };
        bool existing = false;
        if (Code c = mergeChild(in.get(), out.get(), name, child, existing)) {
            return c;
        }
        if (Code c = each(in.get(), name, child, out.get(), existing)) {
            return c;
        }
    }
    return 0;
}

} // namespace

Code Transfer::run(const std::string &source, std::string target)
{
    struct stat s
    { };
    if (!lstatOf(source, s)) {
        return fromErrno(errno);
    }
    bool overwrite = false;
    if (Code c = collision(s, target, overwrite)) {
        return c;
    }
    if (S_ISDIR(s.st_mode) && isInside(source, target)) {
        return FoErrDestInsideSource;
    }
    Place from;
    Place to;
    if (Code c = from.open(source)) {
        return c;
    }
    if (Code c = to.open(target)) {
        return c;
    }
    return function_ == FoCopy
        ? copyItem(from.folder.get(), from.name, s, to.folder.get(), to.name, overwrite, nullptr)
        : moveItem(from.folder.get(), from.name, s, to.folder.get(), to.name, overwrite);
}

/// The shell's answer to an existing @p target: another name, a refusal, or
/// (@p overwrite) replacing it.
Code Transfer::collision(const struct stat &source, std::string &target, bool &overwrite) const
{
    struct stat t
    { };
    if (!lstatOf(target, t)) {
        return 0;
    }
    // One file is no collision, whatever the flags say.
    if (t.st_dev == source.st_dev && t.st_ino == source.st_ino) {
        return FoErrSameFile;
    }
    const bool folder = S_ISDIR(source.st_mode);
    if (flag(FofRenameOnCollision)) {
        target = freeName(target);
        return target.empty() ? ErrAlreadyExists : 0;
    }
    if (function_ == FoRename) {
        return ErrAlreadyExists;
    }
    if (!flag(FofNoConfirmation)) {
        return FoErrCancelled;
    }
    if (folder != S_ISDIR(t.st_mode)) {
        return folder ? FoErrFolderOntoFile : FoErrFileOntoFolder;
    }
    overwrite = true;
    return 0;
}

/// Removes leftovers of dead writers from destination folder @p dirFd, once per folder.
void Transfer::removeLeftovers(int dirFd)
{
    struct stat st
    { };
    if (::fstat(dirFd, &st) != 0 || !cleaned_.insert({ st.st_dev, st.st_ino }).second) {
        return;
    }
    removeDeadWritersItems(dirFd, TemporaryPrefix);
}

/// Copies a whole item under a temporary name and puts it in place when
/// complete (over the old item with @p overwrite); a failed copy leaves
/// nothing it made. A folder onto a folder is merged.
Code Transfer::copyItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
    const std::string &to, bool overwrite, tree::CopyRecord *record)
{
    if (overwrite && S_ISDIR(st.st_mode)) {
        return mergeCopy(fromDir, from, toDir, to, record);
    }
    removeLeftovers(toDir);
    // A temporary name taken already may be another writer's: the next one.
    std::string temp;
    bool made = false;
    int error = EEXIST;
    for (int tries = 0; error == EEXIST && !made && tries < 100; ++tries) {
        temp = writerTemporaryName(TemporaryPrefix);
        error = tree::copyNew(fromDir, from.c_str(), st, toDir, temp.c_str(), record, [&](int fd) {
            made = true;
            if (fd >= 0) {
                markTemporary(fd);
            }
            return 0;
        });
        // A file is marked before it has its name (tree::createFile): EEXIST
        // then says the name was another's.
        made = made && !(error == EEXIST && S_ISREG(st.st_mode));
    }
    if (error == 0) {
        unmarkTemporary(toDir, temp.c_str());
        error = overwrite ? renameItem(toDir, temp, toDir, to, true)
                          : placeNew(toDir, temp, to, S_ISDIR(st.st_mode));
    }
    if (error != 0) {
        if (made) {
            tree::removeTree(toDir, temp.c_str(), true);
        }
        return fromErrno(error);
    }
    return 0;
}

Code Transfer::mergeCopy(int fromDir, const std::string &from, int toDir, const std::string &to,
    tree::CopyRecord *record)
{
    if (mergeLevels_ == MostMergeLevels) {
        return ErrFilenameTooLong;
    }
    ++mergeLevels_;
    const Code c = mergeFolders(fromDir, from, toDir, to, record,
        [&](int in, const std::string &name, const struct stat &child, int out, bool existing) {
            return copyItem(in, name, child, out, name, existing, record);
        });
    --mergeLevels_;
    return c;
}

Code Transfer::moveItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
    const std::string &to, bool overwrite)
{
    if (overwrite && S_ISDIR(st.st_mode)) {
        return mergeMove(fromDir, from, toDir, to);
    }
    removeLeftovers(toDir);
    int error = renameItem(fromDir, from, toDir, to, overwrite);
    if (error != EXDEV) {
        return error == 0 ? 0 : fromErrno(error);
    }
    // Another file system: a complete copy first; then the source goes as
    // far as it is what was copied. Anything new or changed meanwhile stays,
    // and the move reports that it did not finish.
    tree::CopyRecord record;
    if (Code c = copyItem(fromDir, from, st, toDir, to, overwrite, &record)) {
        return c;
    }
    error = tree::removeCopied(fromDir, from.c_str(), record);
    return error == 0 ? 0 : fromErrno(error);
}

Code Transfer::mergeMove(int fromDir, const std::string &from, int toDir, const std::string &to)
{
    if (mergeLevels_ == MostMergeLevels) {
        return ErrFilenameTooLong;
    }
    ++mergeLevels_;
    const Code c = mergeFolders(fromDir, from, toDir, to, nullptr,
        [&](int in, const std::string &name, const struct stat &child, int out, bool existing) {
            return moveItem(in, name, child, out, name, existing);
        });
    --mergeLevels_;
    if (c != 0) {
        return c;
    }
    return ::unlinkat(fromDir, from.c_str(), AT_REMOVEDIR) == 0 ? 0 : fromErrno(errno);
}

} // namespace platform::shellop
