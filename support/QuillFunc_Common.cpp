#include "support/QuillFunc_Common.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/version.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_File.h"
#include "support/QuillFunc_REG.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

bool gbooHideErrMsg = false;
bool gbooSessionEnding = false;

namespace {

constexpr const char *CrLf = "\r\n";
constexpr const char *CantGet = "Can'tGet";

EndProgramCalls &endProgramCalls()
{
    static EndProgramCalls calls;
    return calls;
}

// The trap reports through the error log in every program that links the log,
// with no start-up step to forget (the test programs have no main of their
// own). Every program that traps links this object anyway: each sets
// gbooHideErrMsg. One that did not would report to standard error.
[[maybe_unused]] const bool errorReportRegistered =
    (gRegisterErrorReport({ gProcErrLog, gProcFatalError }), true);

// True while gProcErrLog builds and writes a report. The version and folder
// helpers it calls report their own failures through gProcErrLog; those
// nested reports are dropped so a failing helper cannot re-enter without end.
bool reportInProgress = false;

std::string twoDigits(int n)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

std::string regText(const RegValue &value)
{
    if (const auto *text = std::get_if<std::string>(&value)) {
        return *text;
    }
    return std::to_string(std::get<std::int32_t>(value));
}

std::string readRegistryText(std::string_view subkey, std::string_view valueName)
{
    return regText(gSetRegValue(platform::RegistryRoot::LocalMachine, subkey, valueName,
        platform::RegSz, std::string(CantGet)));
}

} // namespace

void gProcErrLog(std::string_view procName, std::string_view extraText)
{
    // Every step ignores its own failures and carries on.
    const ErrObject kept = Err();
    if (reportInProgress) {
        return;
    }
    reportInProgress = true;
    std::string report;
    try {
        std::string platformText, major, minor, build, servicePack, subVersion, version;
        gGetWinVersion(platformText, major, minor, build, servicePack, subVersion, version);
        std::string ieVersion, ieBuild, ieVector;
        gGetIeVersion(ieVersion, ieBuild, ieVector);

        report += std::string("アプリケーション名：") + build::AppTitle + CrLf;
        report += "アプリケーションヴァージョン：" + std::to_string(build::VersionMajor) + "."
            + std::to_string(build::VersionMinor) + "." + std::to_string(build::VersionRevision)
            + CrLf;
        if (!extraText.empty()) {
            report += std::string(extraText) + CrLf;
        }

        // The pending error again, as it was on entry: the gathering above may
        // have replaced it. Its texts become the standard ones.
        ErrObject &err = Err();
        err = kept;
        err.Description = gErrorText(kept.Number);
        err.Source = build::AppTitle;
        std::int32_t shownNumber = err.Number;
        if (kept.Number == 0 && kept.Cause.Number != 0) {
            // No error pending, but the failure knows why: its number, its
            // standard text and the file concerned.
            shownNumber = kept.Cause.Number;
            err.Description = gErrorText(shownNumber) + " " + kept.Cause.Detail;
        }
        report += "エラー番号：" + std::to_string(shownNumber) + CrLf;
        report += std::string(procName) + " (" + err.Source + ")でエラーが発生しました。" + CrLf;
        report += std::string("管理者に問い合わせて下さい｡") + CrLf;
        report += "エラー内容：" + err.Description + CrLf;

        const platform::LocalTime t = platform::clock().now();
        report += "発生日時：" + std::to_string(t.year) + "/" + twoDigits(t.month) + "/"
            + twoDigits(t.day) + " " + twoDigits(t.hour) + ":" + twoDigits(t.minute) + ":"
            + twoDigits(t.second) + CrLf;
        report += std::string("WINTYPE：") + CrLf;
        report += "\tVersion：" + platformText + CrLf;
        report += "\tMajor：" + major + CrLf;
        report += "\tMinor：" + minor + CrLf;
        report += "\tBuild：" + build + CrLf;
        report += "\tSubVersion：" + servicePack + CrLf;
        report += "\tIeType：" + ieVersion + CrLf;
    } catch (...) { }

    try {
        if (!gbooHideErrMsg && !gbooSessionEnding) {
            platform::messageBox().show({ report, "ｴﾗｰ", platform::MbOkOnly, platform::MbIconNone,
                kept.HelpFile, kept.HelpContext });
        }
    } catch (...) { }
    gSetErrLog(report, "");
    reportInProgress = false;
    Err().Clear();
}

bool gSetErrLog(std::string_view report, std::string_view trailer)
{
    std::string path;
    if (!gGetErrLogFileName(path)) {
        return false;
    }
    try {
        std::ofstream out(platform::toFsPath(path), std::ios::binary | std::ios::app);
        if (!out) {
            return false;
        }
        const std::string record = platform::toAnsi(
            std::string(CrLf) + std::string(report) + CrLf + std::string(trailer) + CrLf);
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
        out.close();
        return !out.fail();
    } catch (...) {
        return false;
    }
}

bool gGetErrLogFileName(std::string &path)
{
    try {
        const std::string folder = gGetWinTempDir();
        // Without a temporary folder the name would land in the root folder.
        if (folder.empty()) {
            return false;
        }
        path = gAddBackslash(folder) + build::AppTitle + "_ErrLog.txt";
        return true;
    } catch (...) {
        return false;
    }
}

void gRegisterEndProgram(EndProgramCalls calls)
{
    endProgramCalls() = std::move(calls);
}

const EndProgramCalls &gRegisteredEndProgram()
{
    return endProgramCalls();
}

void gProcFatalError(std::string_view procName, std::string_view extraText)
{
    // When the session ends, the boxes would wait for a click that never
    // comes and the program would never end; the log still says what failed.
    const bool unattended = gbooSessionEnding;
    auto &box = platform::messageBox();
    if (!unattended) {
        box.show({ "致命的エラーが発生しました。\r\nこのアプリケーションを終了します。",
            build::AppTitle, platform::MbOkOnly, platform::MbIconCritical, {}, 0 });
    }
    gProcErrLog(procName, extraText);
    if (!unattended) {
        if (gDspErrLog()) {
            box.show({ "エラーログに関するお問い合わせ・ご報告は\r\n説明書に記載しております。",
                build::AppTitle, platform::MbOkOnly, platform::MbIconInformation, {}, 0 });
        } else {
            box.show({ "エラーログが表示できませんでした。", build::AppTitle, platform::MbOkOnly,
                platform::MbIconInformation, {}, 0 });
        }
    }
    // Called in place, not copied: a copy may allocate, and this may be the
    // out-of-memory path.
    if (const auto &end = endProgramCalls().endAfterFatalError) {
        end();
    }
    // The end sequence ends the process; should it ever come back, end here.
    platform::process().terminate(EXIT_FAILURE);
    std::abort();
}

bool gDspErrLog()
{
    std::string path;
    if (!gGetErrLogFileName(path)) {
        return false;
    }
    return gShellExecute(path, platform::SwShowMinimized);
}

std::string gAddBackslash(std::string_view text)
{
    std::string result(text);
    if (result.empty() || result.back() != platform::DirSeparator) {
        result += platform::DirSeparator;
    }
    return result;
}

bool gDspHelp(std::string_view helpFile)
{
    return gTrap("gDspHelp", [&] {
        const std::string path =
            gAddBackslash(platform::environment().applicationFolder()) + std::string(helpFile);
        if (!gShellExecute(path, platform::SwShowMaximized)) {
            gGotoErrHandler();
        }
    });
}

bool gDspHP()
{
    return gTrap("gDspHP", [&] {
        const std::string address = gAddBackslash(build::WebSite) + "index.html";
        if (!gShellExecute(address, platform::SwShowMaximized)) {
            gGotoErrHandler();
        }
    });
}

bool gDspControlPanel(std::string_view applet)
{
    return gTrap("gDspControlPanel", [&] {
        const std::string failure = platform::shell().startControlPanel(applet);
        if (!failure.empty()) {
            Err().Raise(vberr::FileNotFound, "gDspControlPanel", failure);
        }
    });
}

bool gGetWinVersion(std::string &platform, std::string &major, std::string &minor,
    std::string &build, std::string &servicePack, std::string &subVersion, std::string &version)
{
    std::string texts[7];
    const bool ok = gTrap("gGetWinVersion", [&] {
        platform::OsVersionInfo info;
        if (!platform::versionInfo().getVersionEx(info)) {
            gGotoErrHandler();
        }
        switch (info.platformId) {
        case platform::PlatformWin32s:
            texts[0] = "Win32s";
            break;
        case platform::PlatformWin32Windows:
            texts[0] = "Windows 95/98/Me";
            break;
        case platform::PlatformWin32NT:
            texts[0] = "Windows NT/2000/XP";
            break;
        default:
            texts[0] = "Unkown";
            break;
        }
        texts[1] = std::to_string(info.majorVersion);
        texts[2] = std::to_string(info.minorVersion);
        texts[3] = std::to_string(info.buildNumber);
        texts[4] = info.csdVersion.substr(0, info.csdVersion.find('\0'));
        texts[5] =
            readRegistryText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "SubVersionNumber");
        texts[6] = readRegistryText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "Version");
    });
    if (ok) {
        platform = texts[0];
        major = texts[1];
        minor = texts[2];
        build = texts[3];
        servicePack = texts[4];
        subVersion = texts[5];
        version = texts[6];
    }
    return ok;
}

bool gGetIeVersion(std::string &version, std::string &build, std::string &versionVector)
{
    return gTrap("gGetIeVersion", [&] {
        version = readRegistryText("SOFTWARE\\Microsoft\\Internet Explorer", "Version");
        build = readRegistryText("SOFTWARE\\Microsoft\\Internet Explorer", "Build");
        versionVector =
            readRegistryText("SOFTWARE\\Microsoft\\Internet Explorer\\Version Vector", "IE");
    });
}

double gROUNDOFF(double value, std::int32_t digits, std::int32_t mode)
{
    double result = 0;
    gTrap("gROUNDOFF", [&] {
        if (!std::isfinite(value)) {
            Err().Raise(vberr::TypeMismatch);
        }
        const double scale = std::pow(10.0, digits);
        const double x = value * scale;
        switch (mode) {
        case 0:
            result = std::trunc(x) / scale;
            break;
        case 1:
            result = (value < 0 ? std::trunc(x - 0.5) : std::floor(x + 0.5)) / scale;
            break;
        case 2: {
            // Up means toward positive infinity, for negative values too.
            const double t = std::trunc(x);
            result = (t == x || x < 0 ? t : t + 1) / scale;
            break;
        }
        default:
            Err().Raise(vberr::InvalidProcedureCall);
        }
    });
    return result;
}

double gROUNDOFF(std::string_view value, std::int32_t digits, std::int32_t mode)
{
    const std::optional<double> number = gParseNumericText(value);
    if (!number) {
        // Reported under the routine's own name, as a failure inside it would be.
        gTrap("gROUNDOFF", [] { Err().Raise(vberr::TypeMismatch); });
        return 0;
    }
    return gROUNDOFF(*number, digits, mode);
}
