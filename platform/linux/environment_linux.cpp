#include "platform/environment.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace platform {
namespace {

class PosixEnvironment final : public Environment
{
public:
    std::optional<std::string> variable(std::string_view name) const override
    {
        if (name.empty()) {
            return std::nullopt;
        }
        // An exact match wins; otherwise the first case-insensitive one, as
        // Windows treats "temp" and "TEMP" as one variable.
        std::string key(name);
        if (const char *value = std::getenv(key.c_str())) {
            return std::string(value);
        }
        for (char **entry = environ; entry && *entry; ++entry) {
            std::string_view line(*entry);
            auto eq = line.find('=');
            if (eq == name.size() && strncasecmp(line.data(), key.c_str(), eq) == 0) {
                return std::string(line.substr(eq + 1));
            }
        }
        return std::nullopt;
    }

    bool exists(std::string_view path) const override
    {
        if (path.empty()) {
            return false;
        }
        struct stat st
        { };
        return ::stat(std::string(path).c_str(), &st) == 0;
    }

    std::optional<std::string> longPathName(std::string_view path) const override
    {
        // POSIX paths have no short forms: the long form of an existing path
        // is the path itself, as given.
        if (!exists(path)) {
            return std::nullopt;
        }
        return std::string(path);
    }

    std::string windowsTempDirectory() const override
    {
        const char *tmpdir = std::getenv("TMPDIR");
        return tmpdir && *tmpdir ? std::string(tmpdir) : std::string("/tmp");
    }

    std::string applicationFolder() const override
    {
        char buffer[PATH_MAX + 1];
        ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
        if (n <= 0) {
            return ".";
        }
        std::string exe(buffer, static_cast<size_t>(n));
        auto slash = exe.rfind('/');
        if (slash == std::string::npos) {
            return ".";
        }
        return slash == 0 ? std::string("/") : exe.substr(0, slash);
    }
};

} // namespace

template<> Environment &Seam<Environment>::defaultInstance()
{
    static PosixEnvironment instance;
    return instance;
}

} // namespace platform
