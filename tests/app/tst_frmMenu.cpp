// The main window: its controls as designed, its load and unload, the help menu.

#include "forms/gui_test_support.h"

#include "app/frmMenu.h"
#include "forms/ClickLabel.h"
#include "forms/frmAbout_FreeWare.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"
#include "support/QuillFunc_Window.h"

#include <QAction>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

QRect twips(int left, int top, int width, int height)
{
    return gTwipsRect(left, top, width, height);
}

std::string iniValue(const QString &file, const char *key)
{
    return gGetIniString(file.toStdString(), "Setting", key, "<missing>");
}

// Child: the window closes while its settings file cannot be written.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
    gbooHideErrMsg = true;
    if (scenario == QLatin1String("unload-write-fails")) {
        auto *window = new frmMenu();
        window->show();
        window->close();
    }
}

} // namespace

class tst_frmMenu : public QObject
{
    Q_OBJECT

private slots:
    void init() { gbooHideErrMsg = true; }

    void controlsAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("flmInput") << "flmInput"
                                  << "client" << twips(150, 30, 7545, 1545) << " Port0から入力 "
                                  << "";
        QTest::newRow("cmdInputStart") << "cmdInputStart"
                                       << "flmInput" << twips(270, 360, 1095, 975) << "入力開始"
                                       << "入力の取得を開始します";
        QTest::newRow("txtInputInterval") << "txtInputInterval"
                                          << "flmInput" << twips(2160, 300, 765, 285) << "1000"
                                          << "";
        QTest::newRow("lblInputInterval")
            << "lblInputInterval"
            << "flmInput" << twips(3000, 390, 2145, 255) << "mSecごとに入力値を取得"
            << "";
        QTest::newRow("Label4") << "Label4"
                                << "flmInput" << twips(5100, 390, 1485, 255) << "入力値(10/16進)"
                                << "";
        QTest::newRow("lblInputData") << "lblInputData"
                                      << "flmInput" << twips(6690, 390, 645, 255) << " 000/00"
                                      << "";
        QTest::newRow("P0_7 leftmost") << "lblPort0_7"
                                       << "flmInput" << twips(1650, 990, 600, 315) << "P0_7"
                                       << "";
        QTest::newRow("P0_0 rightmost") << "lblPort0_0"
                                        << "flmInput" << twips(6720, 990, 600, 315) << "P0_0"
                                        << "";
        QTest::newRow("ProgressBar_Input") << "ProgressBar_Input"
                                           << "flmInput" << twips(1620, 660, 5685, 285) << ""
                                           << "取得したデータの１０進値をバーで表します";
        QTest::newRow("frmOutput") << "frmOutput"
                                   << "client" << twips(150, 1740, 4815, 1545) << " Port1へ出力 "
                                   << "";
        QTest::newRow("cmdOutputStart") << "cmdOutputStart"
                                        << "frmOutput" << twips(300, 390, 1095, 975) << "出力開始"
                                        << "出力を開始します";
        QTest::newRow("lblOutputMsg")
            << "lblOutputMsg"
            << "frmOutput" << twips(1620, 300, 3135, 255) << "出力停止中は全てLOWレベルです"
            << "Port1から入力";
        QTest::newRow("Label2") << "Label2"
                                << "frmOutput" << twips(2400, 660, 1485, 255) << "出力値(10/16進)"
                                << "Port1から入力";
        QTest::newRow("lblOutput") << "lblOutput"
                                   << "frmOutput" << twips(4020, 660, 555, 255) << "00/00"
                                   << "Port1から入力";
        QTest::newRow("P1_3 leftmost") << "lblPort1_3"
                                       << "frmOutput" << twips(1680, 960, 600, 315) << "P1_3"
                                       << "";
        QTest::newRow("P1_0 rightmost") << "lblPort1_0"
                                        << "frmOutput" << twips(3870, 960, 600, 315) << "P1_0"
                                        << "";
        QTest::newRow("frmTargetUsbIO")
            << "frmTargetUsbIO"
            << "client" << twips(5190, 1770, 2505, 1065) << "対象USB-IOの指定"
            << "";
        QTest::newRow("lblVendorID")
            << "lblVendorID"
            << "frmTargetUsbIO" << twips(30, 330, 1365, 255) << "VendorID  ＆H"
            << "VenderID";
        QTest::newRow("txtVendorID") << "txtVendorID"
                                     << "frmTargetUsbIO" << twips(1470, 270, 765, 285) << ""
                                     << "";
        QTest::newRow("Label1") << "Label1"
                                << "frmTargetUsbIO" << twips(120, 720, 1275, 255) << "ProductID ＆H"
                                << "ProductID";
        QTest::newRow("txtProductID") << "txtProductID"
                                      << "frmTargetUsbIO" << twips(1470, 660, 765, 285) << ""
                                      << "";
        QTest::newRow("HIGH legend") << "lblPort_sample_4"
                                     << "client" << twips(5700, 2940, 600, 315) << "HIGH"
                                     << "赤色は 「HIGH」 レベルを意味します";
        QTest::newRow("LOW legend") << "lblPort_sample_5"
                                    << "client" << twips(6450, 2940, 600, 315) << "LOW"
                                    << "緑色は 「LOW」 レベルを意味します";
    }

    void controlsAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(QRect, place);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        frmMenu window;
        auto *control = window.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), parentName);
        QCOMPARE(control->geometry(), place);
        QCOMPARE(control->toolTip(), toolTip);
        QString text;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            text = label->text();
        } else if (auto *button = qobject_cast<QToolButton *>(control)) {
            text = button->text();
        } else if (auto *box = qobject_cast<QLineEdit *>(control)) {
            text = box->text();
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            text = frame->title();
        }
        QCOMPARE(text, caption);
    }

    void clientAreaAndMenu()
    {
        frmMenu window;
        QCOMPARE(window.centralWidget()->size(), QSize(522, 230));
        QCOMPARE(window.Help->title(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(window.Help->actions(), QList<QAction *>({ window.mnuContents, window.mnuAbout }));
        QCOMPARE(window.mnuContents->text(), QStringLiteral("説明書(&C)"));
        QCOMPARE(window.mnuAbout->text(), QStringLiteral("このソフトについて(&A)"));
    }

    void bitsAndStatesAtDesign()
    {
        frmMenu window;
        for (QLabel *bit : window.lblPort0) {
            QCOMPARE(gGetBackColor(*bit), vbGreen);
            QVERIFY(!bit->isEnabled());
        }
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(gGetBackColor(*window.lblPort1[i]), vbGreen);
            QVERIFY(window.lblPort1[i]->isEnabled());
            QVERIFY(!window.chkPort1[i]->isChecked());
            QVERIFY(window.chkPort1[i]->isHidden());
        }
        // The hidden boxes mirror the labels: bit 0 on the right.
        QCOMPARE(window.chkPort1[0]->geometry(), twips(4050, 1290, 255, 255));
        QCOMPARE(window.chkPort1[3]->geometry(), twips(1860, 1290, 255, 255));
        QCOMPARE(gGetBackColor(*window.lblPort_sample.at(4)), vbRed);
        QCOMPARE(gGetBackColor(*window.lblPort_sample.at(5)), vbGreen);
        QVERIFY(window.cmdInputEnd->isHidden());
        QVERIFY(window.cmdOutputEnd->isHidden());
        QCOMPARE(window.TimerInput->interval(), 0);
        QVERIFY(!window.TimerInput->isActive());
        QCOMPARE(window.ProgressBar_Input->minimum(), 0);
        QCOMPARE(window.ProgressBar_Input->maximum(), 255);
        QCOMPARE(window.ProgressBar_Input->value(), 0);
    }

    void japaneseTextHasGlyphs()
    {
        frmMenu window;
        const QString texts =
            window.lblOutputMsg->text() + window.flmInput->title() + window.lblVendorID->text();
        for (QWidget *widget :
            { static_cast<QWidget *>(window.lblOutputMsg), static_cast<QWidget *>(window.flmInput),
                static_cast<QWidget *>(window.lblVendorID) }) {
            QFontMetrics metrics(widget->font());
            for (QChar c : texts) {
                QVERIFY2(metrics.inFont(c), qPrintable(QFontInfo(widget->font()).family()));
            }
        }
        QVERIFY(window.flmInput->font().bold());
        QCOMPARE(window.flmInput->font().pointSizeF(), 11.25);
        QVERIFY(!window.cmdInputStart->font().bold());
        QCOMPARE(window.lblPort0[0]->font().pointSizeF(), 11.25);
    }

    void loadSetsCaptionSettingsAndStopButtons()
    {
        guitest::Stage stage;
        frmMenu window;
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("PORTPROBE     "));
        QCOMPARE(window.txtVendorID->text(), QStringLiteral("1352"));
        QCOMPARE(window.txtProductID->text(), QStringLiteral("100"));
        QCOMPARE(window.lblOutputMsg->text(), QStringLiteral("出力停止中は全てLOWレベルです"));
        QVERIFY(window.txtVendorID->isEnabled());
        QVERIFY(window.txtProductID->isEnabled());
        // Each stop button, when shown, stands exactly where its start button is.
        QCOMPARE(window.cmdInputEnd->geometry(), window.cmdInputStart->geometry());
        QCOMPARE(window.cmdOutputEnd->geometry(), window.cmdOutputStart->geometry());
        QVERIFY(window.cmdInputStart->isVisible());
        QVERIFY(!window.cmdInputEnd->isVisible());
        QVERIFY(stage.recorder.events.empty());
    }

    void closeSavesTextsAsTypedAndEnds_data()
    {
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        QTest::newRow("hexadecimal IDs") << "ABCD"
                                         << "0100";
        QTest::newRow("text that is no number") << "zz !"
                                                << "";
    }

    void closeSavesTextsAsTypedAndEnds()
    {
        QFETCH(QString, vendor);
        QFETCH(QString, product);
        guitest::Stage stage;
        bool hiddenDuringWait = false;
        frmMenu window;
        stage.recorder.onSleep = [&](std::int32_t) { hiddenDuringWait = !window.isVisible(); };
        window.show();
        window.txtVendorID->setText(vendor);
        window.txtProductID->setText(product);
        window.TimerInput->start(1000);

        window.close();

        const QString file = stage.appPath(QStringLiteral("setting.ini"));
        QCOMPARE(iniValue(file, "StrVendorID"), vendor.toStdString());
        QCOMPARE(iniValue(file, "StrPeroductID"),
            product.isEmpty() ? std::string("<missing>") : product.toStdString());
        QCOMPARE(stage.recorder.events, (std::vector<std::string> { "sleep 2000", "terminate 0" }));
        QVERIFY(hiddenDuringWait);
        QVERIFY(!window.TimerInput->isActive());
        QVERIFY(stage.procedures().isEmpty());
    }

    void settingsSurviveARestart()
    {
        guitest::Stage stage;
        {
            frmMenu first;
            first.show();
            first.txtVendorID->setText(QStringLiteral("beef"));
            first.txtProductID->setText(QStringLiteral("7"));
            first.close();
        }
        frmMenu second;
        second.show();
        QCOMPARE(second.txtVendorID->text(), QStringLiteral("beef"));
        QCOMPARE(second.txtProductID->text(), QStringLiteral("7"));
    }

    void manualMissingIsOnlyLogged()
    {
        guitest::Stage stage;
        frmMenu window;
        window.show();
        window.mnuContents->trigger();
        QCOMPARE(stage.procedures(), QStringList({ QStringLiteral("gDspHelp") }));
        QVERIFY(stage.recorder.events.empty());
        QVERIFY(window.isVisible());
    }

    void manualOpens()
    {
        guitest::Stage stage;
        stage.shipManual();
        frmMenu window;
        window.show();
        window.mnuContents->trigger();
        QCOMPARE(stage.shell.opened,
            std::vector<std::string>(
                { stage.appPath(QStringLiteral("index.html")).toStdString() + " 3" }));
        QVERIFY(stage.procedures().isEmpty());
    }

    void aboutIsModalAndCloses()
    {
        guitest::Stage stage;
        stage.shipIcon();
        frmMenu window;
        window.show();
        bool modal = false;
        QTimer::singleShot(0, &window, [&] {
            QVERIFY(gfrmAbout_FreeWare);
            modal = gfrmAbout_FreeWare->isModal() && gfrmAbout_FreeWare->isVisible();
            gfrmAbout_FreeWare->close();
        });
        window.mnuAbout->trigger();
        QVERIFY(modal);
        QVERIFY(gfrmAbout_FreeWare == nullptr);
        QVERIFY(stage.recorder.events.empty());
    }

    void unloadWriteFailureIsFatal()
    {
        guitest::Stage stage;
        // A folder in the file's place: no one, not even root, can write it.
        QVERIFY(QDir().mkpath(stage.appPath(QStringLiteral("setting.ini"))));
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("unload-write-fails"), stage.childEnvironment());
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.events, guitest::fatalEvents());
        QCOMPARE(stage.procedures().last(), QStringLiteral("gSetSettingData"));
    }
};

GUITEST_MAIN(tst_frmMenu, playScenario)

#include "tst_frmMenu.moc"
