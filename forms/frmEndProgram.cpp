#include "forms/frmEndProgram.h"

#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "platform/process.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <utility>

QPointer<frmEndProgram> gfrmEndProgram;

EndProgramCalls gEndWindowCalls(std::function<bool()> endProcess)
{
    EndProgramCalls calls;
    calls.endAfterFatalError = [] {
        gSetEndProgramExitCode(1);
        gProcEndProgram();
    };
    calls.showEndWindow = [] {
        if (!gfrmEndProgram) {
            gfrmEndProgram = new frmEndProgram();
        }
        return gDspForm(*gfrmEndProgram, 0, 1, false, 0.8f);
    };
    calls.endProcess = std::move(endProcess);
    return calls;
}

frmEndProgram::frmEndProgram(QWidget *parent)
    : QDialog(parent),
      Label1(new QLabel(QStringLiteral("終了処理をしています。"), this)),
      Label2(new QLabel(QStringLiteral("しばらくお待ちください。"), this)),
      imgIcon(new QLabel(this)),
      Image2(new QLabel(this))
{
    setObjectName(QStringLiteral("frmEndProgram"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("終了処理"));
    setFont(gVbFont(9));
    setFixedSize(gTwipsToPixels(4380), gTwipsToPixels(1065));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(gTwipsRect(960, 240, 2745, 255));
    Label1->setFont(gVbFont(11.25));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(gTwipsRect(960, 600, 2745, 255));
    Label2->setFont(gVbFont(11.25));
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(gTwipsRect(210, 270, 480, 480));
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(gTwipsRect(3780, 300, 480, 480));
    Image2->setPixmap(QPixmap(QStringLiteral(":/portprobe/watch.png")));

    Form_Load();
}

void frmEndProgram::Form_Load()
{
    // Without the icon file the window still does its job: no report.
    try {
        QIcon icon = gLoadPicture(gGetAppFilePath("sys/icon.ico"));
        imgIcon->setPixmap(icon.pixmap(gTwipsToPixels(480)));
        setWindowIcon(gLoadPicture(gGetAppFilePath("sys/icon.ico")));
    } catch (...) { }
}

void frmEndProgram::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!activated_) {
        activated_ = true;
        gCentreOnScreen(*this);
        // Activation runs once the window is on screen, inside its modal loop.
        QTimer::singleShot(0, this, &frmEndProgram::Form_Activate);
    }
}

void frmEndProgram::Form_Activate()
{
    bool ok = false;
    try {
        gSetFormCaption(*this, 0);
        // Painted now: the thread is about to block.
        platform::process().doEvents();
        const auto &endProcess = gRegisteredEndProgram().endProcess;
        ok = gProcSleep(2000) && (!endProcess || endProcess());
    } catch (...) { }
    if (!ok) {
        platform::process().terminate(gEndProgramExitCode());
        return;
    }
    unloading_ = true;
    done(Accepted);
}

void frmEndProgram::Form_Unload()
{
    if (gfrmEndProgram == this) {
        gfrmEndProgram = nullptr;
    }
    platform::process().terminate(gEndProgramExitCode());
}

void frmEndProgram::done(int result)
{
    // Only the end sequence closes this window; Escape does not.
    if (!unloading_) {
        return;
    }
    Form_Unload();
    QDialog::done(result);
}

void frmEndProgram::closeEvent(QCloseEvent *event)
{
    if (!unloading_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
