#include "support/SettingFiles.h"

#include "platform/environment.h"
#include "platform/settings_folder.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"

namespace {

constexpr const char *SettingFile = "setting.ini";

} // namespace

std::vector<std::string> SettingFiles::readOrder() const
{
    std::vector<std::string> files { main };
    if (shipped) {
        files.push_back(*shipped);
    }
    return files;
}

SettingFiles gSettingFiles()
{
    const std::string folder = platform::environment().applicationFolder();
    const std::string shipped = gAddBackslash(folder) + SettingFile;
    if (platform::settingsFolder().isWritable(folder)) {
        return { shipped, std::nullopt };
    }
    auto own = platform::settingsFolder().userFolder("portprobe");
    if (!own) {
        return { shipped, std::nullopt };
    }
    return { gAddBackslash(*own) + SettingFile, shipped };
}

std::string gReadSetting(const SettingFiles &files, const char *key, const char *fallback)
{
    if (!files.shipped) {
        return gGetIniString(files.main, SettingSection, key, fallback);
    }
    std::string value = gGetIniString(files.main, SettingSection, key, "");
    if (value.empty()) {
        value = gGetIniString(*files.shipped, SettingSection, key, fallback);
    }
    return value;
}
