#pragma once
// frmUsbIoErr: tells the user that a port operation could not reach the
// USB-IO board, and offers the system settings from its menu.

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QAction;
class QLabel;
class QMenu;
QT_END_NAMESPACE

class frmUsbIoErr : public QWidget
{
    Q_OBJECT

public:
    /// A window of its own; @p owner (the console) keeps it above itself.
    explicit frmUsbIoErr(QWidget *owner = nullptr);

    QLabel *Image1;
    QLabel *lblMsg1;
    QLabel *Label1;
    QMenu *mnuHelp;
    QAction *mnuDeviceManeger;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void mnuDeviceManeger_Click();

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();

    bool loaded_ = false;
};

/// The one device error window while it exists: created by the console on a
/// failed port operation, emptied at unload (and on destruction, being a QPointer).
extern QPointer<frmUsbIoErr> gfrmUsbIoErr;
