// Paths the shell's file operation resolves against the file system: free
// names, "is the destination inside the source", the current folder, and
// the parent folders it makes (taken back, while empty, on failure).

#include "platform/linux/shell_places.h"
#include "platform/shared/path_join.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::shellop {
namespace {

/// @p path with every link resolved; empty when it cannot be.
std::string realPath(const std::string &path)
{
    char *real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return {};
    }
    std::string resolved = real;
    std::free(real);
    return resolved;
}

/// Whether @p path is @p base or lies below it (both resolved).
bool within(const std::string &base, const std::string &path)
{
    return base == "/" || path == base || path.rfind(base + "/", 0) == 0;
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
    const std::string resolved = realPath(head);
    if (resolved.empty()) {
        return {};
    }
    return joinFilePath(resolved, tail);
}

} // namespace

bool exists(const std::string &path)
{
    struct stat st
    { };
    return ::lstat(path.c_str(), &st) == 0;
}

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

bool isInside(const std::string &folder, const std::string &target)
{
    const std::string base = realPath(folder);
    return !base.empty() && within(base, resolvedFuturePath(target));
}

bool holdsCurrentFolder(const std::string &path)
{
    const std::string here = realPath(".");
    const std::string base = realPath(path);
    return !here.empty() && !base.empty() && within(base, here);
}

Code Place::open(const std::string &path)
{
    name = nameOf(path);
    folder.reset(::open(folderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder ? 0 : fromErrno(errno);
}

MadeFolders::~MadeFolders()
{
    if (!keep_) {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            ::rmdir(it->c_str()); // only while empty: never what others put there
        }
    }
}

Code MadeFolders::make(const std::string &path)
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

} // namespace platform::shellop
