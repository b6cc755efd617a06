#include "app/Module1.h"

#include "app/frmMenu.h"
#include "forms/QuillFunc_CommonWindow.h"
#include "platform/process.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"
#include "support/SettingFiles.h"

#include <string_view>

namespace {

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
    return gSettingFiles().main;
}

bool gGetSettingData(std::string &vendor, std::string &product)
{
    gTrapFatal("gGetSettingData", [&] {
        const SettingFiles files = gSettingFiles();
        vendor = gReadSetting(files, VendorIdKey, DefaultVendorIdText);
        product = gReadSetting(files, ProductIdKey, DefaultProductIdText);
    });
    return true;
}

bool gSetSettingData(const std::string &vendor, const std::string &product)
{
    gTrapFatal("gSetSettingData", [&] {
        const std::string path = gSettingFiles().main;
        if (!gSetIni(path, SettingSection, VendorIdKey, vendor)
            || !gSetIni(path, SettingSection, ProductIdKey, product)) {
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
