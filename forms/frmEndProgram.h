#pragma once
// The end window: shown for two seconds while the program closes down; the
// process ends from inside it.

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

/// Registers the end window with the end sequence (gProcEndProgram) and gives
/// it @p endProcess, the program's last clean-up step, which the end window
/// runs before the process ends (Module1's gProcEndProcess, a layer above).
/// Called once at start-up.
void installEndWindow(std::function<bool()> endProcess);
