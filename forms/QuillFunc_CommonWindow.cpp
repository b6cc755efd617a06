#include "forms/QuillFunc_CommonWindow.h"

#include "forms/QuillFunc_Window.h"
#include "platform/instance_lock.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Common.h"

#include <QCoreApplication>
#include <QDialog>
#include <QWidget>

#include <cmath>
#include <limits>
#include <string>

namespace {

int exitCodeOfEnd = 0;

std::int32_t scaledTwips(std::int32_t twips, float rate)
{
    // Halves go to the even neighbour, as the default rounding mode does.
    double value = std::nearbyint(static_cast<double>(twips) * static_cast<double>(rate));
    if (!(value >= std::numeric_limits<std::int32_t>::min()
            && value <= std::numeric_limits<std::int32_t>::max())) {
        Err().Raise(vberr::Overflow);
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

bool gDspForm(
    QWidget &form, std::int32_t positionMode, std::int32_t showMode, bool resize, float sizeRate)
{
    return gTrap("gDspForm", [&] {
        if (showMode == 1) {
            // Only dialogs have a modal show of their own.
            auto *dialog = qobject_cast<QDialog *>(&form);
            if (!dialog) {
                Err().Raise(vberr::InvalidProcedureCall);
            }
            dialog->exec();
            return;
        }
        if (showMode != 0) {
            Err().Raise(vberr::InvalidProcedureCall);
        }
        form.show();
        form.hide();
        if (resize && !gDspWindowSize(form, sizeRate)) {
            gGotoErrHandler();
        }
        form.show();
        form.raise();
        form.activateWindow();
        if (positionMode != 9 && !gDspWindowPosition(form, positionMode)) {
            gGotoErrHandler();
        }
    });
}

bool gDspWindowSize(QWidget &form, float sizeRate)
{
    return gTrap("gDspWindowSize", [&] {
        form.setWindowState(form.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        // The window system reports earlier geometry changes late; take them
        // now, or one would undo the size set below (Qt on X11 and offscreen alike).
        platform::process().doEvents();
        std::int32_t screenWidth = 0;
        std::int32_t screenHeight = 0;
        if (!gGetScreenSize(screenWidth, screenHeight)) {
            gGotoErrHandler();
        }
        std::int32_t width = scaledTwips(screenWidth, sizeRate);
        std::int32_t height = scaledTwips(screenHeight, sizeRate);
        // The sizes are the window's outer ones; Qt sizes the client area.
        const QSize border = form.frameGeometry().size() - form.size();
        form.resize(
            gTwipsToPixels(width) - border.width(), gTwipsToPixels(height) - border.height());
        platform::process().doEvents();
    });
}

bool gSetFormCaption(QWidget &form, std::int32_t captionMode)
{
    const QString title = QString::fromUtf8(build::AppTitle);
    const QString gap = QStringLiteral("     ");
    try {
        if (captionMode == 0) {
            form.setWindowTitle(form.windowTitle() + gap + title);
        } else if (captionMode == 1) {
            form.setWindowTitle(title + gap + form.windowTitle());
        }
    } catch (...) {
        // A caption is decoration; nothing that goes wrong here matters.
    }
    return true;
}

void gChkDoubleStarting(bool showMessage)
{
    Err().Clear();
    gTrap("gChkDoubleStarting", [&] {
        // One lock per program file, as two different programs of the same
        // title may run side by side.
        std::string name =
            std::string(build::AppTitle) + "-" + QCoreApplication::applicationName().toStdString();
        auto another = platform::instanceLock().anotherInstanceRunning(name);
        if (!another) {
            Err().Raise(vberr::PathFileAccessError);
        }
        if (!*another) {
            return;
        }
        if (showMessage) {
            platform::MessageBoxRequest box;
            box.text = "既に起動されています";
            box.caption = build::AppTitle;
            box.buttons = platform::MbOkOnly;
            box.icon = platform::MbIconNone;
            platform::messageBox().show(box);
        }
        platform::process().terminate(0);
    });
}

bool gProcEndProgram()
{
    bool shown = gTrap("gProcEndProgram", [&] {
        const auto &showEndWindow = gRegisteredEndProgram().showEndWindow;
        if (!showEndWindow) {
            Err().Raise(vberr::ObjectNotSet);
        }
        if (!showEndWindow()) {
            gGotoErrHandler();
        }
    });
    if (!shown) {
        platform::process().terminate(gEndProgramExitCode());
    }
    return shown;
}

bool gProcSleep(std::int32_t milliseconds)
{
    if (milliseconds < 0) {
        return false;
    }
    return gTrap("gProcSleep", [&] { platform::process().sleep(milliseconds); });
}

int gEndProgramExitCode()
{
    return exitCodeOfEnd;
}

void gSetEndProgramExitCode(int exitCode)
{
    exitCodeOfEnd = exitCode;
}
