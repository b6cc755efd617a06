#include "platform/linux/writer_leftovers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string writerTemporaryName(std::string_view prefix)
{
    static std::atomic<unsigned> serial { 0 };
    return std::string(prefix) + std::to_string(::getpid()) + "." + std::to_string(serial++);
}

void removeDeadWritersFiles(const std::string &folder, std::string_view prefix)
{
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        name.remove_prefix(prefix.size());
        auto dot = name.find('.');
        auto digits = [](std::string_view s) {
            return !s.empty() && s.size() < 12
                && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        if (dot == std::string_view::npos || !digits(name.substr(0, dot))
            || !digits(name.substr(dot + 1))) {
            continue;
        }
        const long pid = std::strtol(std::string(name.substr(0, dot)).c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0
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
