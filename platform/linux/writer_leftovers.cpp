#include "platform/linux/writer_leftovers.h"
#include "platform/writer_names.h"

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

void removeDeadWritersFiles(const std::string &folder, std::string_view prefix)
{
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const auto pid = temporaryNameWriter(entry->d_name, prefix);
        if (!pid || *pid == 0 || *pid > static_cast<std::uint64_t>(INT32_MAX)
            || static_cast<pid_t>(*pid) == ::getpid() || ::kill(static_cast<pid_t>(*pid), 0) == 0
            || errno != ESRCH) {
            continue;
        }
        struct stat info = {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

} // namespace platform
