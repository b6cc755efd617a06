#pragma once
// Where the program may keep its settings file.

#include "platform/seam.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class SettingsFolder
{
public:
    virtual ~SettingsFolder() = default;

    /// True when the current user may create and replace files in @p folder
    /// and it is a folder the program may keep files in (on Linux never one
    /// under /usr, the installed system, even for root).
    virtual bool isWritable(std::string_view folder) const = 0;

    /// The current user's own settings folder for program @p appName
    /// ($XDG_CONFIG_HOME/appName, else ~/.config/appName; %APPDATA%\appName on
    /// Windows), created when missing, without a trailing separator.
    /// @returns std::nullopt when it cannot be found or created.
    virtual std::optional<std::string> userFolder(std::string_view appName) const = 0;
};

template<> SettingsFolder &Seam<SettingsFolder>::defaultInstance();

inline SettingsFolder &settingsFolder()
{
    return Seam<SettingsFolder>::get();
}

} // namespace platform
