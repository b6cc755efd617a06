#include "support/QuillFunc_File.h"

#include "platform/environment.h"
#include "platform/shell.h"
#include "support/ErrObject.h"

namespace {

// ShellExecuteA's failure codes; every other value is success.
bool isShellFailure(std::int32_t code)
{
    switch (code) {
    case 0:
    case 2:
    case 3:
    case 5:
    case 8:
    case 11:
        return true;
    default:
        return code >= 26 && code <= 32;
    }
}

} // namespace

bool gShellExecute(std::string_view file, std::int32_t showCommand)
{
    bool started = false;
    gTrap("gShellExecute",
        [&] { started = !isShellFailure(platform::shell().open(file, showCommand)); });
    return started;
}

std::string gGetWinTempDir()
{
    std::string result;
    gTrap("gGetWinTempDir", [&] {
        const platform::Environment &env = platform::environment();
        auto usable = [&](const std::optional<std::string> &candidate) {
            return candidate && !candidate->empty() && env.exists(*candidate);
        };
        std::string folder;
        if (auto temp = env.variable("temp"); usable(temp)) {
            folder = *temp;
        } else if (auto tmp = env.variable("tmp"); usable(tmp)) {
            folder = *tmp;
        } else if (auto windows = std::optional(env.windowsTempDirectory()); usable(windows)) {
            folder = *windows;
        } else {
            folder = env.applicationFolder();
        }
        result = gGetLongFileName(folder);
    });
    return result;
}

std::string gGetLongFileName(std::string_view path)
{
    std::string result(path);
    gTrap("gGetLongFileName", [&] {
        std::optional<std::string> longPath = platform::environment().longPathName(path);
        if (!longPath) {
            gGotoErrHandler();
        }
        result = *longPath;
    });
    return result;
}
