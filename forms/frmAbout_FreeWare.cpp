#include "forms/frmAbout_FreeWare.h"

#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "platform/file_system.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Common.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

QPointer<frmAbout_FreeWare> gfrmAbout_FreeWare;

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption, const QRect &place,
    Qt::Alignment alignment)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAlignment(alignment);
    label->setFont(gVbFont(11.25));
    return label;
}

// The web address is shown whole: where the fixed-pitch font runs wider than the designed one
// (Wine has no MS Gothic and falls back to a wider face), the caption's font shrinks until the
// address fits between the button's frame, which a tool button would otherwise elide.
void fitCaption(QToolButton &button)
{
    const QStyle *style = button.style();
    const int room = button.width()
        - 2
            * (style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button)
                + style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button));
    QFont font = button.font();
    while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(button.text()) > room) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    button.setFont(font);
}

} // namespace

frmAbout_FreeWare::frmAbout_FreeWare(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout_FreeWare"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("このソフトについて"));
    setFont(gVbFont(9));

    QMenuBar *menuBar = nullptr;
    QWidget *client = gMakeMenuClient(*this, 4395, 3315, menuBar);

    mnuHelp = menuBar->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuContents = mnuHelp->addAction(QStringLiteral("説明書(&C)"));
    mnuContents->setObjectName(QStringLiteral("mnuContents"));

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignTop;
    Label1 = makeLabel(client, "Label1", QString(), gTwipsRect(390, 30, 3735, 285), centred);
    imgIcon = new QLabel(client);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(gTwipsRect(570, 330, 690, 570));
    imgIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QFont buttonFont = gVbFont(11.25, true);
    Command1 = new QPushButton(QStringLiteral("OK"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(gTwipsRect(3450, 450, 735, 375));
    Command1->setFont(buttonFont);
    Command1->setDefault(true);

    Label5 = makeLabel(client, "Label5", QString(), gTwipsRect(1380, 510, 1995, 285),
        Qt::AlignLeft | Qt::AlignTop);
    Label2 = makeLabel(client, "Label2", QString(), gTwipsRect(300, 1080, 3975, 285), centred);

    Line1 = new QFrame(client);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setGeometry(gTwipsRect(360, 1620, 4200 - 360, 15));

    Label4 = makeLabel(client, "Label4", QStringLiteral("お問い合わせ、最新版の配布は"),
        gTwipsRect(570, 1800, 3405, 285), Qt::AlignLeft | Qt::AlignTop);

    Command2 = new QToolButton(client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(gTwipsRect(330, 2190, 3885, 1005));
    Command2->setFont(buttonFont);
    Command2->setIcon(QIcon(QStringLiteral(":/portprobe/banner.png")));
    Command2->setIconSize(QSize(160, 50));
    Command2->setText(QString::fromUtf8(build::WebSite));
    Command2->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    fitCaption(*Command2);
    Command2->setFocusPolicy(Qt::StrongFocus);

    connect(Command1, &QPushButton::clicked, this, &frmAbout_FreeWare::Command1_Click);
    connect(Command2, &QToolButton::clicked, this, &frmAbout_FreeWare::Command2_Click);
    connect(mnuContents, &QAction::triggered, this, &frmAbout_FreeWare::mnuContents_Click);
}

void frmAbout_FreeWare::showEvent(QShowEvent *event)
{
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
        gCentreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

namespace {

// The program file's own version resource where it has one (Windows), else the build's version.
QString programVersion()
{
    int major = build::VersionMajor;
    int minor = build::VersionMinor;
    int revision = build::VersionRevision;
    // Byte paths are in the system's code page on Windows, UTF-8 here: Qt's local 8-bit encoding.
    const std::string program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
                                    .toLocal8Bit()
                                    .toStdString();
    if (const auto fixed = platform::fileSystem().versionInfo(program)) {
        major = static_cast<int>(fixed->fileVersionMS >> 16);
        minor = static_cast<int>(fixed->fileVersionMS & 0xFFFF);
        revision = static_cast<int>(fixed->fileVersionLS >> 16);
    }
    return QStringLiteral("  version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

} // namespace

void frmAbout_FreeWare::Form_Load()
{
    gTrapFatal("frmAbout_Form_Load", [&] {
        gSetFormCaption(*this, 0);
        // A missing or unreadable icon file is a failure of the load.
        QIcon icon = gLoadPicture(gGetAppFilePath("sys/icon.ico"));
        imgIcon->setPixmap(icon.pixmap(32));
        Label1->setText(QString::fromUtf8(build::AppTitle));
        Label5->setText(programVersion());
        Label2->setText(QString::fromUtf8(build::LegalCopyright));
    });
}

void frmAbout_FreeWare::Command1_Click()
{
    gTrapFatal("frmAbout_Command1_Click", [&] { close(); });
}

void frmAbout_FreeWare::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmAbout_FreeWare::Form_Unload()
{
    gTrapFatal("frmAbout_Form_Unload", [&] {
        if (gfrmAbout_FreeWare == this) {
            gfrmAbout_FreeWare = nullptr;
        }
    });
}

void frmAbout_FreeWare::Command2_Click()
{
    gTrapFatal("frmAbout_Command2_Click", [&] {
        if (!gDspHP()) {
            gGotoErrHandler();
        }
    });
}

void frmAbout_FreeWare::mnuContents_Click()
{
    gTrapFatal("frmAbout_mnuContents_Click", [&] {
        if (!gDspHelp("index.html")) {
            gGotoErrHandler();
        }
    });
}
