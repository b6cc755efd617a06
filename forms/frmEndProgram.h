#pragma once
// The end window: shown for two seconds while the program closes down; the
// process ends from inside it.

#include "support/QuillFunc_Common.h"

#include <QDialog>
#include <QPointer>

#include <functional>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

class frmEndProgram : public QDialog
{
    Q_OBJECT

public:
    explicit frmEndProgram(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QLabel *imgIcon;
    QLabel *Image2;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public slots:
    void done(int result) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    bool activated_ = false;
    bool unloading_ = false;
};

/// The end window while it exists: created through gProcEndProgram, emptied at
/// unload (and on destruction, being a QPointer).
extern QPointer<frmEndProgram> gfrmEndProgram;

/// The end sequence's calls with this window in them, for gRegisterEndProgram
/// at start-up: the fatal path and gProcEndProgram show it, and it runs
/// @p endProcess, the program's last clean-up step (Module1's gProcEndProcess,
/// a layer above), before the process ends.
EndProgramCalls gEndWindowCalls(std::function<bool()> endProcess);
