#include "app/frmMenu.h"

#include "app/Module1.h"
#include "forms/ClickLabel.h"
#include "forms/frmAbout_FreeWare.h"
#include "platform/process.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_CommonWindow.h"
#include "support/QuillFunc_Window.h"
#include "usbio/QuillFunc_USBIO.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <string>

namespace {

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
    lblPort_sample[4] = high;

    auto *low = new QLabel(QStringLiteral("LOW"), client);
    low->setGeometry(gTwipsRect(6450, 2940, 600, 315));
    styleBitLabel(low, QStringLiteral("lblPort_sample_5"), vbGreen);
    low->setToolTip(QStringLiteral("緑色は 「LOW」 レベルを意味します"));
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

        // Each stop button stands exactly in place of its start button.
        cmdInputEnd->move(cmdInputStart->x(), cmdInputEnd->y());
        cmdOutputEnd->move(cmdOutputStart->x(), cmdOutputEnd->y());
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
