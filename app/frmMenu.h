#pragma once
// frmMenu: the console's main window with its three panels (Port0 input,
// Port1 output, target device IDs) and the help menu.

#include <QMainWindow>

#include <array>
#include <map>

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

private slots:
    void mnuContents_Click();
    void mnuAbout_Click();

private:
    void Form_Load();
    void Form_Unload();

    void createInputPanel(QWidget *client);
    void createOutputPanel(QWidget *client);
    void createTargetPanel(QWidget *client);
    void createLegend(QWidget *client);
    void createMenu();

    bool mbooInputBusy = false;
    bool loaded_ = false;
};
