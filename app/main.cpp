// portprobe: the console against real boards (hidraw on Linux, the HID class
// driver on Windows).

#include "app/ProgramStart.h"
#include "portprobe_build.h"

#include <QGuiApplication>

int main(int argc, char **argv)
{
    // Wayland matches the window to its launcher entry (and icon) by this ID.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(build::AppId));
    return gRunProgram(argc, argv);
}
