// The shell's file operation (SHFileOperation) on Linux: the request is
// checked, its sources expanded (shell_sources.cpp), and each is removed,
// trashed or transferred (shell_transfer.cpp) in turn; the first failure
// ends the operation. GIO knows the freedesktop trash; the rest is ours.
// What cannot go as a whole is left untouched, and parent folders made for
// a failed transfer go again.

#include "platform/linux/file_tree.h"
#include "platform/linux/shell_paths.h"
#include "platform/linux/shell_places.h"
#include "platform/linux/shell_sources.h"
#include "platform/linux/shell_transfer.h"
#include "platform/shared/path_join.h"
#include "platform/shell_file_operation.h"

#include <gio/gio.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace platform {
namespace {

using namespace shellop;

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

// Its own function: the sanitizer's leak list (tests/lsan.supp) names it
// for GLib's leak when the move into the trash is refused.
Code trashThroughGio(const std::string &path)
{
    // GIO writes the .trashinfo first and moves the file after it, into
    // the home trash or the volume's own; on failure the file stays.
    GFilePtr file(g_file_new_for_path(path.c_str()));
    GErrorHolder holder;
    return g_file_trash(file.get(), nullptr, &holder.error) ? 0 : fromGError(holder.error);
}

/// Removes (or, with @p toTrash, trashes) one item; what cannot go as a
/// whole is left untouched.
Code removeOne(const std::string &path, bool toTrash)
{
    // The root, and the current folder (which Windows cannot delete) by
    // any name; a link to one is only a link.
    struct stat st
    { };
    if (path == "/"
        || (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && holdsCurrentFolder(path))) {
        return ErrSharingViolation;
    }
    Place place;
    if (Code c = place.open(path)) {
        return c;
    }
    const char *name = place.name.c_str();
    if (toTrash) {
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

Code removeAll(const FileOperationRequest &request)
{
    std::vector<std::string> sources;
    bool many = false;
    if (Code c = expandSources(request.from, sources, many)) {
        return c;
    }
    for (const auto &source : sources) {
        if (Code c = removeOne(source, (request.flags & FofAllowUndo) != 0)) {
            return c;
        }
    }
    return 0;
}

Code transferAll(const FileOperationRequest &request)
{
    std::vector<std::string> sources;
    bool many = false;
    if (Code c = expandSources(request.from, sources, many)) {
        return c;
    }
    const bool rename = request.function == FoRename;
    if (withoutTrailingSlashes(request.to).empty() || (rename && many)) {
        return FoErrInvalid;
    }
    const std::string lastPart = nameOf(withoutTrailingSlashes(request.to));
    const bool folderHint = request.to.back() == '/' || lastPart == "." || lastPart == "..";
    const std::string to = shellpath::resolveDots(request.to);
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
    Transfer transfer(request.function, request.flags);
    for (const auto &source : sources) {
        if (Code c = transfer.run(source, into ? joinFilePath(to, nameOf(source)) : to)) {
            return c;
        }
    }
    parents.keep();
    return 0;
}

class GioShellFileOperation final : public ShellFileOperation
{
public:
    std::int32_t run(const FileOperationRequest &request) override
    {
        if (request.from.find('\0') != std::string::npos
            || request.to.find('\0') != std::string::npos) {
            return FoErrInvalid;
        }
        switch (request.function) {
        case FoDelete:
            return removeAll(request);
        case FoCopy:
        case FoMove:
        case FoRename:
            return transferAll(request);
        default:
            return FoErrInvalid;
        }
    }
};

} // namespace

template<> ShellFileOperation &Seam<ShellFileOperation>::defaultInstance()
{
    static GioShellFileOperation instance;
    return instance;
}

} // namespace platform
