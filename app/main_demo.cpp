// portprobe-demo: the console wired to a virtual board (IDs 1352/0100, the
// defaults), with a window of its own showing the board's LEDs, switches and
// cable, for trying the console without hardware.

#include "app/ProgramStart.h"
#include "app/demo/VirtualBoardWindow.h"
#include "app/frmMenu.h"
#include "platform/hid.h"
#include "platform/sim/sim_board.h"
#include "portprobe_build.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

int main(int argc, char **argv)
{
    // Real time: a read that gets no answer waits as long as on a real board.
    // Wayland matches the window to its launcher entry (and icon) by this ID.
    QGuiApplication::setDesktopFileName(
        QString::fromLatin1(build::AppId) + QStringLiteral(".demo"));
    static platform::sim::SimHid hid(platform::sim::SimTime::Real);
    hid.addBoard();
    platform::Seam<platform::HidApi>::install(&hid);
    return gRunProgram(argc, argv, [] {
        auto *boardWindow = new VirtualBoardWindow(hid.board(0));
        // Beside the console, on the screen; its frame as wide as the console's.
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<frmMenu *>(window) && window->isVisible()) {
                const QRect frame = window->frameGeometry();
                const QRect client = window->geometry();
                const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
                const QRect room = window->screen() ? window->screen()->availableGeometry() : frame;
                boardWindow->move(
                    VirtualBoardWindow::placeBeside(frame, margins, boardWindow->sizeHint(), room));
            }
        }
        boardWindow->show();
    });
}
