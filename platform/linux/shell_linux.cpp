#include "platform/linux/spawn.h"
#include "platform/shell.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {
namespace {

// How long open() watches xdg-open before taking a still-running one as a
// viewer that has started: long enough to see "no such file" or "no handler"
// answers, short enough that the window never seems to hang.
constexpr auto ExitWatch = std::chrono::milliseconds(1500);

bool onPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        auto colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view {} : dirs.substr(colon + 1);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// Children still running when open() returned; reaped on later calls so they
// never stay zombies for long.
std::vector<pid_t> &pendingChildren()
{
    static std::vector<pid_t> children;
    return children;
}

void reapFinished()
{
    auto &children = pendingChildren();
    std::erase_if(children, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

/// Starts argv[0] found on PATH, without a shell. Returns the pid or -1.
pid_t spawn(const std::vector<std::string> &args)
{
    return spawnOnPath(args);
}

// xdg-open's exit codes as ShellExecuteA return values.
std::int32_t fromXdgOpenExit(int code)
{
    switch (code) {
    case 0:
        return SeSuccess;
    case 2: // a file on the command line does not exist
        return SeErrFileNotFound;
    case 3: // no tool for the type
    case 4: // the action failed
        return SeErrNoAssociation;
    default: // syntax error or anything else
        return SeErrOutOfMemory;
    }
}

bool isAddress(std::string_view target)
{
    auto colon = target.find("://");
    return colon != std::string_view::npos && colon > 1;
}

class XdgShell final : public Shell
{
public:
    std::int32_t open(std::string_view file, std::int32_t /*showCommand*/) override
    {
        reapFinished();
        if (file.empty()) {
            return SeErrFileNotFound;
        }
        std::string target(file);
        if (!isAddress(target)) {
            struct stat st
            { };
            if (::stat(target.c_str(), &st) != 0) {
                return errno == ENOENT ? SeErrFileNotFound : SeErrPathNotFound;
            }
            // xdg-open takes arguments starting with "-" as options.
            if (target.front() != '/') {
                target = "./" + target;
            }
        }
        if (!onPath("xdg-open")) {
            return SeErrNoAssociation;
        }
        pid_t pid = spawn({ "xdg-open", target });
        if (pid < 0) {
            return SeErrNoAssociation;
        }
        auto deadline = std::chrono::steady_clock::now() + ExitWatch;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                return WIFEXITED(status) ? fromXdgOpenExit(WEXITSTATUS(status)) : SeErrOutOfMemory;
            }
            if (done < 0) {
                return SeErrOutOfMemory;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pendingChildren().push_back(pid);
        return SeSuccess;
    }

    std::string startControlPanel(std::string_view applet) override
    {
        reapFinished();
        // The desktop's own system-settings program stands in for the applet.
        static constexpr std::array<const char *, 6> Programs = {
            "gnome-control-center",
            "systemsettings",
            "systemsettings5",
            "xfce4-settings-manager",
            "mate-control-center",
            "lxqt-config",
        };
        for (const char *program : Programs) {
            if (!onPath(program)) {
                continue;
            }
            pid_t pid = spawn({ program });
            if (pid < 0) {
                return std::string(program) + " could not be started";
            }
            pendingChildren().push_back(pid);
            return {};
        }
        return "no system-settings program is installed for " + std::string(applet);
    }
};

} // namespace

template<> Shell &Seam<Shell>::defaultInstance()
{
    static XdgShell instance;
    return instance;
}

} // namespace platform
