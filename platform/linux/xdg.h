#pragma once
// The user's XDG data folder, where the Linux stand-ins keep per-user stores.

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace platform {

/// $XDG_DATA_HOME when absolute (the XDG rules ignore a relative value), else
/// ~/.local/share, without a trailing "/"; empty when no home is known.
inline std::string xdgDataHome()
{
    std::string base;
    if (const char *data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        base = data;
    } else {
        const char *home = std::getenv("HOME");
        if (!home || *home != '/') {
            const passwd *entry = ::getpwuid(::geteuid());
            home = entry ? entry->pw_dir : nullptr;
        }
        if (!home || *home != '/') {
            return {};
        }
        base = std::string(home) + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base;
}

} // namespace platform
