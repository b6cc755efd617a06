#include "forms/frmUsbIoErr.h"

#include "forms/Accessibility.h"
#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "support/QuillFunc_Common.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

QPointer<frmUsbIoErr> gfrmUsbIoErr;

frmUsbIoErr::frmUsbIoErr(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmUsbIoErr"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Only the console ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("USB-IO取得エラー"));
    // A modeless window still opens as a dialog for screen readers.
    gSetAccessibleRole(*this, QAccessible::Dialog);
    setFont(gVbFont(9));

    QMenuBar *menuBar = nullptr;
    QWidget *client = gMakeMenuClient(*this, 5640, 975, menuBar);

    mnuHelp = menuBar->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuDeviceManeger = mnuHelp->addAction(QStringLiteral("コントロールパネル を開く(&D)"));
    mnuDeviceManeger->setObjectName(QStringLiteral("mnuDeviceManeger"));
    connect(mnuDeviceManeger, &QAction::triggered, this, &frmUsbIoErr::mnuDeviceManeger_Click);

    // Escape closes it as it would a dialog: the keyboard's way to the title
    // bar's close button. The window has no control to hold the focus, so
    // this must not depend on where the focus is.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(gTwipsRect(300, 150, 750, 690));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QIcon(QStringLiteral(":/portprobe/warning.png")).pixmap(32));

    lblMsg1 = new QLabel(QStringLiteral("USB-IOデバイスが取得できませんでした"), client);
    lblMsg1->setObjectName(QStringLiteral("lblMsg1"));
    lblMsg1->setGeometry(gTwipsRect(1200, 120, 4365, 315));
    lblMsg1->setFont(gVbFont(11.25));
    QPalette red = lblMsg1->palette();
    red.setColor(QPalette::WindowText, gVbColor(vbRed));
    lblMsg1->setPalette(red);

    Label1 = new QLabel(QStringLiteral("接続やＩＤを確認してください"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(gTwipsRect(1230, 480, 4305, 255));
    Label1->setFont(gVbFont(9));
}

void frmUsbIoErr::showEvent(QShowEvent *event)
{
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    QWidget::showEvent(event);
    Form_Activate();
}

void frmUsbIoErr::Form_Load()
{
    // A caption is all there is to load; nothing here may stop the window.
    try {
        gSetFormCaption(*this, 0);
    } catch (...) { }
}

void frmUsbIoErr::Form_Activate() { }

void frmUsbIoErr::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmUsbIoErr::Form_Unload()
{
    // The next failure builds a fresh window.
    if (gfrmUsbIoErr == this) {
        gfrmUsbIoErr = nullptr;
    }
}

void frmUsbIoErr::mnuDeviceManeger_Click()
{
    // A failure to start the applet is logged by the helper; the window stays.
    gDspControlPanel("sysdm.cpl");
}
