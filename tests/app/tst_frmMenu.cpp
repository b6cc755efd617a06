// The main window: its controls as designed, its load and unload, the help menu.

#include "common/gui_test_support.h"

#include "app/frmMenu.h"
#include "forms/ClickLabel.h"
#include "forms/frmAbout_FreeWare.h"
#include "support/QuillFunc_INI.h"

namespace {

std::string iniValue(const QString &file, const char *key)
{
    return gGetIniString(file.toStdString(), "Setting", key, "<missing>");
}

// Child: the window closes while its settings file cannot be written.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
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
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        const auto row = [](const char *name, const char *parent, QRect place, const char *caption,
                             const char *toolTip = "") {
            QTest::newRow(name) << QString::fromUtf8(parent) << place << QString::fromUtf8(caption)
                                << QString::fromUtf8(toolTip);
        };
        const char *toInput = "Port1から入力";
        row("flmInput", "client", gTwipsRect(150, 30, 7545, 1545), " Port0から入力 ");
        row("cmdInputStart", "flmInput", gTwipsRect(270, 360, 1095, 975), "入力開始",
            "入力の取得を開始します");
        row("txtInputInterval", "flmInput", gTwipsRect(2160, 300, 765, 285), "1000");
        row("lblInputInterval", "flmInput", gTwipsRect(3000, 390, 2145, 255),
            "mSecごとに入力値を取得");
        row("Label4", "flmInput", gTwipsRect(5100, 390, 1485, 255), "入力値(10/16進)");
        row("lblInputData", "flmInput", gTwipsRect(6690, 390, 645, 255), " 000/00");
        row("lblPort0_7", "flmInput", gTwipsRect(1650, 990, 600, 315), "P0_7");
        row("lblPort0_0", "flmInput", gTwipsRect(6720, 990, 600, 315), "P0_0");
        row("ProgressBar_Input", "flmInput", gTwipsRect(1620, 660, 5685, 285), "",
            "取得したデータの１０進値をバーで表します");
        row("frmOutput", "client", gTwipsRect(150, 1740, 4815, 1545), " Port1へ出力 ");
        row("cmdOutputStart", "frmOutput", gTwipsRect(300, 390, 1095, 975), "出力開始",
            "出力を開始します");
        row("lblOutputMsg", "frmOutput", gTwipsRect(1620, 300, 3135, 255),
            "出力停止中は全てLOWレベルです", toInput);
        row("Label2", "frmOutput", gTwipsRect(2400, 660, 1485, 255), "出力値(10/16進)", toInput);
        row("lblOutput", "frmOutput", gTwipsRect(4020, 660, 555, 255), "00/00", toInput);
        row("lblPort1_3", "frmOutput", gTwipsRect(1680, 960, 600, 315), "P1_3");
        row("lblPort1_0", "frmOutput", gTwipsRect(3870, 960, 600, 315), "P1_0");
        row("frmTargetUsbIO", "client", gTwipsRect(5190, 1770, 2505, 1065), "対象USB-IOの指定");
        row("lblVendorID", "frmTargetUsbIO", gTwipsRect(30, 330, 1365, 255), "VendorID  ＆H",
            "VenderID");
        row("txtVendorID", "frmTargetUsbIO", gTwipsRect(1470, 270, 765, 285), "");
        row("Label1", "frmTargetUsbIO", gTwipsRect(120, 720, 1275, 255), "ProductID ＆H",
            "ProductID");
        row("txtProductID", "frmTargetUsbIO", gTwipsRect(1470, 660, 765, 285), "");
        row("lblPort_sample_4", "client", gTwipsRect(5700, 2940, 600, 315), "HIGH",
            "赤色は 「HIGH」 レベルを意味します");
        row("lblPort_sample_5", "client", gTwipsRect(6450, 2940, 600, 315), "LOW",
            "緑色は 「LOW」 レベルを意味します");
    }

    void controlsAsDesigned()
    {
        QFETCH(QString, parentName);
        QFETCH(QRect, place);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        frmMenu window;
        auto *control = window.findChild<QWidget *>(QString::fromUtf8(QTest::currentDataTag()));
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

    void statesAndMenuAtDesign()
    {
        frmMenu window;
        QCOMPARE(window.centralWidget()->size(), QSize(522, 230));
        QCOMPARE(window.Help->title(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(window.Help->actions(), QList<QAction *>({ window.mnuContents, window.mnuAbout }));
        QCOMPARE(window.mnuContents->text(), QStringLiteral("説明書(&C)"));
        QCOMPARE(window.mnuAbout->text(), QStringLiteral("このソフトについて(&A)"));
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
        QCOMPARE(window.chkPort1[0]->geometry(), gTwipsRect(4050, 1290, 255, 255));
        QCOMPARE(window.chkPort1[3]->geometry(), gTwipsRect(1860, 1290, 255, 255));
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
#ifdef Q_OS_WIN
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            QSKIP("Qt's offscreen platform on Windows reads fonts only from Qt's own folder");
        }
#endif
        frmMenu window;
        const QString texts =
            window.lblOutputMsg->text() + window.flmInput->title() + window.lblVendorID->text();
        for (QWidget *widget : std::initializer_list<QWidget *> {
                 window.lblOutputMsg, window.flmInput, window.lblVendorID }) {
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
        QTest::newRow("hexadecimal IDs") << QStringLiteral("ABCD") << QStringLiteral("0100");
        QTest::newRow("text that is no number") << QStringLiteral("zz !") << QString();
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

    void manualFromTheMenu_data()
    {
        QTest::addColumn<bool>("shipped");
        QTest::newRow("opens") << true;
        QTest::newRow("missing: only logged") << false;
    }

    void manualFromTheMenu()
    {
        QFETCH(bool, shipped);
        guitest::Stage stage;
        if (shipped) {
            stage.shipManual();
        }
        frmMenu window;
        window.show();
        window.mnuContents->trigger();
        QCOMPARE(stage.shell.opened,
            (guitest::Opened { { stage.appPath(QStringLiteral("index.html")).toStdString(), 3 } }));
        QCOMPARE(stage.procedures(), shipped ? QStringList() : QStringList({ "gDspHelp" }));
        QVERIFY(stage.recorder.events.empty());
        QVERIFY(window.isVisible());
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
        guitest::verifyFatalScenario(
            QStringLiteral("unload-write-fails"), stage, { QStringLiteral("gSetSettingData") });
        // No error was pending: the report gives the cause the platform knew
        // (Windows opens a folder for writing as access denied, Linux says EISDIR).
        const QString log = guitest::readErrorLog(stage.tempFolder);
#ifdef Q_OS_WIN
        const QString number = QStringLiteral("70"), text = QStringLiteral("書き込みできません。");
#else
        const QString number = QStringLiteral("75"), text = QStringLiteral("パス名が無効です。");
#endif
        QVERIFY(log.contains(QStringLiteral("\r\nエラー番号：") + number + QStringLiteral("\r\n")));
        QVERIFY(log.contains(QStringLiteral("\r\nエラー内容：") + text + QLatin1Char(' ')
            + stage.appPath(QStringLiteral("setting.ini")) + QStringLiteral("\r\n")));
    }
};

GUITEST_MAIN(tst_frmMenu, playScenario)

#include "tst_frmMenu.moc"
