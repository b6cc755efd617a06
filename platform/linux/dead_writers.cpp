#include "platform/linux/dead_writers.h"

#include "platform/linux/unique_fd.h"

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

std::string writersTemporaryName(std::string_view prefix)
{
    static std::atomic<unsigned> serial { 0 };
    return std::string(prefix) + std::to_string(::getpid()) + "." + std::to_string(serial++);
}

std::vector<std::string> deadWritersNames(int dirFd, std::string_view prefix)
{
    std::vector<std::string> names;
    UniqueFd fd(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR *dir = fd ? ::fdopendir(fd.get()) : nullptr;
    if (dir == nullptr) {
        return names;
    }
    fd.release();
    auto digits = [](std::string_view s) {
        return !s.empty() && s.size() < 12
            && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    while (const dirent *entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        name.remove_prefix(prefix.size());
        const auto dot = name.find('.');
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
            && info.st_uid == ::geteuid()) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

} // namespace platform
