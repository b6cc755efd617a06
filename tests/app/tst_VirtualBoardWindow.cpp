// The demo's board window against the console: switches feed what the console
// reads, LEDs follow what it writes, and the cable makes it fail.

#include "console_rig.h"

#include "app/demo/VirtualBoardWindow.h"

class tst_VirtualBoardWindow : public QObject
{
    Q_OBJECT

private slots:
    // The board window's frame never covers the console's while the screen has room beside it:
    // the console's width and frames as under Wine, on screens of several sizes.
    void placedBesideTheConsole_data()
    {
        QTest::addColumn<QRect>("console");
        QTest::addColumn<QRect>("room");
        QTest::addColumn<QPoint>("place");
        const QRect wide(0, 0, 1920, 1080);
        QTest::newRow("right") << QRect(640, 300, 530, 280) << wide << QPoint(1182, 300);
        QTest::newRow("left") << QRect(1300, 300, 530, 280) << wide << QPoint(772, 300);
        // 1024 by 768: neither right nor left, below.
        QTest::newRow("below") << QRect(192, 144, 530, 280) << QRect(0, 0, 1024, 768)
                               << QPoint(192, 436);
        QTest::newRow("above") << QRect(192, 480, 530, 280) << QRect(0, 0, 1024, 768)
                               << QPoint(192, 257);
        QTest::newRow("no room: pressed onto the screen")
            << QRect(0, 0, 800, 500) << QRect(0, 0, 800, 600) << QPoint(284, 0);
    }

    void placedBesideTheConsole()
    {
        QFETCH(QRect, console);
        QFETCH(QRect, room);
        QFETCH(QPoint, place);
        const QMargins frame(4, 23, 4, 4);
        const QSize size(508, 184);
        const QPoint at = VirtualBoardWindow::placeBeside(console, frame, size, room);
        QCOMPARE(at, place);
        const QRect board(at, size.grownBy(frame));
        QVERIFY(room.contains(board));
        if (QByteArray(QTest::currentDataTag()).startsWith("no room")) {
            return;
        }
        QVERIFY(!board.intersects(console));
    }

    void switchesFeedTheConsole()
    {
        rig::Console console;
        VirtualBoardWindow board(console.board);
        board.show();
        frmMenu &window = console.load();

        QTest::mouseClick(board.swPort0[2], Qt::LeftButton);
        QTest::mouseClick(board.swPort0[7], Qt::LeftButton);
        QCOMPARE(console.board.port0(), 0x84);
        QVERIFY(board.swPort0[2]->isChecked());
        QCOMPARE(board.swPort0[2]->accessibleDescription(), QStringLiteral("P0_2: HIGH"));
        QCOMPARE(board.swPort0[3]->accessibleDescription(), QStringLiteral("P0_3: LOW"));

        window.cmdInputStart->click();
        QCOMPARE(window.lblInputData->text(), QStringLiteral("132/84"));

        QTest::mouseClick(board.swPort0[7], Qt::LeftButton);
        window.TimerInput_Timer();
        QCOMPARE(window.lblInputData->text(), QStringLiteral("004/04"));
        QVERIFY(!board.swPort0[7]->isChecked());
    }

    void switchesAndIdsFollowTheBoard()
    {
        rig::Console console(platform::sim::SimBoardConfig { 0xBEEF, 0x0001 });
        VirtualBoardWindow board(console.board);
        QCOMPARE(board.lblIds->text(), QStringLiteral("VendorID ＆HBEEF   ProductID ＆H0001"));
        console.board.setPort0(0x0F);
        for (int bit = 0; bit < 8; ++bit) {
            QCOMPARE(board.swPort0[bit]->isChecked(), bit < 4);
        }
        // Setting it back from the board does not write the board again.
        console.board.setPort0(0);
        QCOMPARE(console.board.port0(), 0);
    }

    void ledsFollowWrites()
    {
        rig::Console console;
        VirtualBoardWindow board(console.board);
        frmMenu &window = console.load();
        for (QLabel *led : board.ledPort1) {
            QCOMPARE(gGetBackColor(*led), vbGreen);
        }
        rig::clickLabel(window, 0);
        rig::clickLabel(window, 3);
        window.cmdOutputStart->click();
        for (int bit = 0; bit < 4; ++bit) {
            const bool high = bit == 0 || bit == 3;
            QCOMPARE(gGetBackColor(*board.ledPort1[bit]), high ? vbRed : vbGreen);
            // The level is read out too, not only shown in colour.
            QCOMPARE(board.ledPort1[bit]->accessibleDescription(),
                QStringLiteral("P1_%1: %2").arg(bit).arg(high ? "HIGH" : "LOW"));
        }
        QCOMPARE(guitest::spoken(guitest::accessibleNode(board, board.objectName())),
            QStringLiteral("Window | 仮想USB-IOボード | "));
        window.cmdOutputEnd->click();
        for (QLabel *led : board.ledPort1) {
            QCOMPARE(gGetBackColor(*led), vbGreen);
        }
    }

    void cableMakesTheNextOperationFail()
    {
        rig::Console console;
        VirtualBoardWindow board(console.board);
        frmMenu &window = console.load();
        QVERIFY(board.chkConnected->isChecked());
        window.cmdInputStart->click();

        board.chkConnected->click();
        QVERIFY(!console.board.plugged());
        window.TimerInput_Timer();
        QCOMPARE(console.errorWindows(), 1);

        board.chkConnected->click();
        QVERIFY(console.board.plugged());
        window.cmdInputStart->click();
        QVERIFY(rig::inputRunning(window));
    }
};

GUITEST_MAIN(tst_VirtualBoardWindow, guitest::noScenario)

#include "tst_VirtualBoardWindow.moc"
