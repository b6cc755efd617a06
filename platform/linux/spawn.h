#pragma once
// Starting a program found on PATH with its arguments as they are: no shell
// ever sees them, so blanks, quotes and leading dashes stay plain text.

#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <unistd.h> // environ (a GNU extension, on with g++ and clang++)
#include <vector>

namespace platform {

/// Starts args[0], found on PATH, with @p args; the child's pid, or -1.
inline pid_t spawnOnPath(const std::vector<std::string> &args)
{
    if (args.empty()) {
        return -1;
    }
    std::vector<char *> argv;
    for (const auto &a : args) {
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

} // namespace platform
