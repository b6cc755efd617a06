#include "app/ProgramStart.h"

#include "app/Module1.h"
#include "platform/environment.h"
#include "platform/qt/qt_seams.h"
#include "support/QuillFunc_CommonWindow.h"
#include "support/QuillFunc_Window.h"
#include "usbio/UsbIoTrace.h"

#include <QApplication>

#include <cstdio>

void gInitPictures()
{
    Q_INIT_RESOURCE(portprobe_pictures);
}

namespace {

// Without a display Qt aborts with a toolkit message that tells a new user
// little; say plainly what is missing and how to run anyway.
bool displayAvailable()
{
#ifdef Q_OS_LINUX
    const auto &env = platform::environment();
    auto nonEmpty = [&](const char *name) {
        auto value = env.variable(name);
        return value && !value->empty();
    };
    return nonEmpty("QT_QPA_PLATFORM") || nonEmpty("DISPLAY") || nonEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int gRunProgram(int argc, char **argv, const std::function<void()> &afterStart)
{
    if (!displayAvailable()) {
        std::fprintf(stderr,
            "%s: no graphical display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
            "Start it from a desktop session, or without a screen under Xvfb:\n"
            "  xvfb-run -a %s\n",
            argv[0], argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    gInitPictures();
    platform::installQtSeams();
    installEndProgramHandler();
    installUsbIoTrace();
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
