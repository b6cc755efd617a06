#pragma once
// The demo's view of the virtual USB-IO board: the four Port1 LEDs in the
// console's colours, eight Port0 switches the user flips, and the cable.

#include <QWidget>

#include <array>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QToolButton;
QT_END_NAMESPACE

namespace platform::sim {
class SimBoard;
}

class VirtualBoardWindow : public QWidget
{
    Q_OBJECT

public:
    explicit VirtualBoardWindow(platform::sim::SimBoard &board, QWidget *parent = nullptr);
    ~VirtualBoardWindow() override;

    /// Where a window of @p size (its client area; its frame as wide as @p frame) goes beside a
    /// console whose frame is @p console, within the screen's free @p room: on the console's right,
    /// else its left, else below, else above it, 12 pixels apart; pressed into @p room when none
    /// fits. Answers the frame's top left corner, as move() takes it.
    static QPoint placeBeside(
        const QRect &console, const QMargins &frame, const QSize &size, const QRect &room);

    /// Port1 LEDs, index = bit: red HIGH, green LOW.
    std::array<QLabel *, 4> ledPort1 {};
    /// Port0 switches, index = bit; checked is HIGH.
    std::array<QToolButton *, 8> swPort0 {};
    /// Checked while the board is plugged in.
    QCheckBox *chkConnected = nullptr;
    QLabel *lblIds = nullptr;

private:
    void switchToggled(int bit, bool high);
    void connectedToggled(bool plugged);
    void refresh();

    platform::sim::SimBoard &board_;
};
