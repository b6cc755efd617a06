// The console's three panels on a virtual board: target IDs and their lock,
// Port1 output, Port0 polling, and the device error window they show.

#include "console_rig.h"

using platform::sim::SimBoardConfig;
using platform::sim::SimCall;
using platform::sim::SimFault;
using rig::clickLabel;
using rig::inputRunning;
using rig::outputRunning;
using Reports = std::vector<std::vector<std::uint8_t>>;

namespace {

const QString BadId = QStringLiteral("IDが数値として正しくありません");
const QString OutputIdle = QStringLiteral("出力停止中は全てLOWレベルです");
const QString ErrorTitle = QStringLiteral("USB-IO取得エラー     PORTPROBE");

std::vector<std::uint8_t> outputReport(std::uint8_t command, std::uint8_t value)
{
    std::vector<std::uint8_t> report(9, 0);
    report[1] = command;
    report[2] = value;
    return report;
}

bool idsLocked(const frmMenu &window, bool locked)
{
    const QString tip = locked ? QStringLiteral("USB-IO使用中は変更できません")
                               : QStringLiteral("半角16進数で入力してください");
    return window.txtVendorID->isEnabled() == !locked && window.txtProductID->isEnabled() == !locked
        && window.txtVendorID->toolTip() == tip && window.txtProductID->toolTip() == tip;
}

} // namespace

class tst_panels : public QObject
{
    Q_OBJECT

private slots:
    void startWritesThePatternShown_data()
    {
        QTest::addColumn<QList<int>>("bits");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("P1_1 and P1_3") << QList<int> { 1, 3 } << 10 << "10/0A";
        QTest::newRow("all four") << QList<int> { 0, 1, 2, 3 } << 15 << "15/0F";
        QTest::newRow("none") << QList<int> {} << 0 << "00/00";
        QTest::newRow("P1_0") << QList<int> { 0 } << 1 << "01/01";
    }

    void startWritesThePatternShown()
    {
        QFETCH(QList<int>, bits);
        QFETCH(int, value);
        QFETCH(QString, text);
        rig::Console console;
        frmMenu &window = console.load();
        for (int bit : bits) {
            clickLabel(window, bit);
        }
        // While stopped a click only changes the pattern.
        QCOMPARE(console.reports(), 0u);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("00/00"));

        window.cmdOutputStart->click();

        QCOMPARE(console.board.receivedReports(), Reports({ outputReport(2, value) }));
        QCOMPARE(window.lblOutput->text(), text);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(gGetBackColor(*window.lblPort1[i]), bits.contains(i) ? vbRed : vbGreen);
            QCOMPARE(window.chkPort1[i]->isChecked(), bits.contains(i));
        }
        QVERIFY(outputRunning(window));
        QCOMPARE(window.lblOutputMsg->text(), QStringLiteral("出力中でも値の変更が可能です"));
        QVERIFY(idsLocked(window, true));
        QVERIFY(console.linkClosed());
    }

    void runningClickStopAndStoppedClicks()
    {
        rig::Console console;
        frmMenu &window = console.load();
        clickLabel(window, 1);
        clickLabel(window, 3);
        window.cmdOutputStart->click();

        // While output runs a click writes at once, and the link is closed again.
        clickLabel(window, 2);
        QCOMPARE(gGetBackColor(*window.lblPort1[2]), vbRed);
        QVERIFY(window.chkPort1[2]->isChecked());
        QCOMPARE(console.board.receivedReports().back(), outputReport(2, 14));
        QCOMPARE(console.board.port1(), 14);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("14/0E"));
        QVERIFY(console.linkClosed());
        QVERIFY(console.stage.recorder.events.empty());

        // Stopping writes zero and keeps the pattern; the link stays open.
        window.cmdOutputEnd->click();
        QCOMPARE(console.board.receivedReports().back(), outputReport(2, 0));
        QCOMPARE(window.lblOutput->text(), QStringLiteral("00/00"));
        QCOMPARE(gGetBackColor(*window.lblPort1[1]), vbRed);
        QCOMPARE(gGetBackColor(*window.lblPort1[3]), vbRed);
        QVERIFY(window.chkPort1[3]->isChecked());
        QVERIFY(!outputRunning(window));
        QCOMPARE(window.lblOutputMsg->text(), OutputIdle);
        QVERIFY(idsLocked(window, false));
        QVERIFY(!console.linkClosed());

        // Clicking twice while stopped restores the colour and writes nothing.
        const std::size_t before = console.reports();
        clickLabel(window, 0);
        QCOMPARE(gGetBackColor(*window.lblPort1[0]), vbRed);
        clickLabel(window, 0);
        QCOMPARE(gGetBackColor(*window.lblPort1[0]), vbGreen);
        QVERIFY(!window.chkPort1[0]->isChecked());
        QCOMPARE(console.reports(), before);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("00/00"));

        window.cmdOutputStart->click();
        QCOMPARE(console.board.port1(), 14);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("14/0E"));
    }

    // The write fails while both panels run: both show stopped, but the
    // polling timer goes on ticking and its ticks still read.
    void failedWriteStopsBothDisplaysOnly()
    {
        rig::Console console;
        frmMenu &window = console.load();
        window.cmdInputStart->click();
        window.cmdOutputStart->click();
        QVERIFY(inputRunning(window) && outputRunning(window));
        console.board.setPlugged(false);

        clickLabel(window, 0);

        QCOMPARE(console.errorWindows(), 1);
        QVERIFY(gfrmUsbIoErr && gfrmUsbIoErr->isVisible());
        QVERIFY(!inputRunning(window));
        QVERIFY(!outputRunning(window));
        QCOMPARE(window.focusWidget(), window.cmdOutputStart);
        QVERIFY(window.txtInputInterval->isEnabled());
        QVERIFY(idsLocked(window, false));
        QCOMPARE(gGetBackColor(*window.lblPort1[0]), vbRed);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("00/00"));
        QVERIFY(console.stage.recorder.boxes.empty());
        QVERIFY(window.TimerInput->isActive());
        QCOMPARE(window.TimerInput->interval(), 1000);

        console.board.setPlugged(true);
        console.board.setPort0(5);
        window.TimerInput_Timer();
        QCOMPARE(window.lblInputData->text(), QStringLiteral("005/05"));
        QCOMPARE(console.errorWindows(), 1);
    }

    // The error window cannot be placed (the screen's size overflows twips):
    // gDspForm's own reports are all, and the console goes on.
    void unplaceableErrorWindowIsLoggedNotFatal_data()
    {
        QTest::addColumn<bool>("input");
        QTest::newRow("output") << false;
        QTest::newRow("input") << true;
    }

    void unplaceableErrorWindowIsLoggedNotFatal()
    {
        QFETCH(bool, input);
        rig::Console console;
        frmMenu &window = console.load();
        console.board.setPlugged(false);
        console.stage.screen.width = 200000000;

        (input ? window.cmdInputStart : window.cmdOutputStart)->click();

        QCOMPARE(console.stage.procedures(),
            QStringList({ QStringLiteral("gGetScreenSize"), QStringLiteral("gDspWindowPosition"),
                QStringLiteral("gDspForm") }));
        QVERIFY(console.stage.recorder.boxes.empty());
        QCOMPARE(console.stage.recorder.events, std::vector<std::string> {});
        QVERIFY(!inputRunning(window) && !outputRunning(window));
        QVERIFY(window.isVisible());
    }

    void readingsAsBitsBarAndText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "000/00";
        QTest::newRow("5") << 5 << "005/05";
        QTest::newRow("128") << 128 << "128/80";
        QTest::newRow("255") << 255 << "255/FF";
    }

    void readingsAsBitsBarAndText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        rig::Console console;
        frmMenu &window = console.load();
        console.board.setPort0(static_cast<std::uint8_t>(value));

        window.cmdInputStart->click();

        // Read at once, before any tick.
        QCOMPARE(console.board.receivedReports(), Reports({ outputReport(3, 0) }));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(gGetBackColor(*window.lblPort0[i]), (value >> i) & 1 ? vbRed : vbGreen);
        }
        QCOMPARE(window.ProgressBar_Input->value(), value);
        QCOMPARE(window.lblInputData->text(), text);
        QVERIFY(inputRunning(window));
        QVERIFY(!window.txtInputInterval->isEnabled());
        QVERIFY(idsLocked(window, true));
        QCOMPARE(window.focusWidget(), window.cmdInputEnd);

        // Each tick reads again.
        console.board.setPort0(static_cast<std::uint8_t>(255 - value));
        window.TimerInput_Timer();
        QCOMPARE(window.ProgressBar_Input->value(), 255 - value);
        QCOMPARE(gGetBackColor(*window.lblPort0[0]), value & 1 ? vbGreen : vbRed);
    }

    void intervalTexts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const QString accepted;
        const QString notNumber = QStringLiteral("取得間隔は数値を入力してください。");
        const QString fraction = QStringLiteral("取得間隔に小数は入力しないでください。");
        const QString tooShort = QStringLiteral("取得間隔は 1000mSec 以上を指定してください");
        const QString tooLong = QStringLiteral("取得間隔は 2147483647mSec 以下を指定してください");
        QTest::newRow("abc") << "abc" << notNumber << "abc";
        QTest::newRow("empty") << "" << notNumber << "";
        QTest::newRow("two points") << "1.0.0" << notNumber << "1.0.0";
        QTest::newRow("1000.5") << "1000.5" << fraction << "1000.5";
        QTest::newRow("999") << "999" << tooShort << "999";
        QTest::newRow("-5") << "-5" << tooShort << "-5";
        QTest::newRow("-1e300") << "-1e300" << tooShort << "-1e300";
        QTest::newRow("1000") << "1000" << accepted << "1000";
        QTest::newRow("1500.0") << "1500.0" << accepted << "1500";
        QTest::newRow("1e3") << "1e3" << accepted << "1000";
        QTest::newRow("blanks and sign") << " +2000 " << accepted << "2000";
        QTest::newRow("largest") << "2147483647" << accepted << "2147483647";
        QTest::newRow("beyond 32 bits") << "2147483648" << tooLong << "2147483648";
        QTest::newRow("1e300") << "1e300" << tooLong << "1e300";
        QTest::newRow("beyond double") << "1e999" << notNumber << "1e999";
    }

    void intervalTexts()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        rig::Console console;
        frmMenu &window = console.load();
        window.txtInputInterval->setText(typed);

        window.cmdInputStart->click();

        QCOMPARE(window.txtInputInterval->text(), shown);
        if (message.isEmpty()) {
            QVERIFY(console.stage.recorder.boxes.empty());
            QVERIFY(inputRunning(window));
            QCOMPARE(window.TimerInput->interval(), shown.toInt());
            QVERIFY(window.TimerInput->isActive());
            // Stopping ends the ticks; a restart polls at the new interval.
            window.cmdInputEnd->click();
            QVERIFY(!window.TimerInput->isActive());
            QCOMPARE(window.TimerInput->interval(), 0);
            QVERIFY(console.linkClosed());
            QCOMPARE(window.focusWidget(), window.cmdInputStart);
            window.txtInputInterval->setText(QStringLiteral("2500"));
            window.cmdInputStart->click();
            QCOMPARE(window.TimerInput->interval(), 2500);
            QVERIFY(window.TimerInput->isActive());
            return;
        }
        QCOMPARE(console.boxTexts(), QStringList { message });
        const auto &box = console.stage.recorder.boxes.front();
        QCOMPARE(box.caption, std::string("PORTPROBE"));
        QCOMPARE(box.icon, platform::MbIconCritical);
        QCOMPARE(box.buttons, platform::MbOkOnly);
        QVERIFY(!inputRunning(window));
        QVERIFY(!window.TimerInput->isActive());
        QCOMPARE(console.reports(), 0u);
        QVERIFY(console.stage.procedures().isEmpty());
    }

    void failedPollHaltsWithOneWindow_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::newRow("board unplugged") << true;
        QTest::newRow("board never answers") << false;
    }

    void failedPollHaltsWithOneWindow()
    {
        QFETCH(bool, unplug);
        rig::Console console;
        frmMenu &window = console.load();
        window.cmdOutputStart->click();
        window.cmdInputStart->click();
        if (unplug) {
            console.board.setPlugged(false);
        } else {
            console.board.setFault(SimFault::NeverAnswers);
        }

        window.TimerInput_Timer();

        QCOMPARE(console.errorWindows(), 1);
        QVERIFY(!inputRunning(window));
        QVERIFY(!outputRunning(window));
        QVERIFY(idsLocked(window, false));
        QCOMPARE(window.focusWidget(), window.cmdInputStart);
        QVERIFY(window.TimerInput->isActive());
        if (!unplug) {
            QCOMPARE(console.hid.lastWaitMilliseconds(), 6000u);
        }
        // Later ticks do nothing: no polls, no windows, even once it is closed.
        const std::size_t writes = console.hid.calls(SimCall::WriteFile);
        window.TimerInput_Timer();
        gfrmUsbIoErr->close();
        window.TimerInput_Timer();
        QCOMPARE(console.errorWindows(), 0);
        QCOMPARE(console.hid.calls(SimCall::WriteFile), writes);

        console.board.setPlugged(true);
        console.board.setFault(SimFault::None);
        console.board.setPort0(0x81);
        window.cmdInputStart->click();
        QVERIFY(inputRunning(window));
        QCOMPARE(window.lblInputData->text(), QStringLiteral("129/81"));
        window.TimerInput_Timer();
        QCOMPARE(console.board.receivedReports().back(), outputReport(3, 0));
        QVERIFY(console.stage.recorder.boxes.empty());
    }

    void idTexts_data()
    {
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("vendorId");
        QTest::addColumn<int>("productId");
        const auto row = [](const char *name, const char *vendor, const char *product,
                             bool valid = false, int vendorId = 0, int productId = 0) {
            QTest::newRow(name) << QString::fromUtf8(vendor) << QString::fromUtf8(product) << valid
                                << vendorId << productId;
        };
        row("lower case", "abcd", "ff", true, 0xABCD, 0xFF);
        row("FFFF stays positive", "FFFF", "8000", true, 0xFFFF, 0x8000);
        row("leading zeros", "00001352", "0100", true, 0x1352, 0x100);
        row("32 bits", "FFFFFFFF", "7FFFFFFF", true, -1, 0x7FFFFFFF);
        row("beyond 32 bits", "100000000", "1");
        row("letter beyond F", "12G4", "1");
        row("sign", "-1", "1");
        row("space between digits", "13 52", "1");
        row("prefix typed", "&H1352", "1");
        row("full-width digits", "１３５２", "1");
        row("product empty", "1352", "");
        row("both bad: one box only", "xyz", "also bad");
    }

    void idTexts()
    {
        QFETCH(QString, vendor);
        QFETCH(QString, product);
        QFETCH(bool, valid);
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        rig::Console console;
        frmMenu &window = console.load();
        window.txtVendorID->setText(vendor);
        window.txtProductID->setText(product);

        window.cmdOutputStart->click();

        if (valid) {
            QCOMPARE(TargetVendorID, vendorId);
            QCOMPARE(TargetProductID, productId);
            QVERIFY(console.stage.recorder.boxes.empty());
            return;
        }
        QCOMPARE(console.boxTexts(), QStringList { BadId });
        const auto &box = console.stage.recorder.boxes.front();
        QCOMPARE(box.caption, std::string("PORTPROBE"));
        QCOMPARE(box.icon, platform::MbIconNone);
        // Neither activity starts, and the IDs of the load stay in force.
        window.cmdInputStart->click();
        QCOMPARE(console.boxTexts(), QStringList({ BadId, BadId }));
        QVERIFY(!outputRunning(window));
        QVERIFY(!inputRunning(window));
        QVERIFY(!window.TimerInput->isActive());
        QCOMPARE(console.reports(), 0u);
        QCOMPARE(TargetVendorID, 4946);
        QCOMPARE(TargetProductID, 256);
        QVERIFY(console.stage.procedures().isEmpty());
    }

    void boardWithIdFFFFIsFound()
    {
        rig::Console console(SimBoardConfig { 0xFFFF, 0xFFFF });
        frmMenu &window = console.load();
        window.txtVendorID->setText(QStringLiteral("FFFF"));
        window.txtProductID->setText(QStringLiteral("ffff"));
        window.cmdOutputStart->click();
        QVERIFY(outputRunning(window));
        QCOMPARE(console.reports(), 1u);
        QCOMPARE(console.errorWindows(), 0);
    }

    // A typo beyond 16 bits reaches no other board: the error window shows.
    void idBeyond16BitsFindsNoBoard()
    {
        rig::Console console;
        frmMenu &window = console.load();
        window.txtVendorID->setText(QStringLiteral("11352"));
        window.cmdOutputStart->click();
        QVERIFY(!outputRunning(window));
        QCOMPARE(console.reports(), 0u);
        QCOMPARE(console.errorWindows(), 1);
    }

    void badStoredIdsAtLoadAreKeptForCorrection()
    {
        rig::Console console;
        console.storeIds(QStringLiteral("13G2"), QStringLiteral("100"));
        frmMenu &window = console.load();

        QCOMPARE(console.boxTexts(), QStringList { BadId });
        QCOMPARE(window.txtVendorID->text(), QStringLiteral("13G2"));
        QVERIFY(idsLocked(window, false));
        QCOMPARE(window.lblOutputMsg->text(), OutputIdle);

        // Neither activity starts until the text is corrected.
        window.cmdOutputStart->click();
        window.cmdInputStart->click();
        QCOMPARE(console.boxTexts(), QStringList({ BadId, BadId, BadId }));
        QCOMPARE(console.reports(), 0u);

        window.txtVendorID->setText(QStringLiteral("1352"));
        window.cmdOutputStart->click();
        QVERIFY(outputRunning(window));
        QCOMPARE(TargetVendorID, 4946);
        QCOMPARE(console.boxTexts().size(), 3);
        QVERIFY(console.stage.procedures().isEmpty());
    }

    void lockFollowsBothActivities()
    {
        rig::Console console;
        frmMenu &window = console.load();
        window.cmdOutputStart->click();
        QVERIFY(idsLocked(window, true));
        window.cmdInputStart->click();
        QVERIFY(idsLocked(window, true));
        window.cmdOutputEnd->click();
        QVERIFY(idsLocked(window, true));
        window.cmdInputEnd->click();
        QVERIFY(idsLocked(window, false));

        window.cmdInputStart->click();
        window.cmdOutputStart->click();
        window.cmdInputEnd->click();
        QVERIFY(idsLocked(window, true));
        window.cmdOutputEnd->click();
        QVERIFY(idsLocked(window, false));
    }

    void changedIdIsUsedAtTheNextStart()
    {
        rig::Console console;
        platform::sim::SimBoard &other = console.hid.addBoard(SimBoardConfig { 0xBEEF, 0x0001 });
        frmMenu &window = console.load();
        window.txtVendorID->setText(QStringLiteral("beef"));
        window.txtProductID->setText(QStringLiteral("1"));
        // Nothing changes before a start.
        QCOMPARE(TargetVendorID, 0x1352);

        window.cmdOutputStart->click();

        QCOMPARE(other.receivedReports().size(), 1u);
        QCOMPARE(console.reports(), 0u);
        // Locked IDs stay in force for a second activity.
        window.cmdInputStart->click();
        QCOMPARE(other.receivedReports().size(), 2u);
        QCOMPARE(console.reports(), 0u);
    }

    void oneErrorWindowAsDesignedForTwoFailures()
    {
        rig::Console console;
        frmMenu &window = console.load();
        console.board.setPlugged(false);

        window.cmdOutputStart->click();
        QPointer<frmUsbIoErr> first = gfrmUsbIoErr;
        window.cmdInputStart->click();

        QCOMPARE(console.errorWindows(), 1);
        QCOMPARE(gfrmUsbIoErr, first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), ErrorTitle);
        QCOMPARE(first->findChild<QWidget *>(QStringLiteral("client"))->size(), QSize(376, 65));
        QCOMPARE(first->Image1->geometry(), gTwipsRect(300, 150, 750, 690));
        QCOMPARE(first->Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(first->lblMsg1->text(), QStringLiteral("USB-IOデバイスが取得できませんでした"));
        QCOMPARE(first->lblMsg1->geometry(), gTwipsRect(1200, 120, 4365, 315));
        QCOMPARE(gVbColorValue(first->lblMsg1->palette().color(QPalette::WindowText)), vbRed);
        QCOMPARE(first->lblMsg1->font().pointSizeF(), 11.25);
        QCOMPARE(first->Label1->text(), QStringLiteral("接続やＩＤを確認してください"));
        QCOMPARE(first->Label1->geometry(), gTwipsRect(1230, 480, 4305, 255));
        QCOMPARE(first->Label1->font().pointSizeF(), 9.0);
        QCOMPARE(first->mnuHelp->title(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(first->mnuDeviceManeger->text(), QStringLiteral("コントロールパネル を開く(&D)"));
        // Modeless: the console goes on.
        QVERIFY(!first->isModal());
        QVERIFY(window.isEnabled());

        first->close();
        QVERIFY(!gfrmUsbIoErr);
        QCOMPARE(console.errorWindows(), 0);
        QVERIFY(!first);

        window.cmdOutputStart->click();
        QCOMPARE(console.errorWindows(), 1);
        QVERIFY(gfrmUsbIoErr);
        QCOMPARE(gfrmUsbIoErr->windowTitle(), ErrorTitle);
        QVERIFY(console.stage.procedures().isEmpty());
    }

    void menuStartsSystemSettingsAndStays_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("logged");
        QTest::newRow("started") << "" << QStringList {};
        QTest::newRow("cannot start")
            << "no settings program" << QStringList { QStringLiteral("gDspControlPanel") };
    }

    void menuStartsSystemSettingsAndStays()
    {
        QFETCH(QString, failure);
        QFETCH(QStringList, logged);
        rig::Console console;
        console.stage.shell.controlPanelFailure = failure.toStdString();
        frmMenu &window = console.load();
        console.board.setPlugged(false);
        window.cmdOutputStart->click();

        gfrmUsbIoErr->mnuDeviceManeger->trigger();

        QCOMPARE(console.stage.shell.applets, std::vector<std::string> { "sysdm.cpl" });
        QVERIFY(gfrmUsbIoErr && gfrmUsbIoErr->isVisible());
        QCOMPARE(console.stage.procedures(), logged);
        QVERIFY(console.stage.recorder.events.empty());
    }
};

GUITEST_MAIN(tst_panels, guitest::noScenario)

#include "tst_panels.moc"
