#include "app/ProgramStart.h"

#include "app/Module1.h"
#include "app/UsbIoTrace.h"
#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "forms/frmEndProgram.h"
#include "platform/environment.h"
#include "platform/qt/display_check.h"
#include "platform/qt/qt_seams.h"
#include "platform/qt/session_end.h"
#include "support/QuillFunc_Common.h"

#include <QApplication>

#include <cstdio>

void gInitPictures()
{
    Q_INIT_RESOURCE(portprobe_pictures);
}

DisplayChoice gChooseDisplay(
    const std::function<std::optional<std::string>(const char *)> &variable,
    const DisplayProbes &probes)
{
    auto value = [&](const char *name) { return variable(name).value_or(std::string()); };
    const std::string x11 = value("DISPLAY");
    const std::string wayland = value("WAYLAND_DISPLAY");
    auto x11Problem = [&]() -> std::string {
        if (probes.x11(x11)) {
            return {};
        }
        return x11.empty()
            ? "DISPLAY is not set"
            : "X11 display \"" + x11 + "\" (DISPLAY) does not answer or refuses this user";
    };
    auto waylandProblem = [&]() -> std::string {
        const std::string name = wayland.empty() ? "wayland-0" : wayland;
        if (!probes.waylandPlugin()) {
            return "Wayland display \"" + name
                + "\" (WAYLAND_DISPLAY) needs Qt's Wayland plugin, which is not installed";
        }
        if (!probes.wayland(name)) {
            return "no Wayland compositor listens at \"" + name + "\" (WAYLAND_DISPLAY)";
        }
        return {};
    };

    DisplayChoice choice;
    const std::string requested = value("QT_QPA_PLATFORM");
    if (!requested.empty()) {
        const std::string plugin = requested.substr(0, requested.find_first_of(":;"));
        if (plugin == "xcb") {
            choice.problem = x11Problem();
        } else if (plugin.rfind("wayland", 0) == 0) {
            choice.problem = waylandProblem();
        }
        return choice;
    }
    if (x11.empty() && wayland.empty()) {
        choice.noDisplay = true;
        return choice;
    }
    std::string problems;
    if (!wayland.empty()) {
        problems = waylandProblem();
        if (problems.empty()) {
            choice.platform = "wayland";
            return choice;
        }
    }
    if (!x11.empty()) {
        const std::string problem = x11Problem();
        if (problem.empty()) {
            choice.platform = "xcb";
            return choice;
        }
        problems += (problems.empty() ? "" : "; ") + problem;
    }
    choice.problem = problems;
    return choice;
}

namespace {

// Qt aborts with a toolkit message that tells a new user little when it
// finds no display or cannot open it; say plainly which one and how to run
// anyway, and end with status 1. The toolkit is then told which one to use.
bool displayUsable(const char *program)
{
#ifdef Q_OS_LINUX
    const DisplayChoice choice =
        gChooseDisplay([](const char *name) { return platform::environment().variable(name); },
            { platform::x11DisplayUsable, platform::waylandDisplayUsable,
                platform::waylandPluginInstalled });
    if (choice.noDisplay) {
        std::fprintf(stderr,
            "%s: no graphical display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
            "Start it from a desktop session, or without a screen under Xvfb:\n"
            "  xvfb-run -a %s\n",
            program, program);
        return false;
    }
    if (!choice.problem.empty()) {
        std::fprintf(stderr,
            "%s: cannot open the display: %s.\n"
            "Start it from a desktop session, or without a screen under Xvfb:\n"
            "  xvfb-run -a %s\n",
            program, choice.problem.c_str(), program);
        return false;
    }
    if (!choice.platform.empty()) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(choice.platform));
    }
#else
    (void)program;
#endif
    return true;
}

} // namespace

void gInstallSessionEndHandler()
{
    platform::watchSessionEnd(gEndSession);
}

int gRunProgram(int argc, char **argv, const std::function<void()> &afterStart)
{
    if (!displayUsable(argv[0])) {
        return 1;
    }
    QApplication app(argc, argv);
#ifdef Q_OS_LINUX
    platform::closeDisplayProbes();
#endif
    gInitPictures();
    platform::installQtSeams();
    gRegisterEndProgram(gEndWindowCalls(gProcEndProcess));
    gInstallSessionEndHandler();
    gInstallUsbIoTrace();
    try {
        QApplication::setWindowIcon(gLoadPicture(gGetAppFilePath("sys/icon.ico")));
    } catch (...) {
        // Without the icon file the windows show the system's default icon.
    }
    Main();
    if (afterStart) {
        afterStart();
    }
    return app.exec();
}
