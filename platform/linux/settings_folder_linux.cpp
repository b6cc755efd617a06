#include "platform/settings_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool makeFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    struct stat st
    { };
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class XdgSettingsFolder final : public SettingsFolder
{
public:
    // /usr holds the installed system, which packages own: nothing the
    // program writes belongs there, even where root could write it.
    bool isWritable(std::string_view folder) const override
    {
        if (folder.empty()) {
            return false;
        }
        char resolved[PATH_MAX];
        if (!::realpath(std::string(folder).c_str(), resolved)) {
            return false;
        }
        const std::string_view real(resolved);
        if (real == "/usr" || real.starts_with("/usr/")) {
            return false;
        }
        return ::access(resolved, W_OK | X_OK) == 0;
    }

    std::optional<std::string> userFolder(std::string_view appName) const override
    {
        std::string base;
        // The XDG rules ignore a relative value.
        if (const char *config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
            base = config;
        } else {
            const char *home = std::getenv("HOME");
            if (!home || *home != '/') {
                const passwd *entry = ::getpwuid(::getuid());
                home = entry ? entry->pw_dir : nullptr;
            }
            if (!home || *home != '/') {
                return std::nullopt;
            }
            base = std::string(home) + "/.config";
            if (!makeFolder(base)) {
                return std::nullopt;
            }
        }
        while (base.size() > 1 && base.back() == '/') {
            base.pop_back();
        }
        if (!makeFolder(base)) {
            return std::nullopt;
        }
        std::string folder = base + "/" + std::string(appName);
        if (!makeFolder(folder)) {
            return std::nullopt;
        }
        return folder;
    }
};

} // namespace

template<> SettingsFolder &Seam<SettingsFolder>::defaultInstance()
{
    static XdgSettingsFolder instance;
    return instance;
}

} // namespace platform
