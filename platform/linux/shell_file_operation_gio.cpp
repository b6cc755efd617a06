// The shell's file operation on GIO. GIO knows the freedesktop trash; the
// rest is ours: the shell's reading of paths and wildcards (shell_paths.cpp),
// walks over trees by descriptor (file_tree.cpp), and here the shell's rules
// for destinations and collisions. Nothing asks the user: where the Windows
// shell would ask before overwriting, the operation is refused, so a user's
// file is never lost silently.
//
// Whatever is written appears under its final name only when complete: a
// new item is built under a hidden temporary name in its destination folder
// and renamed into place (never over anything); a replacement is built
// beside the old item and renamed over it. Leftovers of writers killed
// meanwhile are removed by a later operation into the same folder.

#include "platform/linux/file_tree.h"
#include "platform/linux/shell_paths.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/writer_leftovers.h"
#include "platform/shared/path_join.h"
#include "platform/shell_file_operation.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gio/gio.h>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

using Code = std::int32_t;

// Win32 error codes the results use.
constexpr Code ErrPathNotFound = 3;
constexpr Code ErrAccessDenied = 5;
constexpr Code ErrNotSameDevice = 17;
constexpr Code ErrSharingViolation = 32;
constexpr Code ErrNotSupported = 50;
constexpr Code ErrDiskFull = 112;
constexpr Code ErrDirNotEmpty = 145;
constexpr Code ErrAlreadyExists = 183;
constexpr Code ErrFilenameTooLong = 206;
constexpr Code ErrFileTooLarge = 223;
constexpr Code ErrCantResolveFilename = 1921;
constexpr Code ErrFunctionFailed = 1627;

/// Names of items being written; a killed writer's are found again by it.
constexpr const char *TemporaryPrefix = ".portprobe-part.tmp";

Code fromErrno(int error)
{
    switch (error) {
    case 0:
        return ErrFunctionFailed;
    case ENOENT:
        return FoErrNotFound;
    case ENOTDIR:
        return ErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrAccessDenied;
    case EEXIST:
        return ErrAlreadyExists;
    case ENOSPC:
    case EDQUOT:
        return ErrDiskFull;
    case EFBIG:
        return ErrFileTooLarge;
    case ENAMETOOLONG:
        return ErrFilenameTooLong;
    case ELOOP:
        return ErrCantResolveFilename;
    case EXDEV:
        return ErrNotSameDevice;
    case EBUSY:
    case EAGAIN:
        return ErrSharingViolation;
    case EINVAL:
        return FoErrInvalid;
    case ENOTEMPTY:
        return ErrDirNotEmpty;
    case EISDIR:
        return FoErrFileOntoFolder;
    case EOPNOTSUPP:
        return ErrNotSupported;
    default:
        return ErrFunctionFailed;
    }
}

Code fromGError(const GError *error)
{
    if (error == nullptr || error->domain != G_IO_ERROR) {
        return ErrFunctionFailed;
    }
    switch (error->code) {
    case G_IO_ERROR_NOT_FOUND:
        return FoErrNotFound;
    case G_IO_ERROR_EXISTS:
        return ErrAlreadyExists;
    case G_IO_ERROR_IS_DIRECTORY:
        return FoErrFileOntoFolder;
    case G_IO_ERROR_NOT_DIRECTORY:
        return ErrPathNotFound;
    case G_IO_ERROR_NO_SPACE:
        return ErrDiskFull;
    case G_IO_ERROR_PERMISSION_DENIED:
    case G_IO_ERROR_READ_ONLY:
        return ErrAccessDenied;
    case G_IO_ERROR_FILENAME_TOO_LONG:
        return ErrFilenameTooLong;
    case G_IO_ERROR_TOO_MANY_LINKS:
        return ErrCantResolveFilename;
    case G_IO_ERROR_NOT_SUPPORTED:
        return ErrNotSupported;
    case G_IO_ERROR_BUSY:
        return ErrSharingViolation;
    default:
        return ErrFunctionFailed;
    }
}

struct GObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using GFilePtr = std::unique_ptr<GFile, GObjectDeleter>;

struct GErrorHolder
{
    GError *error = nullptr;
    ~GErrorHolder() { g_clear_error(&error); }
};

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool lstatOf(const std::string &path, struct stat &st)
{
    return ::lstat(path.c_str(), &st) == 0;
}

bool exists(const std::string &path)
{
    struct stat st
    { };
    return lstatOf(path, st);
}

/// "name (2).ext", "name (3).ext", ...: the first name not taken in the folder.
std::string freeName(const std::string &path)
{
    const std::string folder = path.find('/') == std::string::npos ? "" : folderOf(path);
    const std::string name = nameOf(path);
    auto dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos) {
        dot = name.size();
    }
    const std::string stem = name.substr(0, dot);
    const std::string ext = name.substr(dot);
    for (int n = 2; n < 100000; ++n) {
        std::string candidate = joinFilePath(folder, stem + " (" + std::to_string(n) + ")" + ext);
        if (!exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

/// The real path @p path will have once made: its nearest existing ancestor
/// resolved, the rest appended as written.
std::string resolvedFuturePath(const std::string &path)
{
    std::string head = folderOf(path);
    std::string tail = nameOf(path);
    while (!exists(head) && head != "/" && head != ".") {
        tail = nameOf(head) + "/" + tail;
        head = folderOf(head);
    }
    char *real = ::realpath(head.c_str(), nullptr);
    if (real == nullptr) {
        return {};
    }
    std::string resolved = real;
    std::free(real);
    return joinFilePath(resolved == "/" ? "/" : resolved, tail);
}

bool isInside(const std::string &folder, const std::string &target)
{
    char *real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr) {
        return false;
    }
    std::string base = real;
    std::free(real);
    const std::string future = resolvedFuturePath(target);
    if (base == "/") {
        return true;
    }
    return future == base || future.rfind(base + "/", 0) == 0;
}

/// Whether the current folder is @p path or lies inside it.
bool holdsCurrentFolder(const std::string &path)
{
    char *here = ::realpath(".", nullptr);
    char *real = ::realpath(path.c_str(), nullptr);
    bool holds = false;
    if (here != nullptr && real != nullptr) {
        const std::string base = real;
        const std::string cwd = here;
        holds = base == "/" || cwd == base || cwd.rfind(base + "/", 0) == 0;
    }
    std::free(here);
    std::free(real);
    return holds;
}

/// An item named by a path: the folder it is in, open (O_PATH), and its name there.
struct Place
{
    UniqueFd folder;
    std::string name;

    Code open(const std::string &path)
    {
        name = nameOf(path);
        folder.reset(::open(folderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        return folder ? 0 : fromErrno(errno);
    }
};

/// Puts finished item @p temp of @p dirFd in place as @p name, which must not exist.
int placeNew(int dirFd, const std::string &temp, const std::string &name, bool folder)
{
    if (::renameat2(dirFd, temp.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // No RENAME_NOREPLACE on this file system: a file is linked, which never
    // replaces; a folder can only be checked first.
    if (!folder) {
        if (::linkat(dirFd, temp.c_str(), dirFd, name.c_str(), 0) != 0) {
            return errno;
        }
        ::unlinkat(dirFd, temp.c_str(), 0);
        return 0;
    }
    struct stat st
    { };
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) == 0 ? 0 : errno;
}

/// Made parent folders: removed again, deepest first, when the operation fails.
class MadeFolders
{
public:
    ~MadeFolders()
    {
        if (!keep_) {
            for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
                ::rmdir(it->c_str()); // only while empty: never what others put there
            }
        }
    }
    void keep() { keep_ = true; }

    Code make(const std::string &path)
    {
        struct stat st
        { };
        if (::stat(path.c_str(), &st) == 0) {
            return S_ISDIR(st.st_mode) ? 0 : FoErrFolderOntoFile;
        }
        if (path != "/" && path != ".") {
            if (Code c = make(folderOf(path))) {
                return c;
            }
        }
        if (::mkdir(path.c_str(), 0777) != 0) {
            return errno == EEXIST ? 0 : fromErrno(errno);
        }
        made_.push_back(path);
        return 0;
    }

private:
    std::vector<std::string> made_;
    bool keep_ = false;
};

class Operation
{
public:
    explicit Operation(const FileOperationRequest &request) : request_(request) { }

    Code run()
    {
        switch (request_.function) {
        case FoDelete:
            return remove();
        case FoCopy:
        case FoMove:
        case FoRename:
            return transferAll();
        default:
            return FoErrInvalid;
        }
    }

private:
    bool flag(std::uint16_t bit) const { return (request_.flags & bit) != 0; }

    /// The sources @p from names, dot segments resolved: itself when it
    /// exists, else the matches of the wildcards in its file-name part, sorted.
    Code expand(std::vector<std::string> &sources, bool &many) const
    {
        many = false;
        if (withoutTrailingSlashes(request_.from).empty()) {
            return FoErrInvalid;
        }
        const std::string from = shellpath::resolveDots(request_.from);
        if (exists(from)) {
            sources.push_back(from);
            return 0;
        }
        const int missing = errno;
        const std::string pattern = nameOf(from);
        const bool bare = from.find('/') == std::string::npos;
        const std::string folder = bare ? "." : folderOf(from);
        if (!shellpath::hasWildcard(pattern) || shellpath::hasWildcard(folder)) {
            return fromErrno(missing);
        }
        const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        std::vector<std::string> names;
        if (!fd) {
            return fromErrno(errno);
        }
        if (int error = tree::listNames(fd.get(), names)) {
            return fromErrno(error);
        }
        for (const auto &name : names) {
            // An item still being written is nobody's file yet.
            if (name.rfind(TemporaryPrefix, 0) != 0 && shellpath::wildcardMatch(pattern, name)) {
                sources.push_back(bare ? name : joinFilePath(folder, name));
            }
        }
        std::sort(sources.begin(), sources.end());
        many = true;
        return sources.empty() ? FoErrNotFound : 0;
    }

    Code remove()
    {
        std::vector<std::string> sources;
        bool many = false;
        if (Code c = expand(sources, many)) {
            return c;
        }
        for (const auto &source : sources) {
            if (Code c = removeOne(source)) {
                return c;
            }
        }
        return 0;
    }

    /// Removes (or trashes) one item; what cannot go as a whole is left untouched.
    Code removeOne(const std::string &path)
    {
        // The root, and the current folder (which Windows cannot delete) by
        // any name; a link to one is only a link.
        struct stat st
        { };
        if (path == "/" || (lstatOf(path, st) && S_ISDIR(st.st_mode) && holdsCurrentFolder(path))) {
            return ErrSharingViolation;
        }
        Place place;
        if (Code c = place.open(path)) {
            return c;
        }
        const char *name = place.name.c_str();
        if (flag(FofAllowUndo)) {
            // Checked here, before GIO writes a .trashinfo it must take back.
            if (int error = tree::checkMovable(place.folder.get(), name)) {
                return fromErrno(error);
            }
            return trashThroughGio(path);
        }
        if (int error = tree::checkRemovable(place.folder.get(), name)) {
            return fromErrno(error);
        }
        const int error = tree::removeTree(place.folder.get(), name);
        return error == 0 ? 0 : fromErrno(error);
    }

    // Its own function: the sanitizer's leak list (tests/lsan.supp) names it
    // for GLib's leak when the move into the trash is refused.
    static Code trashThroughGio(const std::string &path)
    {
        // GIO writes the .trashinfo first and moves the file after it, into
        // the home trash or the volume's own; on failure the file stays.
        GFilePtr file(g_file_new_for_path(path.c_str()));
        GErrorHolder holder;
        return g_file_trash(file.get(), nullptr, &holder.error) ? 0 : fromGError(holder.error);
    }

    Code transferAll()
    {
        std::vector<std::string> sources;
        bool many = false;
        if (Code c = expand(sources, many)) {
            return c;
        }
        const bool rename = request_.function == FoRename;
        if (withoutTrailingSlashes(request_.to).empty() || (rename && many)) {
            return FoErrInvalid;
        }
        const std::string lastPart = nameOf(withoutTrailingSlashes(request_.to));
        const bool folderHint = request_.to.back() == '/' || lastPart == "." || lastPart == "..";
        const std::string to = shellpath::resolveDots(request_.to);
        struct stat st
        { };
        const bool toIsFolder = ::stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const bool into = !rename && (many || toIsFolder || folderHint);
        // Parent folders are made once the sources are known to exist, and
        // go again (while empty) if the operation fails.
        MadeFolders parents;
        if (Code c = parents.make(into ? to : folderOf(to))) {
            return c;
        }
        for (const auto &source : sources) {
            const std::string target = into ? joinFilePath(to, nameOf(source)) : to;
            if (Code c = transfer(source, target)) {
                return c;
            }
        }
        parents.keep();
        return 0;
    }

    Code transfer(const std::string &source, std::string target)
    {
        struct stat s
        { };
        if (!lstatOf(source, s)) {
            return fromErrno(errno);
        }
        const bool folder = S_ISDIR(s.st_mode);
        struct stat t
        { };
        bool overwrite = false;
        if (lstatOf(target, t)) {
            // One file is no collision, whatever the flags say.
            if (t.st_dev == s.st_dev && t.st_ino == s.st_ino) {
                return FoErrSameFile;
            }
            if (flag(FofRenameOnCollision)) {
                target = freeName(target);
                if (target.empty()) {
                    return ErrAlreadyExists;
                }
            } else if (request_.function == FoRename) {
                return ErrAlreadyExists;
            } else if (!flag(FofNoConfirmation)) {
                return FoErrCancelled;
            } else if (folder != S_ISDIR(t.st_mode)) {
                return folder ? FoErrFolderOntoFile : FoErrFileOntoFolder;
            } else {
                overwrite = true;
            }
        }
        if (folder && isInside(source, target)) {
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
        return request_.function == FoCopy
            ? copyItem(
                from.folder.get(), from.name, s, to.folder.get(), to.name, overwrite, nullptr)
            : moveItem(from.folder.get(), from.name, s, to.folder.get(), to.name, overwrite);
    }

    /// Removes leftovers of dead writers from destination folder @p dirFd, once per folder.
    void removeLeftovers(int dirFd)
    {
        struct stat st
        { };
        if (::fstat(dirFd, &st) != 0 || !cleaned_.insert({ st.st_dev, st.st_ino }).second) {
            return;
        }
        for (const auto &name : deadWritersNames(dirFd, TemporaryPrefix)) {
            tree::removeTree(dirFd, name.c_str(), true);
        }
    }

    /// Copies a whole item under a temporary name and puts it in place when
    /// complete (over the old item with @p overwrite); a failed copy leaves
    /// nothing it made. A folder onto a folder is merged.
    Code copyItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
        const std::string &to, bool overwrite, tree::CopyRecord *record)
    {
        if (overwrite && S_ISDIR(st.st_mode)) {
            return mergeCopy(fromDir, from, toDir, to, record);
        }
        removeLeftovers(toDir);
        const std::string temp = writerTemporaryName(TemporaryPrefix);
        int error = tree::copyNew(fromDir, from.c_str(), st, toDir, temp.c_str(), record);
        if (error == 0) {
            error = overwrite
                ? (::renameat(toDir, temp.c_str(), toDir, to.c_str()) == 0 ? 0 : errno)
                : placeNew(toDir, temp, to, S_ISDIR(st.st_mode));
        }
        if (error != 0) {
            tree::removeTree(toDir, temp.c_str(), true);
            return fromErrno(error);
        }
        return 0;
    }

    /// Opens folder @p from of @p fromDir and existing folder @p to of @p toDir for a merge.
    static Code openPair(int fromDir, const std::string &from, int toDir, const std::string &to,
        UniqueFd &in, UniqueFd &out, std::vector<std::string> &names)
    {
        in = tree::openFolder(fromDir, from.c_str());
        out = tree::openFolder(toDir, to.c_str());
        if (!in || !out) {
            return fromErrno(errno);
        }
        const int error = tree::listNames(in.get(), names);
        return error == 0 ? 0 : fromErrno(error);
    }

    /// Looks at child @p name of a merge: its lstat in @p in, and whether @p out has one.
    static Code mergeChild(
        int in, int out, const std::string &name, struct stat &child, bool &existing)
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

    Code mergeCopy(int fromDir, const std::string &from, int toDir, const std::string &to,
        tree::CopyRecord *record)
    {
        UniqueFd in;
        UniqueFd out;
        std::vector<std::string> names;
        if (Code c = openPair(fromDir, from, toDir, to, in, out, names)) {
            return c;
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
            if (Code c = copyItem(in.get(), name, child, out.get(), name, existing, record)) {
                return c;
            }
        }
        return 0;
    }

    Code moveItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
        const std::string &to, bool overwrite)
    {
        if (overwrite && S_ISDIR(st.st_mode)) {
            return mergeMove(fromDir, from, toDir, to);
        }
        removeLeftovers(toDir);
        int error = 0;
        if (overwrite) {
            error = ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
        } else if (::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) != 0) {
            error = errno;
            if (error == EINVAL || error == ENOSYS) {
                // No RENAME_NOREPLACE on this file system.
                struct stat there
                { };
                error = ::fstatat(toDir, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 ? EEXIST
                    : ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0        ? 0
                                                                                       : errno;
            }
        }
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

    Code mergeMove(int fromDir, const std::string &from, int toDir, const std::string &to)
    {
        UniqueFd in;
        UniqueFd out;
        std::vector<std::string> names;
        if (Code c = openPair(fromDir, from, toDir, to, in, out, names)) {
            return c;
        }
        for (const auto &name : names) {
            struct stat child
            { };
            bool existing = false;
            if (Code c = mergeChild(in.get(), out.get(), name, child, existing)) {
                return c;
            }
            if (Code c = moveItem(in.get(), name, child, out.get(), name, existing)) {
                return c;
            }
        }
        return ::unlinkat(fromDir, from.c_str(), AT_REMOVEDIR) == 0 ? 0 : fromErrno(errno);
    }

    const FileOperationRequest &request_;
    std::set<std::pair<dev_t, ino_t>> cleaned_;
};

class GioShellFileOperation final : public ShellFileOperation
{
public:
    std::int32_t run(const FileOperationRequest &request) override
    {
        if (request.from.find('\0') != std::string::npos
            || request.to.find('\0') != std::string::npos) {
            return FoErrInvalid;
        }
        return Operation(request).run();
    }
};

} // namespace

template<> ShellFileOperation &Seam<ShellFileOperation>::defaultInstance()
{
    static GioShellFileOperation instance;
    return instance;
}

} // namespace platform
