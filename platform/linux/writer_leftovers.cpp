#include "platform/linux/writer_leftovers.h"

#include "platform/linux/unique_fd.h"
#include "platform/shared/writer_names.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string writerTemporaryName(std::string_view prefix)
{
    return writerTemporaryName(prefix, static_cast<std::uint64_t>(::getpid()));
}

std::vector<std::string> deadWritersNames(int dirFd, std::string_view prefix)
{
    std::vector<std::string> names;
    UniqueFd fd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR *dir = fd ? ::fdopendir(fd.get()) : nullptr;
    if (dir == nullptr) {
        return names;
    }
    fd.release(); // the stream owns it now
    while (const dirent *entry = ::readdir(dir)) {
        const auto pid = temporaryNameWriter(entry->d_name, prefix);
        if (!pid || *pid == 0 || *pid > static_cast<std::uint64_t>(INT32_MAX)
            || static_cast<pid_t>(*pid) == ::getpid() || ::kill(static_cast<pid_t>(*pid), 0) == 0
            || errno != ESRCH) {
            continue;
        }
        struct stat info = {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && info.st_uid == ::geteuid()) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

void removeDeadWritersFiles(const std::string &folder, std::string_view prefix)
{
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) {
        return;
    }
    for (const auto &name : deadWritersNames(dir.get(), prefix)) {
        struct stat info = {};
        if (::fstatat(dir.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode)) {
            ::unlinkat(dir.get(), name.c_str(), 0);
        }
    }
}

} // namespace platform
