#include "platform/linux/writer_leftovers.h"

#include "platform/linux/file_tree.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

/// When process @p pid started, in clock ticks since boot: field 22 of
/// /proc/<pid>/stat.
std::optional<std::uint64_t> startTime(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    char text[1024];
    const ssize_t n = fd ? readFull(fd.get(), text, sizeof text) : -1;
    std::string_view line(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    // The command name (field 2) may hold spaces and parentheses; field 3 on
    // follow its last ")".
    const auto close = line.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    line.remove_prefix(close + 1);
    for (int field = 3; field <= 22; ++field) {
        if (line.empty() || line.front() != ' ') {
            return std::nullopt;
        }
        line.remove_prefix(1);
        const auto end = std::min(line.find(' '), line.size());
        if (field == 22) {
            std::uint64_t started = 0;
            const auto [last, error] = std::from_chars(line.data(), line.data() + end, started);
            if (error != std::errc() || last != line.data() + end || end == 0) {
                return std::nullopt;
            }
            return started;
        }
        line.remove_prefix(end);
    }
    return std::nullopt;
}

/// This process's namespace of process IDs (0 where /proc does not tell): a
/// process ID from another one means nothing here.
std::uint64_t pidSpace()
{
    struct stat st
    { };
    return ::stat("/proc/self/ns/pid", &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
}

/// The mark on the item open as @p fd (O_PATH), if any.
std::optional<WriterMark> markOf(int fd)
{
    char text[80];
    ssize_t n = ::fgetxattr(fd, WriterMarkAttribute, text, sizeof text);
    if (n < 0 && errno == EBADF) {
        // Older kernels read no attributes through an O_PATH descriptor.
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        n = ::getxattr(path.c_str(), WriterMarkAttribute, text, sizeof text);
    }
    if (n < 0) {
        return std::nullopt;
    }
    return WriterMark::parse(std::string_view(text, static_cast<std::size_t>(n)));
}

/// Whether the writer that made @p mark has certainly ended: no process has
/// its ID any more, or one that started at another time. Anything this
/// process cannot judge (another namespace, /proc hidden) counts as running.
bool writerGone(const WriterMark &mark)
{
    if (mark.pid == 0 || mark.pid > static_cast<std::uint64_t>(INT32_MAX)
        || mark.space != pidSpace()) {
        return false;
    }
    const auto pid = static_cast<pid_t>(mark.pid);
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    const auto started = startTime(pid);
    return started && *started != mark.started;
}

/// Whether entry @p name of @p dirFd is a dead writer's leftover: named
/// "<prefix><pid>.<serial>", a regular file (with @p folders also a folder)
/// of this user, marked by a writer with that process ID that has ended.
/// Its lstat goes to @p st.
bool deadWriterItem(
    int dirFd, const char *name, std::string_view prefix, bool folders, struct stat &st)
{
    const auto pid = temporaryNameWriter(name, prefix);
    if (!pid) {
        return false;
    }
    const UniqueFd fd(::openat(dirFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid()
        || !(S_ISREG(st.st_mode) || (folders && S_ISDIR(st.st_mode)))) {
        return false;
    }
    const auto mark = markOf(fd.get());
    return mark && mark->pid == *pid && writerGone(*mark);
}

/// Removes marked folder @p name of @p dirFd (its lstat @p st) with what is in
/// it. Only the folder itself, verified as ours, has its mode changed.
void removeMarkedFolder(int dirFd, const char *name, const struct stat &st)
{
    const UniqueFd fd = tree::openFolder(dirFd, name);
    struct stat self
    { };
    if (!fd || ::fstat(fd.get(), &self) != 0 || self.st_dev != st.st_dev
        || self.st_ino != st.st_ino) {
        return;
    }
    if ((self.st_mode & S_IRWXU) != S_IRWXU && ::fchmod(fd.get(), S_IRWXU) != 0) {
        return;
    }
    std::vector<std::string> names;
    if (tree::listNames(fd.get(), names) != 0) {
        return;
    }
    for (const auto &child : names) {
        tree::removeTree(fd.get(), child.c_str());
    }
    ::unlinkat(dirFd, name, AT_REMOVEDIR); // fails where anything stayed
}

void sweep(int dirFd, std::string_view prefix, bool folders)
{
    std::vector<std::string> names;
    UniqueFd fd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR *dir = fd ? ::fdopendir(fd.get()) : nullptr;
    if (dir == nullptr) {
        return;
    }
    fd.release(); // the stream owns it now
    while (const dirent *entry = ::readdir(dir)) {
        if (temporaryNameWriter(entry->d_name, prefix)) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const auto &name : names) {
        struct stat st
        { };
        if (!deadWriterItem(dirFd, name.c_str(), prefix, folders, st)) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            removeMarkedFolder(dirFd, name.c_str(), st);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
}

} // namespace

std::string writerTemporaryName(std::string_view prefix)
{
    return writerTemporaryName(prefix, static_cast<std::uint64_t>(::getpid()));
}

std::optional<WriterMark> runningWriter(pid_t pid)
{
    const auto started = startTime(pid);
    if (!started) {
        return std::nullopt;
    }
    return WriterMark { static_cast<std::uint64_t>(pid), *started, pidSpace() };
}

void markTemporary(int fd)
{
    if (const auto mark = runningWriter(::getpid())) {
        const std::string text = mark->text();
        if (::fsetxattr(fd, WriterMarkAttribute, text.data(), text.size(), 0) != 0) {
            // ENOTSUP or any other refusal: unmarked, so never swept.
        }
    }
}

int createMarkedFile(int dirFd, const char *folder, const char *name, mode_t mode)
{
    const UniqueFd at(::openat(dirFd, folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at) {
        return -1;
    }
    return tree::createFile(at.get(), name, mode, [](int fd) {
        markTemporary(fd);
        return 0;
    });
}

void unmarkTemporary(int dirFd, const char *name)
{
    const std::string path =
        dirFd == AT_FDCWD ? name : "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
    if (::lremovexattr(path.c_str(), WriterMarkAttribute) != 0) {
        // Read-only by now, or never marked: the final name is never swept.
    }
}

void removeDeadWritersFiles(const std::string &folder, std::string_view prefix)
{
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        sweep(dir.get(), prefix, false);
    }
}

void removeDeadWritersItems(int dirFd, std::string_view prefix)
{
    sweep(dirFd, prefix, true);
}

} // namespace platform
