#include "support/SettingFiles.h"

#include "platform/environment.h"
#include "platform/settings_folder.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"

namespace {

constexpr const char *SettingFile = "setting.ini";

} // namespace

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

std::string gReadSetting(
    const SettingFiles &files, const char *key, const char *fallback, std::string *from)
{
    for (const std::string *file : { &files.main, files.shipped ? &*files.shipped : nullptr }) {
        if (file == nullptr) {
            continue;
        }
        std::string value = gGetIniString(*file, SettingSection, key, "");
        if (!value.empty()) {
            if (from != nullptr) {
                *from = *file;
            }
            return value;
        }
    }
    if (from != nullptr) {
        from->clear();
    }
    return fallback;
}
