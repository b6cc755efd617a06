#pragma once
// frmMenu: the console's main window with its three panels (Port0 input,
// Port1 output, target device IDs) and the help menu.

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <map>
#include <string>

QT_BEGIN_NAMESPACE
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;
class QToolButton;
QT_END_NAMESPACE
class ClickLabel;

class frmMenu : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMenu(QWidget *parent = nullptr);

    // Port0 input panel.
    QGroupBox *flmInput;
    QToolButton *cmdInputStart;
    QToolButton *cmdInputEnd;
    QLineEdit *txtInputInterval;
    QLabel *lblInputInterval;
    QLabel *Label4;
    QLabel *lblInputData;
    std::array<QLabel *, 8> lblPort0;
    QProgressBar *ProgressBar_Input;
    QTimer *TimerInput;

    // Port1 output panel.
    QGroupBox *frmOutput;
    QToolButton *cmdOutputStart;
    QToolButton *cmdOutputEnd;
    QLabel *lblOutputMsg;
    QLabel *Label2;
    QLabel *lblOutput;
    std::array<ClickLabel *, 4> lblPort1;
    std::array<QCheckBox *, 4> chkPort1;

    // Target device panel.
    QGroupBox *frmTargetUsbIO;
    QLabel *lblVendorID;
    QLineEdit *txtVendorID;
    QLabel *Label1;
    QLineEdit *txtProductID;

    /// The HIGH and LOW legend, indices 4 and 5.
    std::map<int, QLabel *> lblPort_sample;

    QMenu *Help;
    QAction *mnuContents;
    QAction *mnuAbout;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

public slots:
    // The panels' handlers, reachable for the window tests.
    void cmdOutputStart_Click();
    void cmdOutputEnd_Click();
    void lblPort1_Click(int index);
    void cmdInputStart_Click();
    void cmdInputEnd_Click();
    void TimerInput_Timer();

private slots:
    void mnuContents_Click();
    void mnuAbout_Click();

private:
    void Form_Load();
    void Form_Unload();

    bool mSetID();
    bool mCheckID();
    bool mDspLockUsbioID(bool lock);
    bool mOutPut(bool allLow);
    bool mDspOutPut(bool idle);
    bool mInput();
    bool mDspInput(bool idle);
    void mDspUsbIoErr();
    void mSetTimerInterval(std::int32_t milliseconds);
    void mShowIntervalMessage(const std::string &text);

    void createInputPanel(QWidget *client);
    void createOutputPanel(QWidget *client);
    void createTargetPanel(QWidget *client);
    void createLegend(QWidget *client);
    void createMenu();

    bool mbooInputBusy = false;
    bool loaded_ = false;
};
