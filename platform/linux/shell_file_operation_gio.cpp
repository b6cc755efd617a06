// The shell's file operation on GIO. GIO copies links and knows the
// freedesktop trash; file contents are copied in the kernel (copy_file_range:
// GIO 2.74 pumps them through a pipe, far slower on large files); the walk
// over folders, the wildcards and the shell's rules for destinations and
// collisions are ours. Nothing asks
// the user: where the Windows shell would ask before overwriting, the
// operation is refused, so a user's file is never lost silently.

#include "platform/linux/unique_fd.h"
#include "platform/shell_file_operation.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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
        return ErrSharingViolation;
    case EINVAL:
        return FoErrInvalid;
    case ENOTEMPTY:
        return ErrDirNotEmpty;
    case EISDIR:
        return FoErrFileOntoFolder;
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

std::string join(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder == ".") {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string folderOf(const std::string &path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

// Wildcards as the Windows shell reads them: "*" any run of characters, "?"
// one character, "*.*" every name. Matching is case-sensitive, as names are here.
bool hasWildcard(const std::string &text)
{
    return text.find_first_of("*?") != std::string::npos;
}

std::size_t nextCharacter(const std::string &s, std::size_t i)
{
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) {
        ++i;
    }
    return i;
}

bool wildcardMatch(const std::string &pattern, const std::string &name)
{
    if (pattern == "*.*") {
        return true;
    }
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n = nextCharacter(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            starN = nextCharacter(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
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
        std::string candidate = join(folder, stem + " (" + std::to_string(n) + ")" + ext);
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
    return join(resolved == "/" ? "/" : resolved, tail);
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

Code makeFolders(const std::string &path)
{
    struct stat st
    { };
    if (::stat(path.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : FoErrFolderOntoFile;
    }
    if (path != "/" && path != ".") {
        if (Code c = makeFolders(folderOf(path))) {
            return c;
        }
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        return fromErrno(errno);
    }
    return 0;
}

/// The names in folder @p path, "." and ".." left out; errno is kept on failure.
bool listFolder(const std::string &path, std::vector<std::string> &names)
{
    DIR *dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    while (dirent *entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    }
    ::closedir(dir);
    return true;
}

/// Removes @p path and, for a folder, everything in it; links are removed, never followed.
Code removeTree(const std::string &path)
{
    struct stat st
    { };
    if (!lstatOf(path, st)) {
        return fromErrno(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        if (!listFolder(path, names)) {
            return fromErrno(errno);
        }
        for (const auto &name : names) {
            if (Code c = removeTree(join(path, name))) {
                return c;
            }
        }
        return ::rmdir(path.c_str()) == 0 ? 0 : fromErrno(errno);
    }
    return ::unlink(path.c_str()) == 0 ? 0 : fromErrno(errno);
}

/// One file or link through GIO; never replaces an existing @p to.
Code gioCopy(const std::string &from, const std::string &to)
{
    GFilePtr source(g_file_new_for_path(from.c_str()));
    GFilePtr target(g_file_new_for_path(to.c_str()));
    GErrorHolder holder;
    if (g_file_copy(source.get(), target.get(), G_FILE_COPY_NOFOLLOW_SYMLINKS, nullptr, nullptr,
            nullptr, &holder.error)) {
        return 0;
    }
    return fromGError(holder.error);
}

/// One regular file's bytes, copied inside the kernel (copy_file_range; plain
/// reads and writes where a file system cannot), with its mode and write time.
/// Creates @p to exclusively and removes it again on failure.
Code copyRegular(const std::string &from, const std::string &to)
{
    const UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!in) {
        return fromErrno(errno);
    }
    struct stat st
    { };
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return fromErrno(errno);
    }
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out) {
        return fromErrno(errno);
    }
    int error = 0;
    bool inKernel = true;
    std::uint64_t copied = 0;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = -1;
        if (inKernel) {
            n = ::copy_file_range(
                in.get(), nullptr, out.get(), nullptr, std::size_t { 1 } << 30, 0);
            if (n < 0 && copied == 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                inKernel = false;
                continue;
            }
        } else {
            buffer.resize(std::size_t { 1 } << 20);
            n = ::read(in.get(), buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                ssize_t w =
                    ::write(out.get(), buffer.data() + done, static_cast<std::size_t>(n - done));
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    n = -1;
                    break;
                }
                done += w;
            }
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno != 0 ? errno : EIO;
            break;
        }
        if (n == 0) {
            break;
        }
        copied += static_cast<std::uint64_t>(n);
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
        ::unlink(to.c_str());
        return fromErrno(error);
    }
    return 0;
}

/// One item: a regular file by copyRegular, a link through GIO as a link.
Code copyOne(const std::string &from, const std::string &to, const struct stat &st)
{
    return S_ISREG(st.st_mode) ? copyRegular(from, to) : gioCopy(from, to);
}

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

    /// The sources @p from names: itself when it exists, else the matches of
    /// the wildcards in its file-name part, sorted.
    Code expand(std::vector<std::string> &sources, bool &many) const
    {
        many = false;
        const std::string from = withoutTrailingSlashes(request_.from);
        if (from.empty()) {
            return FoErrInvalid;
        }
        if (exists(request_.from)) {
            sources.push_back(from);
            return 0;
        }
        const int missing = errno;
        const std::string pattern = nameOf(from);
        const bool bare = from.find('/') == std::string::npos;
        const std::string folder = bare ? "." : folderOf(from);
        if (!hasWildcard(pattern) || hasWildcard(folder)) {
            return fromErrno(missing);
        }
        std::vector<std::string> names;
        if (!listFolder(folder, names)) {
            return fromErrno(errno);
        }
        for (const auto &name : names) {
            if (wildcardMatch(pattern, name)) {
                sources.push_back(bare ? name : join(folder, name));
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
            Code c = flag(FofAllowUndo) ? trash(source) : removeTree(source);
            if (c != 0) {
                return c;
            }
        }
        return 0;
    }

    static Code trash(const std::string &path)
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
        if (request_.to.empty() || (rename && many)) {
            return FoErrInvalid;
        }
        const bool folderHint = request_.to.back() == '/';
        const std::string to = withoutTrailingSlashes(request_.to);
        struct stat st
        { };
        const bool toIsFolder = ::stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const bool into = !rename && (many || toIsFolder || folderHint);
        if (into) {
            if (Code c = makeFolders(to)) {
                return c;
            }
        } else if (Code c = makeFolders(folderOf(to))) {
            return c;
        }
        for (const auto &source : sources) {
            const std::string target = into ? join(to, nameOf(source)) : to;
            if (Code c = transfer(source, target)) {
                return c;
            }
        }
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
            const bool same = t.st_dev == s.st_dev && t.st_ino == s.st_ino;
            if (flag(FofRenameOnCollision)) {
                target = freeName(target);
                if (target.empty()) {
                    return ErrAlreadyExists;
                }
            } else if (same) {
                return FoErrSameFile;
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
        return request_.function == FoCopy ? copyItem(source, target, s, overwrite)
                                           : moveItem(source, target, s, overwrite);
    }

    /// Copies a whole item; on failure removes everything it made, so only
    /// complete copies are left behind.
    Code copyItem(
        const std::string &from, const std::string &to, const struct stat &st, bool overwrite)
    {
        std::vector<std::string> made;
        Code c = copyTree(from, to, st, overwrite, made);
        if (c != 0) {
            for (auto it = made.rbegin(); it != made.rend(); ++it) {
                if (::unlink(it->c_str()) != 0) {
                    ::rmdir(it->c_str());
                }
            }
        }
        return c;
    }

    Code copyTree(const std::string &from, const std::string &to, const struct stat &st,
        bool overwrite, std::vector<std::string> &made)
    {
        if (S_ISDIR(st.st_mode)) {
            const bool merge = overwrite;
            if (!merge) {
                // Owner-only while filling; the source's bits afterwards.
                if (::mkdir(to.c_str(), 0700) != 0) {
                    return fromErrno(errno);
                }
                made.push_back(to);
            }
            std::vector<std::string> names;
            if (!listFolder(from, names)) {
                return fromErrno(errno);
            }
            for (const auto &name : names) {
                const std::string childFrom = join(from, name);
                const std::string childTo = join(to, name);
                struct stat child
                { };
                if (!lstatOf(childFrom, child)) {
                    return fromErrno(errno);
                }
                bool childOverwrite = false;
                struct stat existing
                { };
                if (merge && lstatOf(childTo, existing)) {
                    if (S_ISDIR(child.st_mode) != S_ISDIR(existing.st_mode)) {
                        return S_ISDIR(child.st_mode) ? FoErrFolderOntoFile : FoErrFileOntoFolder;
                    }
                    childOverwrite = true;
                }
                if (Code c = copyTree(childFrom, childTo, child, childOverwrite, made)) {
                    return c;
                }
            }
            if (!merge && ::chmod(to.c_str(), st.st_mode & 07777) != 0) {
                return fromErrno(errno);
            }
            return 0;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            return ErrNotSupported;
        }
        if (overwrite) {
            // The new copy is made beside the old file and then takes its
            // place in one step: a failed copy leaves the old file whole.
            const std::string temp = join(folderOf(to),
                ".~" + nameOf(to) + ".copy" + std::to_string(::getpid()) + "-"
                    + std::to_string(++tempCounter_));
            if (Code c = copyOne(from, temp, st)) {
                ::unlink(temp.c_str());
                return c;
            }
            if (::rename(temp.c_str(), to.c_str()) != 0) {
                const int error = errno;
                ::unlink(temp.c_str());
                return fromErrno(error);
            }
            return 0;
        }
        if (Code c = copyOne(from, to, st)) {
            // Not there before (checked, and GIO creates exclusively): a
            // partial copy is ours to remove.
            if (c != ErrAlreadyExists) {
                ::unlink(to.c_str());
            }
            return c;
        }
        made.push_back(to);
        return 0;
    }

    Code moveItem(
        const std::string &from, const std::string &to, const struct stat &st, bool overwrite)
    {
        if (overwrite && S_ISDIR(st.st_mode)) {
            return mergeFolder(from, to);
        }
        int result = overwrite
            ? ::rename(from.c_str(), to.c_str())
            : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && !overwrite && (errno == EINVAL || errno == ENOSYS)) {
            // No RENAME_NOREPLACE on this file system.
            result = exists(to) ? (errno = EEXIST, -1) : ::rename(from.c_str(), to.c_str());
        }
        if (result == 0) {
            return 0;
        }
        if (errno != EXDEV) {
            return fromErrno(errno);
        }
        // Another file system: a complete copy first, then the source goes.
        if (Code c = copyItem(from, to, st, overwrite)) {
            return c;
        }
        return removeTree(from);
    }

    Code mergeFolder(const std::string &from, const std::string &to)
    {
        std::vector<std::string> names;
        if (!listFolder(from, names)) {
            return fromErrno(errno);
        }
        for (const auto &name : names) {
            const std::string childFrom = join(from, name);
            const std::string childTo = join(to, name);
            struct stat child
            { };
            if (!lstatOf(childFrom, child)) {
                return fromErrno(errno);
            }
            struct stat existing
            { };
            bool childOverwrite = false;
            if (lstatOf(childTo, existing)) {
                if (S_ISDIR(child.st_mode) != S_ISDIR(existing.st_mode)) {
                    return S_ISDIR(child.st_mode) ? FoErrFolderOntoFile : FoErrFileOntoFolder;
                }
                childOverwrite = true;
            }
            if (Code c = moveItem(childFrom, childTo, child, childOverwrite)) {
                return c;
            }
        }
        return ::rmdir(from.c_str()) == 0 ? 0 : fromErrno(errno);
    }

    const FileOperationRequest &request_;
    unsigned tempCounter_ = 0;
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
