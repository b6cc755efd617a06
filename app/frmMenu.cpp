#include "app/frmMenu.h"

#include "app/Module1.h"
#include "forms/Accessibility.h"
#include "forms/ClickLabel.h"
#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "forms/frmAbout_FreeWare.h"
#include "forms/frmUsbIoErr.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <limits>
#include <optional>
#include <string>

namespace {

const QString IdLockedTip = QStringLiteral("USB-IO使用中は変更できません");
const QString IdUnlockedTip = QStringLiteral("半角16進数で入力してください");
const QString OutputIdleMsg = QStringLiteral("出力停止中は全てLOWレベルです");
const QString OutputRunningMsg = QStringLiteral("出力中でも値の変更が可能です");

/// The shortest interval accepted, and the longest: the timer counts in
/// 32-bit milliseconds, so anything longer could be neither stored nor timed.
constexpr double MinInputInterval = 1000;
constexpr double MaxInputInterval = std::numeric_limits<std::int32_t>::max();

/// "decimal/HEX", each padded on the left with zeros to its width.
QString decimalHexText(std::int32_t value, std::int32_t decimalWidth)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(value));
    const std::string text = gGetSpaceString1(std::to_string(value), decimalWidth, "0", 1) + "/"
        + gGetSpaceString1(hex, 2, "0", 1);
    return QString::fromStdString(text);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, const QRect &place,
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAlignment(alignment);
    label->setFont(gVbFont(9));
    return label;
}

// A bit label: bordered, centred, larger type, coloured background.
void styleBitLabel(QLabel *label, const QString &name, std::int32_t backColor)
{
    label->setObjectName(name);
    label->setFont(gVbFont(11.25));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    gSetBackColor(*label, backColor);
}

QToolButton *makePictureButton(QWidget *parent, const char *name, const QString &caption,
    const QString &picture, const QString &toolTip, const QRect &place)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setToolTip(toolTip);
    button->setFont(gVbFont(9));
    button->setGeometry(place);
    return button;
}

QGroupBox *makeFrame(QWidget *parent, const char *name, const QString &caption, const QRect &place,
    const QFont &font, const char *captionColor)
{
    auto *frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(place);
    frame->setFont(font);
    frame->setStyleSheet(
        QStringLiteral("QGroupBox::title { color: %1; }").arg(QString::fromLatin1(captionColor)));
    return frame;
}

QLineEdit *makeTextBox(QWidget *parent, const char *name, const QString &text, const QRect &place)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    box->setFont(gVbFont(9));
    return box;
}

// A start button and its stop button share one place. When the focused one
// gives way to the other, the focus stays in that place rather than moving on
// to the next control, so Space starts and stops without looking.
class FocusHandover final : public QObject
{
public:
    FocusHandover(QWidget &start, QWidget &stop) : QObject(&start), start_(start), stop_(stop)
    {
        start.installEventFilter(this);
        stop.installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && (watched == &start_ || watched == &stop_)) {
            QWidget &gone = *static_cast<QWidget *>(watched);
            QWidget &other = &gone == &start_ ? stop_ : start_;
            if (gone.window()->focusWidget() == &gone) {
                if (other.isHidden()) {
                    waiting_ = &other;
                } else {
                    other.setFocus();
                }
            }
        } else if (event->type() == QEvent::Show && watched == waiting_) {
            waiting_ = nullptr;
            static_cast<QWidget *>(watched)->setFocus();
        }
        return false;
    }

private:
    QWidget &start_;
    QWidget &stop_;
    QWidget *waiting_ = nullptr;
};

// Tab follows the panels as they are read: input, output with its bits from
// P1_3 on the left to P1_0, then the IDs. Each text box is named by its label.
void arrangeKeyboardUse(frmMenu &form)
{
    const std::array<QWidget *, 11> order { form.cmdInputStart, form.cmdInputEnd,
        form.txtInputInterval, form.cmdOutputStart, form.cmdOutputEnd, form.lblPort1[3],
        form.lblPort1[2], form.lblPort1[1], form.lblPort1[0], form.txtVendorID, form.txtProductID };
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    new FocusHandover(*form.cmdInputStart, *form.cmdInputEnd);
    new FocusHandover(*form.cmdOutputStart, *form.cmdOutputEnd);
    form.lblInputInterval->setBuddy(form.txtInputInterval);
    form.lblVendorID->setBuddy(form.txtVendorID);
    form.Label1->setBuddy(form.txtProductID);
}

} // namespace

frmMenu::frmMenu(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMenu"));
    setWindowTitle(QString());
    setFont(gVbFont(9));

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(gTwipsToPixels(7830), gTwipsToPixels(3450));
    setCentralWidget(client);

    createInputPanel(client);
    createOutputPanel(client);
    createTargetPanel(client);
    createLegend(client);
    createMenu();
    arrangeKeyboardUse(*this);

    connect(cmdOutputStart, &QToolButton::clicked, this, &frmMenu::cmdOutputStart_Click);
    connect(cmdOutputEnd, &QToolButton::clicked, this, &frmMenu::cmdOutputEnd_Click);
    for (int i = 0; i < 4; ++i) {
        connect(lblPort1[i], &ClickLabel::clicked, this, [this, i] { lblPort1_Click(i); });
    }
    connect(cmdInputStart, &QToolButton::clicked, this, &frmMenu::cmdInputStart_Click);
    connect(cmdInputEnd, &QToolButton::clicked, this, &frmMenu::cmdInputEnd_Click);
    connect(TimerInput, &QTimer::timeout, this, &frmMenu::TimerInput_Timer);

    // Fixed border: the window keeps its designed size.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMenu::createInputPanel(QWidget *client)
{
    flmInput = makeFrame(client, "flmInput", QStringLiteral(" Port0から入力 "),
        gTwipsRect(150, 30, 7545, 1545), gVbFont(11.25, true), "#0000ff");

    cmdInputStart = makePictureButton(flmInput, "cmdInputStart", QStringLiteral("入力開始"),
        QStringLiteral(":/portprobe/start.png"), QStringLiteral("入力の取得を開始します"),
        gTwipsRect(270, 360, 1095, 975));
    cmdInputEnd = makePictureButton(flmInput, "cmdInputEnd", QStringLiteral("停 止"),
        QStringLiteral(":/portprobe/stop.png"), QStringLiteral("入力の取得を中止します"),
        gTwipsRect(1080, 360, 1095, 975));
    cmdInputEnd->setVisible(false);

    txtInputInterval = makeTextBox(
        flmInput, "txtInputInterval", QStringLiteral("1000"), gTwipsRect(2160, 300, 765, 285));
    lblInputInterval = makeLabel(flmInput, "lblInputInterval",
        QStringLiteral("mSecごとに入力値を取得"), gTwipsRect(3000, 390, 2145, 255));
    Label4 = makeLabel(flmInput, "Label4", QStringLiteral("入力値(10/16進)"),
        gTwipsRect(5100, 390, 1485, 255), Qt::AlignRight | Qt::AlignTop);
    lblInputData = makeLabel(
        flmInput, "lblInputData", QStringLiteral(" 000/00"), gTwipsRect(6690, 390, 645, 255));

    // Bit 7 on the left, bit 0 on the right.
    static constexpr std::array<std::int32_t, 8> port0Left = { 6720, 6000, 5250, 4530, 3810, 3090,
        2370, 1650 };
    for (int i = 0; i < 8; ++i) {
        lblPort0[i] = new QLabel(QStringLiteral("P0_%1").arg(i), flmInput);
        lblPort0[i]->setGeometry(gTwipsRect(port0Left[i], 990, 600, 315));
        styleBitLabel(lblPort0[i], QStringLiteral("lblPort0_%1").arg(i), vbGreen);
        gFollowBitLevel(*lblPort0[i]);
        lblPort0[i]->setEnabled(false);
    }

    ProgressBar_Input = new QProgressBar(flmInput);
    ProgressBar_Input->setObjectName(QStringLiteral("ProgressBar_Input"));
    ProgressBar_Input->setGeometry(gTwipsRect(1620, 660, 5685, 285));
    ProgressBar_Input->setRange(0, 255);
    ProgressBar_Input->setValue(0);
    ProgressBar_Input->setTextVisible(false);
    ProgressBar_Input->setToolTip(QStringLiteral("取得したデータの１０進値をバーで表します"));

    TimerInput = new QTimer(flmInput);
    TimerInput->setObjectName(QStringLiteral("TimerInput"));
    TimerInput->setInterval(0);
}

void frmMenu::createOutputPanel(QWidget *client)
{
    frmOutput = makeFrame(client, "frmOutput", QStringLiteral(" Port1へ出力 "),
        gTwipsRect(150, 1740, 4815, 1545), gVbFont(11.25, true), "#0000ff");

    cmdOutputStart = makePictureButton(frmOutput, "cmdOutputStart", QStringLiteral("出力開始"),
        QStringLiteral(":/portprobe/start.png"), QStringLiteral("出力を開始します"),
        gTwipsRect(300, 390, 1095, 975));
    cmdOutputEnd = makePictureButton(frmOutput, "cmdOutputEnd", QStringLiteral("停 止"),
        QStringLiteral(":/portprobe/stop.png"), QStringLiteral("出力を全てLOWレベルにします"),
        gTwipsRect(1080, 390, 1095, 975));
    cmdOutputEnd->setVisible(false);

    const QString port1Tip = QStringLiteral("Port1から入力");
    lblOutputMsg = makeLabel(frmOutput, "lblOutputMsg",
        QStringLiteral("出力停止中は全てLOWレベルです"), gTwipsRect(1620, 300, 3135, 255));
    lblOutputMsg->setToolTip(port1Tip);
    Label2 = makeLabel(frmOutput, "Label2", QStringLiteral("出力値(10/16進)"),
        gTwipsRect(2400, 660, 1485, 255), Qt::AlignRight | Qt::AlignTop);
    Label2->setToolTip(port1Tip);
    lblOutput =
        makeLabel(frmOutput, "lblOutput", QStringLiteral("00/00"), gTwipsRect(4020, 660, 555, 255));
    lblOutput->setToolTip(port1Tip);

    // Bit 3 on the left, bit 0 on the right.
    static constexpr std::array<std::int32_t, 4> port1Left = { 3870, 3150, 2430, 1680 };
    static constexpr std::array<std::int32_t, 4> checkLeft = { 4050, 3330, 2580, 1860 };
    for (int i = 0; i < 4; ++i) {
        lblPort1[i] = new ClickLabel(QStringLiteral("P1_%1").arg(i), frmOutput);
        lblPort1[i]->setGeometry(gTwipsRect(port1Left[i], 960, 600, 315));
        styleBitLabel(lblPort1[i], QStringLiteral("lblPort1_%1").arg(i), vbGreen);
        gFollowBitLevel(*lblPort1[i]);
        lblPort1[i]->setCursor(Qt::PointingHandCursor);

        chkPort1[i] = new QCheckBox(frmOutput);
        chkPort1[i]->setObjectName(QStringLiteral("chkPort1_%1").arg(i));
        chkPort1[i]->setGeometry(gTwipsRect(checkLeft[i], 1290, 255, 255));
        chkPort1[i]->setChecked(false);
        chkPort1[i]->setVisible(false);
    }
}

void frmMenu::createTargetPanel(QWidget *client)
{
    frmTargetUsbIO = makeFrame(client, "frmTargetUsbIO", QStringLiteral("対象USB-IOの指定"),
        gTwipsRect(5190, 1770, 2505, 1065), gVbFont(9), "#ff8000");

    lblVendorID = makeLabel(frmTargetUsbIO, "lblVendorID", QStringLiteral("VendorID  ＆H"),
        gTwipsRect(30, 330, 1365, 255), Qt::AlignRight | Qt::AlignTop);
    lblVendorID->setToolTip(QStringLiteral("VenderID"));
    txtVendorID =
        makeTextBox(frmTargetUsbIO, "txtVendorID", QString(), gTwipsRect(1470, 270, 765, 285));
    Label1 = makeLabel(frmTargetUsbIO, "Label1", QStringLiteral("ProductID ＆H"),
        gTwipsRect(120, 720, 1275, 255), Qt::AlignRight | Qt::AlignTop);
    Label1->setToolTip(QStringLiteral("ProductID"));
    txtProductID =
        makeTextBox(frmTargetUsbIO, "txtProductID", QString(), gTwipsRect(1470, 660, 765, 285));
}

void frmMenu::createLegend(QWidget *client)
{
    auto *high = new QLabel(QStringLiteral("HIGH"), client);
    high->setGeometry(gTwipsRect(5700, 2940, 600, 315));
    styleBitLabel(high, QStringLiteral("lblPort_sample_4"), vbRed);
    high->setToolTip(QStringLiteral("赤色は 「HIGH」 レベルを意味します"));
    // The colour a legend stands for, for readers who cannot see it.
    high->setAccessibleDescription(high->toolTip());
    lblPort_sample[4] = high;

    auto *low = new QLabel(QStringLiteral("LOW"), client);
    low->setGeometry(gTwipsRect(6450, 2940, 600, 315));
    styleBitLabel(low, QStringLiteral("lblPort_sample_5"), vbGreen);
    low->setToolTip(QStringLiteral("緑色は 「LOW」 レベルを意味します"));
    low->setAccessibleDescription(low->toolTip());
    lblPort_sample[5] = low;
}

void frmMenu::createMenu()
{
    Help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    Help->setObjectName(QStringLiteral("Help"));
    mnuContents = Help->addAction(QStringLiteral("説明書(&C)"));
    mnuContents->setObjectName(QStringLiteral("mnuContents"));
    mnuAbout = Help->addAction(QStringLiteral("このソフトについて(&A)"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuContents, &QAction::triggered, this, &frmMenu::mnuContents_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMenu::mnuAbout_Click);
}

void frmMenu::showEvent(QShowEvent *event)
{
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    QMainWindow::showEvent(event);
}

void frmMenu::Form_Load()
{
    gTrapFatal("frmMenu_Form_load", [&] {
        gSetFormCaption(*this, 1);

        std::string vendor;
        std::string product;
        gGetSettingData(vendor, product);
        txtVendorID->setText(QString::fromStdString(vendor));
        txtProductID->setText(QString::fromStdString(product));

        // Stored texts that are no IDs were saved as typed: say so once and
        // keep them for correcting; the activities check them again at start.
        if (mCheckID() && !mSetID()) {
            gGotoErrHandler();
        }

        // Each stop button stands exactly in place of its start button.
        cmdInputEnd->move(cmdInputStart->x(), cmdInputEnd->y());
        cmdOutputEnd->move(cmdOutputStart->x(), cmdOutputEnd->y());

        if (!mDspOutPut(true)) {
            gGotoErrHandler();
        }
    });
}

void frmMenu::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmMenu::Form_Unload()
{
    gTrapFatal("frmMenu_Form_Unload", [&] {
        // Outputs left HIGH stay so on the board: nothing is written first.
        gUSBIO_Close();
        gSetSettingData(txtVendorID->text().toStdString(), txtProductID->text().toStdString());

        // The window is gone from here on: no more polls from its timer.
        TimerInput->stop();
        hide();
        platform::process().doEvents();

        gProcEndProgram();
    });
}

void frmMenu::mnuContents_Click()
{
    gTrap("mnuContents_Click", [&] { gDspHelp("index.html"); });
}

void frmMenu::mnuAbout_Click()
{
    gTrapFatal("frmMenu_mnuAbout_Click", [&] {
        if (!gfrmAbout_FreeWare) {
            gfrmAbout_FreeWare = new frmAbout_FreeWare(this);
        }
        gfrmAbout_FreeWare->exec();
    });
}

bool frmMenu::mSetID()
{
    gTrapFatal("frmMenu_mSetID", [&] {
        // The vendor first, then the product.
        for (auto [box, target] : { std::pair { txtVendorID, &TargetVendorID },
                 std::pair { txtProductID, &TargetProductID } }) {
            const std::optional<std::int32_t> id = gReadHexId(box->text().toStdU16String());
            if (!id) {
                Err().Raise(vberr::TypeMismatch);
            }
            *target = *id;
        }
    });
    return true;
}

bool frmMenu::mCheckID()
{
    bool valid = false;
    gTrapFatal("frmMenu_mCheckID", [&] {
        for (QLineEdit *box : { txtVendorID, txtProductID }) {
            if (!gReadHexId(box->text().toStdU16String())) {
                platform::messageBox().show({ "IDが数値として正しくありません", build::AppTitle,
                    platform::MbOkOnly, platform::MbIconNone, {}, 0 });
                return;
            }
        }
        valid = true;
    });
    return valid;
}

bool frmMenu::mDspLockUsbioID(bool lock)
{
    gTrapFatal("frmMenu_mDspLockUsbioID", [&] {
        for (QLineEdit *box : { txtVendorID, txtProductID }) {
            box->setEnabled(!lock);
            box->setToolTip(lock ? IdLockedTip : IdUnlockedTip);
        }
    });
    return true;
}

void frmMenu::cmdOutputStart_Click()
{
    gTrapFatal("frmMenu_cmdOutputStart_Click", [&] {
        // Unlocked boxes mean nothing runs: take the IDs over, searching afresh.
        if (txtVendorID->isEnabled()) {
            if (!mCheckID()) {
                return;
            }
            gUSBIO_Close();
            if (!mSetID()) {
                gGotoErrHandler();
            }
        }
        if (!mOutPut(false)) {
            return;
        }
        if (mDspOutPut(false)) {
            gUSBIO_Close();
        }
    });
}

void frmMenu::cmdOutputEnd_Click()
{
    gTrapFatal("frmMenu_cmdOutputEnd_Click", [&] {
        // All lines LOW; the pattern itself stays for the next start.
        if (mOutPut(true) && !mDspOutPut(true)) {
            gGotoErrHandler();
        }
    });
}

void frmMenu::lblPort1_Click(int index)
{
    QLabel &label = *lblPort1.at(static_cast<std::size_t>(index));
    QCheckBox &bit = *chkPort1.at(static_cast<std::size_t>(index));
    if (gGetBackColor(label) == vbRed) {
        gSetBackColor(label, vbGreen);
        bit.setChecked(false);
    } else {
        gSetBackColor(label, vbRed);
        bit.setChecked(true);
    }
    if (!cmdOutputEnd->isHidden() && !mOutPut(false)) {
        return;
    }
    gUSBIO_Close();
}

bool frmMenu::mOutPut(bool allLow)
{
    bool written = false;
    gTrapFatal("frmMenu_mOutPut", [&] {
        std::string bits;
        for (QCheckBox *bit : chkPort1) {
            bits.insert(0, bit->isChecked() ? "1" : "0");
        }
        std::int32_t value = 0;
        if (!gProcTrans2To10(bits, value)) {
            gGotoErrHandler();
        }
        if (allLow) {
            value = 0;
        }
        if (gUSBIO_WriteP1(static_cast<std::int16_t>(value))) {
            lblOutput->setText(decimalHexText(value, 2));
            written = true;
            return;
        }
        // The board keeps what it last received; only the display stops.
        if (!mDspInput(true) || !mDspOutPut(true)) {
            gGotoErrHandler();
        }
        cmdOutputStart->setFocus();
        mDspUsbIoErr();
    });
    return written;
}

bool frmMenu::mDspOutPut(bool idle)
{
    gTrapFatal("frmMenu_mDspOutPut", [&] {
        cmdOutputStart->setVisible(idle);
        cmdOutputEnd->setVisible(!idle);
        lblOutputMsg->setText(idle ? OutputIdleMsg : OutputRunningMsg);
        // The IDs unlock only once polling is stopped too.
        if (idle && !cmdInputStart->isHidden()) {
            if (!mDspLockUsbioID(false)) {
                gGotoErrHandler();
            }
        } else if (!idle && !mDspLockUsbioID(true)) {
            gGotoErrHandler();
        }
    });
    return true;
}

void frmMenu::mShowIntervalMessage(const std::string &text)
{
    platform::messageBox().show(
        { text, build::AppTitle, platform::MbOkOnly, platform::MbIconCritical, {}, 0 });
}

void frmMenu::cmdInputStart_Click()
{
    gTrapFatal("frmMenu_cmdInputStart_Click", [&] {
        const std::optional<double> number =
            gParseNumericText(txtInputInterval->text().toStdString());
        if (!number) {
            mShowIntervalMessage("取得間隔は数値を入力してください。");
            return;
        }
        if (gROUNDOFF(*number, 0, 0) != *number) {
            mShowIntervalMessage("取得間隔に小数は入力しないでください。");
            return;
        }
        if (*number > MaxInputInterval) {
            mShowIntervalMessage("取得間隔は 2147483647mSec 以下を指定してください");
            return;
        }
        if (*number < MinInputInterval) {
            mShowIntervalMessage("取得間隔は 1000mSec 以上を指定してください");
            return;
        }
        const auto interval = static_cast<std::int32_t>(*number);
        txtInputInterval->setText(QString::number(interval));

        mbooInputBusy = false;
        if (txtVendorID->isEnabled()) {
            if (!mCheckID()) {
                return;
            }
            gUSBIO_Close();
            if (!mSetID()) {
                gGotoErrHandler();
            }
        }
        // The first reading at once, not a whole interval later.
        if (!mInput()) {
            return;
        }
        mSetTimerInterval(interval);
        if (!mDspInput(false)) {
            gGotoErrHandler();
        }
        cmdInputEnd->setFocus();
    });
}

void frmMenu::cmdInputEnd_Click()
{
    gTrapFatal("frmMenu_cmdInputEnd_Click", [&] {
        mSetTimerInterval(0);
        mbooInputBusy = false;
        if (!mDspInput(true)) {
            gGotoErrHandler();
        }
        cmdInputStart->setFocus();
        gUSBIO_Close();
    });
}

void frmMenu::TimerInput_Timer()
{
    gTrapFatal("frmMenu_TimerInput_Timer", [&] {
        // A failed poll leaves the flag set: the ticks go on, polling halts.
        if (mbooInputBusy) {
            return;
        }
        mbooInputBusy = true;
        if (mInput()) {
            mbooInputBusy = false;
        }
    });
}

bool frmMenu::mInput()
{
    bool read = false;
    gTrapFatal("frmMenu_mInput", [&] {
        std::int16_t value = 0;
        if (!gUSBIO_ReadP0(value)) {
            // The timer keeps ticking and the link stays; only the display stops.
            if (!mDspInput(true) || !mDspOutPut(true)) {
                gGotoErrHandler();
            }
            cmdInputStart->setFocus();
            mDspUsbIoErr();
            return;
        }
        std::string bits;
        if (!gProcTrans10To2(value, bits)) {
            gGotoErrHandler();
        }
        bits = gGetSpaceString1(bits, 8, "0", 1);
        // Bit 0 is the rightmost character.
        for (std::size_t i = 0; i < lblPort0.size(); ++i) {
            gSetBackColor(*lblPort0[i], bits.at(7 - i) == '1' ? vbRed : vbGreen);
        }
        ProgressBar_Input->setValue(value);
        lblInputData->setText(decimalHexText(value, 3));
        read = true;
    });
    return read;
}

bool frmMenu::mDspInput(bool idle)
{
    gTrapFatal("frmMenu_mDspInput", [&] {
        cmdInputStart->setVisible(idle);
        cmdInputEnd->setVisible(!idle);
        txtInputInterval->setEnabled(idle);
        // The IDs unlock only once output is stopped too.
        if (idle && !cmdOutputStart->isHidden()) {
            if (!mDspLockUsbioID(false)) {
                gGotoErrHandler();
            }
        } else if (!idle && !mDspLockUsbioID(true)) {
            gGotoErrHandler();
        }
    });
    return true;
}

void frmMenu::mSetTimerInterval(std::int32_t milliseconds)
{
    // Interval 0 means no ticks at all (a zero-interval QTimer would fire
    // on every pass of the event loop).
    TimerInput->setInterval(milliseconds);
    if (milliseconds > 0) {
        TimerInput->start();
    } else {
        TimerInput->stop();
    }
}

void frmMenu::mDspUsbIoErr()
{
    // One window: a further failure shows the same one again.
    if (!gfrmUsbIoErr) {
        gfrmUsbIoErr = new frmUsbIoErr(this);
    }
    // A window that cannot be shown is in gDspForm's own report; the console
    // goes on.
    gDspForm(*gfrmUsbIoErr, 0, 0, false, 0);
}
