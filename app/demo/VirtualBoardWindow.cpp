#include "app/demo/VirtualBoardWindow.h"

#include "forms/Accessibility.h"
#include "forms/QuillFunc_Window.h"
#include "platform/sim/sim_board.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A button face takes its colour from a style sheet; the palette's window
// colour only paints the area around it. A style sheet also hides the style's
// focus frame, so the focused switch gets a wider border instead.
void paintSwitch(QToolButton &sw, bool high)
{
    const QColor color = gVbColor(high ? vbRed : vbGreen);
    sw.setStyleSheet(
        QStringLiteral("QToolButton { background-color: %1; border: 1px solid black; "
                       "border-style: %2; } QToolButton:focus { border-width: 2px; }")
            .arg(color.name(), high ? QStringLiteral("inset") : QStringLiteral("outset")));
    sw.setAccessibleDescription(gBitLevelDescription(sw.text(), high));
}

} // namespace

VirtualBoardWindow::VirtualBoardWindow(platform::sim::SimBoard &board, QWidget *parent)
    : QWidget(parent, Qt::Window), board_(board)
{
    setObjectName(QStringLiteral("VirtualBoardWindow"));
    // The console ends the program; this window only goes away with it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("仮想USB-IOボード"));
    gSetAccessibleRole(*this, QAccessible::Window);
    setFont(gVbFont(9));
    auto *layout = new QVBoxLayout(this);

    auto hex4 = [](std::uint16_t id) {
        return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
    };
    lblIds = new QLabel(QStringLiteral("VendorID ＆H%1   ProductID ＆H%2")
                            .arg(hex4(board.config().vendorId), hex4(board.config().productId)),
        this);
    lblIds->setObjectName(QStringLiteral("lblIds"));
    layout->addWidget(lblIds);

    auto *outputs = new QGroupBox(QStringLiteral("Port1 出力 (LED)"), this);
    auto *outputGrid = new QGridLayout(outputs);
    for (int bit = 3; bit >= 0; --bit) {
        auto *led = new QLabel(QStringLiteral("P1_%1").arg(bit), outputs);
        led->setObjectName(QStringLiteral("ledPort1_%1").arg(bit));
        led->setAlignment(Qt::AlignCenter);
        led->setFrameStyle(QFrame::Box | QFrame::Plain);
        led->setFont(gVbFont(11.25));
        led->setMinimumSize(48, 24);
        gFollowBitLevel(*led);
        outputGrid->addWidget(led, 0, 3 - bit);
        ledPort1[static_cast<std::size_t>(bit)] = led;
    }
    layout->addWidget(outputs);

    auto *inputs = new QGroupBox(QStringLiteral("Port0 入力 (スイッチ)"), this);
    auto *inputGrid = new QGridLayout(inputs);
    for (int bit = 7; bit >= 0; --bit) {
        auto *sw = new QToolButton(inputs);
        sw->setObjectName(QStringLiteral("swPort0_%1").arg(bit));
        sw->setText(QStringLiteral("P0_%1").arg(bit));
        sw->setToolTip(QStringLiteral("押すたびに HIGH と LOW が切り替わります"));
        sw->setCheckable(true);
        sw->setFont(gVbFont(11.25));
        sw->setMinimumSize(48, 24);
        connect(
            sw, &QToolButton::toggled, this, [this, bit](bool high) { switchToggled(bit, high); });
        inputGrid->addWidget(sw, 0, 7 - bit);
        swPort0[static_cast<std::size_t>(bit)] = sw;
    }
    layout->addWidget(inputs);

    chkConnected = new QCheckBox(QStringLiteral("USBケーブル接続"), this);
    chkConnected->setObjectName(QStringLiteral("chkConnected"));
    chkConnected->setToolTip(QStringLiteral("外すとボードが見つからなくなります"));
    connect(chkConnected, &QCheckBox::toggled, this, &VirtualBoardWindow::connectedToggled);
    layout->addWidget(chkConnected);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    board_.setOnChange([this] { refresh(); });
    refresh();
}

QPoint VirtualBoardWindow::placeBeside(
    const QRect &console, const QMargins &frame, const QSize &size, const QRect &room)
{
    // Whole frames: a frame is wider than its client area by the window system's borders
    // (under Wine and on Windows several pixels, none on a bare X display).
    const QSize outer = size.grownBy(frame);
    constexpr int gap = 12;
    const std::array<QPoint, 4> places { QPoint(console.right() + 1 + gap, console.top()),
        QPoint(console.left() - gap - outer.width(), console.top()),
        QPoint(console.left(), console.bottom() + 1 + gap),
        QPoint(console.left(), console.top() - gap - outer.height()) };
    for (const QPoint &place : places) {
        if (room.contains(QRect(place, outer))) {
            return place;
        }
    }
    return QPoint(std::max(room.left(), std::min(places[0].x(), room.right() + 1 - outer.width())),
        std::max(room.top(), std::min(places[0].y(), room.bottom() + 1 - outer.height())));
}

VirtualBoardWindow::~VirtualBoardWindow()
{
    board_.setOnChange(nullptr);
}

void VirtualBoardWindow::switchToggled(int bit, bool high)
{
    board_.setPort0Bit(bit, high);
    // The board reports only real changes; the face follows the button at once.
    paintSwitch(*swPort0[static_cast<std::size_t>(bit)], high);
}

void VirtualBoardWindow::connectedToggled(bool plugged)
{
    board_.setPlugged(plugged);
}

void VirtualBoardWindow::refresh()
{
    for (std::size_t bit = 0; bit < ledPort1.size(); ++bit) {
        gSetBackColor(*ledPort1[bit], (board_.port1() >> bit) & 1 ? vbRed : vbGreen);
    }
    for (std::size_t bit = 0; bit < swPort0.size(); ++bit) {
        const bool high = (board_.port0() >> bit) & 1;
        QToolButton &sw = *swPort0[bit];
        const QSignalBlocker quiet(sw);
        sw.setChecked(high);
        paintSwitch(sw, high);
    }
    const QSignalBlocker quiet(chkConnected);
    chkConnected->setChecked(board_.plugged());
}
