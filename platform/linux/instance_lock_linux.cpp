#include "platform/instance_lock.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The lock lives in the user's runtime folder (private to the user and
// emptied at log-out). Without one, a folder of our own under /tmp serves,
// accepted only when it is a real directory owned by us and closed to others.
std::optional<std::string> lockFolder()
{
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        return std::string(runtime);
    }
    std::string folder = "/tmp/portprobe-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    struct stat st
    { };
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 077) != 0) {
        return std::nullopt;
    }
    return folder;
}

// The name's own bytes (a program named in Japanese keeps its own lock);
// only what cannot stand in a file name, or would hide it, is replaced.
std::string fileNamePart(std::string_view name)
{
    std::string out;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7F || c == '/') ? '_' : c;
    }
    if (out.empty() || out.front() == '.') {
        out.insert(out.begin(), '_');
    }
    return out;
}

// flock() belongs to the open file description: the kernel drops it when the
// last descriptor closes, which includes the process being killed. O_CLOEXEC
// keeps programs we start (the browser, a viewer) from inheriting it.
class FlockInstanceLock final : public InstanceLock
{
public:
    std::optional<bool> anotherInstanceRunning(std::string_view name) override
    {
        if (fd_) {
            return false;
        }
        auto folder = lockFolder();
        if (!folder) {
            return std::nullopt;
        }
        std::string path = *folder + "/" + fileNamePart(name) + ".lock";
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            return std::nullopt;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                return true;
            }
            return std::nullopt;
        }
        fd_ = std::move(fd);
        return false;
    }

private:
    UniqueFd fd_;
};

} // namespace

std::unique_ptr<InstanceLock> createInstanceLock()
{
    return std::make_unique<FlockInstanceLock>();
}

template<> InstanceLock &Seam<InstanceLock>::defaultInstance()
{
    static FlockInstanceLock instance;
    return instance;
}

} // namespace platform
