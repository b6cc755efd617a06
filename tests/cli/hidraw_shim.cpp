// Preloaded into a program under test (LD_PRELOAD): its hidraw paths lead to
// a stand-in tree, so the program runs unchanged against virtual boards.
//   PORTPROBE_SHIM_SYSFS  stands for /sys/class/hidraw
//   PORTPROBE_SHIM_DEV    stands for /dev (the hidrawN entries)
//   PORTPROBE_SHIM_DENY   node names ("hidraw0,hidraw2") whose rights check fails
// A node that is a listening AF_UNIX SOCK_SEQPACKET socket is connected to in
// place of open(2): one connection per open file, as hidraw queues reports
// per open file.

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

template<class F> F next(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The stand-in of @p path in @p out; false when it has none.
bool redirect(const char *path, char *out, std::size_t size)
{
    if (path == nullptr) {
        return false;
    }
    const char *sys = std::getenv("PORTPROBE_SHIM_SYSFS");
    const char *dev = std::getenv("PORTPROBE_SHIM_DEV");
    constexpr const char *Class = "/sys/class/hidraw";
    const std::size_t classLength = std::strlen(Class);
    if (sys != nullptr && startsWith(path, Class)
        && (path[classLength] == '\0' || path[classLength] == '/')) {
        return std::snprintf(out, size, "%s%s", sys, path + classLength) < static_cast<int>(size);
    }
    if (dev != nullptr && std::strcmp(path, "/dev") == 0) {
        return std::snprintf(out, size, "%s", dev) < static_cast<int>(size);
    }
    if (dev != nullptr && startsWith(path, "/dev/hidraw")) {
        return std::snprintf(out, size, "%s%s", dev, path + 4) < static_cast<int>(size);
    }
    return false;
}

bool denied(const char *path)
{
    const char *deny = std::getenv("PORTPROBE_SHIM_DENY");
    if (deny == nullptr || path == nullptr) {
        return false;
    }
    const char *slash = std::strrchr(path, '/');
    const char *name = slash != nullptr ? slash + 1 : path;
    const std::size_t length = std::strlen(name);
    for (const char *p = deny; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool starts = p == deny || p[-1] == ',';
        const bool ends = p[length] == '\0' || p[length] == ',';
        if (length > 0 && starts && ends) {
            return true;
        }
    }
    return false;
}

// A connection to the socket at @p path, or -2 when @p path is no socket.
int connectNode(const char *path, int flags)
{
    struct stat st
    { };
    if (::stat(path, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return -2;
    }
    if (denied(path)) {
        errno = EACCES;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | ((flags & O_CLOEXEC) ? SOCK_CLOEXEC : 0), 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error == ECONNREFUSED ? ENODEV : error;
        return -1;
    }
    if (flags & O_NONBLOCK) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    return fd;
}

using OpenFn = int (*)(const char *, int, ...);
using OpenAtFn = int (*)(int, const char *, int, ...);

int openVia(OpenFn real, const char *path, int flags, mode_t mode)
{
    char buffer[4096];
    if (redirect(path, buffer, sizeof buffer)) {
        path = buffer;
        if (const int fd = connectNode(path, flags); fd != -2) {
            return fd;
        }
    }
    return real(path, flags, mode);
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto real = next<OpenFn>("open");
    return openVia(real, path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto real = next<OpenFn>("open64");
    return openVia(real, path, flags, mode);
}

int __open_2(const char *path, int flags)
{
    static const auto real = next<OpenFn>("open");
    return openVia(real, path, flags, 0);
}

int __open64_2(const char *path, int flags)
{
    static const auto real = next<OpenFn>("open64");
    return openVia(real, path, flags, 0);
}

int openat(int dir, const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static const auto real = next<OpenAtFn>("openat");
    char buffer[4096];
    if (path != nullptr && path[0] == '/' && redirect(path, buffer, sizeof buffer)) {
        path = buffer;
        if (const int fd = connectNode(path, flags); fd != -2) {
            return fd;
        }
    }
    return real(dir, path, flags, mode);
}

DIR *opendir(const char *path)
{
    static const auto real = next<DIR *(*)(const char *)>("opendir");
    char buffer[4096];
    return real(redirect(path, buffer, sizeof buffer) ? buffer : path);
}

int access(const char *path, int mode)
{
    static const auto real = next<int (*)(const char *, int)>("access");
    char buffer[4096];
    if (redirect(path, buffer, sizeof buffer)) {
        if (denied(buffer)) {
            errno = EACCES;
            return -1;
        }
        path = buffer;
    }
    return real(path, mode);
}

int faccessat(int dir, const char *path, int mode, int flags)
{
    static const auto real = next<int (*)(int, const char *, int, int)>("faccessat");
    char buffer[4096];
    if (path != nullptr && path[0] == '/' && redirect(path, buffer, sizeof buffer)) {
        path = buffer;
    }
    if (std::getenv("PORTPROBE_SHIM_DEV") != nullptr && denied(path)) {
        errno = EACCES;
        return -1;
    }
    return real(dir, path, mode, flags);
}

} // extern "C"
