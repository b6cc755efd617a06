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
        // Beside the console, on its right, kept on the screen.
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<frmMenu *>(window) && window->isVisible()) {
                const QRect console = window->frameGeometry();
                QPoint place(console.right() + 12, console.top());
                if (QScreen *screen = window->screen()) {
                    const QRect room = screen->availableGeometry();
                    place.setX(std::min(place.x(), room.right() - boardWindow->sizeHint().width()));
                }
                boardWindow->move(place);
            }
        }
        boardWindow->show();
    });
}
