#pragma once
// The about box: program title, version, rights holder, the web site and the manual.

#include <QDialog>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
QT_END_NAMESPACE

class frmAbout_FreeWare : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout_FreeWare(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *imgIcon;
    QPushButton *Command1;
    QLabel *Label5;
    QLabel *Label2;
    QFrame *Line1;
    QLabel *Label4;
    QToolButton *Command2;
    QMenu *mnuHelp;
    QAction *mnuContents;

protected:
    void showEvent(QShowEvent *event) override;

public slots:
    void done(int result) override;

private slots:
    void Command1_Click();
    void Command2_Click();
    void mnuContents_Click();

private:
    void Form_Load();
    void Form_Unload();

    bool loaded_ = false;
};

/// The about box while it exists: created by the main window, emptied at
/// unload (and on destruction, being a QPointer).
extern QPointer<frmAbout_FreeWare> gfrmAbout_FreeWare;
