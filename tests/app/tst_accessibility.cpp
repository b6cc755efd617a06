// The console as assistive tools and keyboard users meet it: roles, names and
// level descriptions in the accessibility tree, and every command from the keys.

#include "console_rig.h"

using guitest::accessibleNode;
using guitest::spoken;

namespace {

const QString ErrorTitle = QStringLiteral("USB-IO取得エラー     PORTPROBE");

/// Makes @p window the active one, where the keys go.
bool activate(QWidget &window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

/// One key, where a user's key goes: the open menu, else the focused
/// control, else the active window itself.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::activePopupWidget();
    if (target == nullptr) {
        target = QApplication::focusWidget();
    }
    if (target == nullptr) {
        target = QApplication::activeWindow();
    }
    QVERIFY(target != nullptr);
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

/// Tabs forward until @p control has the focus; false if it is not in the order.
bool tabTo(QWidget *control)
{
    for (int i = 0; i < 16 && QApplication::focusWidget() != control; ++i) {
        press(Qt::Key_Tab);
    }
    return QApplication::focusWidget() == control;
}

QString description(frmMenu &window, const QString &objectName)
{
    QAccessibleInterface *node = accessibleNode(window, objectName);
    return node != nullptr ? node->text(QAccessible::Description) : QString();
}

} // namespace

class tst_accessibility : public QObject
{
    Q_OBJECT

private slots:
    void consoleTree_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("said");
        const auto row = [](const char *name, const char *said) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(said);
        };
        row("frmMenu", "Window | PORTPROBE      | ");
        row("cmdInputStart", "Button | 入力開始 | 入力の取得を開始します");
        row("txtInputInterval", "EditableText | mSecごとに入力値を取得 | ");
        row("lblInputData", "StaticText |  000/00 | ");
        row("lblPort0_7", "StaticText | P0_7 | P0_7: LOW");
        row("ProgressBar_Input",
            "ProgressBar |  Port0から入力  | 取得したデータの１０進値をバーで表します");
        row("cmdOutputStart", "Button | 出力開始 | 出力を開始します");
        row("lblOutput", "StaticText | 00/00 | Port1から入力");
        row("lblPort1_2", "Button | P1_2 | P1_2: LOW");
        row("txtVendorID", "EditableText | VendorID  ＆H | 半角16進数で入力してください");
        row("txtProductID", "EditableText | ProductID ＆H | 半角16進数で入力してください");
        row("lblPort_sample_4", "StaticText | HIGH | 赤色は 「HIGH」 レベルを意味します");
        row("lblPort_sample_5", "StaticText | LOW | 緑色は 「LOW」 レベルを意味します");
        row("mnuAbout", "MenuItem | このソフトについて(A) | ");
    }

    void consoleTree()
    {
        QFETCH(QString, objectName);
        QFETCH(QString, said);
        rig::Console console;
        frmMenu &window = console.load();
        QCOMPARE(spoken(accessibleNode(window, objectName)), said);
    }

    // Levels follow every colour change, from a click, the press action or a
    // reading; the drawing stays as it was.
    void levelsFollowTheColours()
    {
        rig::Console console;
        frmMenu &window = console.load();
        rig::clickLabel(window, 1);
        accessibleNode(window, QStringLiteral("lblPort1_2"))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(description(window, QStringLiteral("lblPort1_1")), QStringLiteral("P1_1: HIGH"));
        QCOMPARE(description(window, QStringLiteral("lblPort1_2")), QStringLiteral("P1_2: HIGH"));
        QCOMPARE(description(window, QStringLiteral("lblPort1_0")), QStringLiteral("P1_0: LOW"));
        QVERIFY(window.chkPort1[2]->isChecked());
        QCOMPARE(gGetBackColor(*window.lblPort1[2]), vbRed);
        QCOMPARE(window.lblPort1[2]->text(), QStringLiteral("P1_2"));
        rig::clickLabel(window, 1);
        QCOMPARE(description(window, QStringLiteral("lblPort1_1")), QStringLiteral("P1_1: LOW"));

        console.board.setPort0(5);
        window.cmdInputStart->click();
        for (int bit = 0; bit < 8; ++bit) {
            const QString name = QStringLiteral("P0_%1").arg(bit);
            QCOMPARE(description(window, QStringLiteral("lblPort0_%1").arg(bit)),
                name + (bit == 0 || bit == 2 ? QStringLiteral(": HIGH") : QStringLiteral(": LOW")));
        }
        QAccessibleInterface *bar = accessibleNode(window, QStringLiteral("ProgressBar_Input"));
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), 5);
        QCOMPARE(bar->valueInterface()->maximumValue().toInt(), 255);
        QCOMPARE(accessibleNode(window, QStringLiteral("lblInputData"))->text(QAccessible::Name),
            QStringLiteral("005/05"));
    }

    void errorWindowIsADialogUsedFromTheKeys()
    {
        rig::Console console;
        frmMenu &window = console.load();
        console.board.setPlugged(false);
        window.cmdOutputStart->click();
        QVERIFY(gfrmUsbIoErr);
        frmUsbIoErr &error = *gfrmUsbIoErr;

        QCOMPARE(spoken(accessibleNode(error, QStringLiteral("frmUsbIoErr"))),
            QStringLiteral("Dialog | ") + ErrorTitle + QStringLiteral(" | "));
        QCOMPARE(spoken(accessibleNode(error, QStringLiteral("lblMsg1"))),
            QStringLiteral("StaticText | USB-IOデバイスが取得できませんでした | "));
        QCOMPARE(spoken(accessibleNode(error, QStringLiteral("Label1"))),
            QStringLiteral("StaticText | 接続やＩＤを確認してください | "));
        QVERIFY(!error.isModal());

        QVERIFY(activate(error));
        press(Qt::Key_H, Qt::AltModifier);
        press(Qt::Key_D);
        QCOMPARE(console.stage.shell.applets, std::vector<std::string> { "sysdm.cpl" });
        QVERIFY(gfrmUsbIoErr && error.isVisible());
        QVERIFY(activate(error));
        press(Qt::Key_Escape);
        QVERIFY(!gfrmUsbIoErr);
        QCOMPARE(console.errorWindows(), 0);
    }

    // Set two bits, start, change a bit while running, stop: keys only.
    void outputEventFromTheKeysAlone()
    {
        rig::Console console;
        console.stage.shipManual();
        frmMenu &window = console.load();
        QVERIFY(activate(window));

        // The order the panels read in; hidden and locked controls are passed over.
        QVERIFY(tabTo(window.cmdInputStart));
        QList<QWidget *> order;
        for (int i = 0; i < 8; ++i) {
            press(Qt::Key_Tab);
            order << QApplication::focusWidget();
        }
        QCOMPARE(order,
            (QList<QWidget *> { window.txtInputInterval, window.cmdOutputStart, window.lblPort1[3],
                window.lblPort1[2], window.lblPort1[1], window.lblPort1[0], window.txtVendorID,
                window.txtProductID }));

        QVERIFY(tabTo(window.lblPort1[1]));
        press(Qt::Key_Space);
        QVERIFY(tabTo(window.lblPort1[3]));
        press(Qt::Key_Return);
        QCOMPARE(description(window, QStringLiteral("lblPort1_3")), QStringLiteral("P1_3: HIGH"));
        QCOMPARE(console.reports(), 0u);

        QVERIFY(tabTo(window.cmdOutputStart));
        press(Qt::Key_Space);
        QVERIFY(rig::outputRunning(window));
        QCOMPARE(console.board.port1(), 10);
        // The stop button takes the start button's place in the focus too.
        QCOMPARE(QApplication::focusWidget(), window.cmdOutputEnd);

        QVERIFY(tabTo(window.lblPort1[2]));
        press(Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(console.board.port1(), 14);
        QCOMPARE(window.lblOutput->text(), QStringLiteral("14/0E"));

        press(Qt::Key_Tab, Qt::ShiftModifier);
        press(Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), window.cmdOutputEnd);
        press(Qt::Key_Space);
        QVERIFY(!rig::outputRunning(window));
        QCOMPARE(console.board.port1(), 0);
        QCOMPARE(QApplication::focusWidget(), window.cmdOutputStart);

        // The help menu: Alt+H, then the item's letter.
        press(Qt::Key_H, Qt::AltModifier);
        press(Qt::Key_C);
        QCOMPARE(console.stage.shell.opened,
            (guitest::Opened {
                { console.stage.appPath(QStringLiteral("index.html")).toStdString(), 3 } }));
        QVERIFY(console.stage.recorder.boxes.empty());
        QVERIFY(console.stage.procedures().isEmpty());
    }

    // The focus ring is drawn inside the border; the colours and size stay.
    void focusRingLeavesColoursAndSize()
    {
        rig::Console console;
        frmMenu &window = console.load();
        rig::clickLabel(window, 0);
        ClickLabel &label = *window.lblPort1[0];
        const QRect place = label.geometry();
        QVERIFY(activate(window));
        const QImage before = label.grab().toImage();
        QVERIFY(tabTo(&label));
        const QImage after = label.grab().toImage();

        QCOMPARE(label.geometry(), place);
        QCOMPARE(gGetBackColor(label), vbRed);
        QCOMPARE(after.size(), before.size());
        int changed = 0;
        for (int y = 0; y < after.height(); ++y) {
            for (int x = 0; x < after.width(); ++x) {
                if (after.pixel(x, y) == before.pixel(x, y)) {
                    continue;
                }
                ++changed;
                const bool onRing =
                    x == 2 || y == 2 || x == after.width() - 3 || y == after.height() - 3;
                QVERIFY2(onRing, qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
                QCOMPARE(QColor(after.pixel(x, y)), QColor(Qt::black));
            }
        }
        QVERIFY(changed > 0);
    }
};

GUITEST_MAIN(tst_accessibility, guitest::noScenario)

#include "tst_accessibility.moc"
