#include "app/Module1.h"

#include "app/frmMenu.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/settings_folder.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_CommonWindow.h"
#include "support/QuillFunc_INI.h"

#include <optional>
#include <string_view>

namespace {

constexpr const char *SettingFile = "setting.ini";
constexpr const char *SettingSection = "Setting";
constexpr const char *VendorKey = "StrVendorID";
constexpr const char *ProductKey = "StrPeroductID";

struct SettingFiles
{
    std::string main; ///< read first, and the one written
    std::optional<std::string> shipped; ///< the application folder's, read after it
};

// An installed copy lives in a folder its users cannot write. Its settings
// then go to the user's own folder, as Windows redirects such writes, and a
// file shipped beside the program still gives the first values.
SettingFiles settingFiles()
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

std::string readSetting(const SettingFiles &files, const char *key, const char *fallback)
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

frmMenu *mainWindow = nullptr;

} // namespace

void Main()
{
    gTrapFatal("main", [&] {
        gChkDoubleStarting(false);
        gbooHideErrMsg = true;
        mainWindow = new frmMenu();
        mainWindow->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(mainWindow, &QObject::destroyed, [] { mainWindow = nullptr; });
        mainWindow->show();
        platform::process().doEvents();
    });
}

void gEndSession()
{
    if (gbooSessionEnding) {
        return; // the first request is being carried out
    }
    // From here on nobody answers a box: a failure is logged and ends with 1.
    gbooSessionEnding = true;
    if (mainWindow != nullptr) {
        mainWindow->close();
        return;
    }
    platform::process().terminate(0);
}

std::string gGetSettingFileName()
{
    return settingFiles().main;
}

bool gGetSettingData(std::string &vendor, std::string &product)
{
    gTrapFatal("gGetSettingData", [&] {
        const SettingFiles files = settingFiles();
        vendor = readSetting(files, VendorKey, "1352");
        product = readSetting(files, ProductKey, "100");
    });
    return true;
}

bool gSetSettingData(const std::string &vendor, const std::string &product)
{
    gTrapFatal("gSetSettingData", [&] {
        const std::string path = settingFiles().main;
        if (!gSetIni(path, SettingSection, VendorKey, vendor)
            || !gSetIni(path, SettingSection, ProductKey, product)) {
            // The report says why, where the platform knows it.
            gGotoErrHandler({ gGetIniWriteError(), path });
        }
    });
    return true;
}

bool gProcEndProcess()
{
    gTrapFatal("gProcEndProcess", [] {});
    return true;
}
