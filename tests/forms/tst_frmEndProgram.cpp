// The end window and the end sequence around it.

#include "common/gui_test_support.h"

#include "forms/frmEndProgram.h"

class tst_frmEndProgram : public QObject
{
    Q_OBJECT

private slots:
    void init() { gSetEndProgramExitCode(0); }

    void showsForTwoSecondsThenEnds_data()
    {
        QTest::addColumn<bool>("iconShipped");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("icon file shipped") << true << 0;
        QTest::newRow("icon file missing") << false << 0;
        QTest::newRow("fatal end carries failure status") << true << 1;
    }

    // What the window shows is checked while the thread sleeps in it.
    void showsForTwoSecondsThenEnds()
    {
        QFETCH(bool, iconShipped);
        QFETCH(int, exitCode);
        guitest::Stage stage;
        if (iconShipped) {
            stage.shipIcon();
        }
        gSetEndProgramExitCode(exitCode);
        bool seen = false;
        stage.recorder.onSleep = [&](std::int32_t) {
            QVERIFY(gfrmEndProgram && gfrmEndProgram->isVisible());
            QCOMPARE(gfrmEndProgram->windowTitle(), QStringLiteral("終了処理     PORTPROBE"));
            QCOMPARE(gfrmEndProgram->Label1->text(), QStringLiteral("終了処理をしています。"));
            QCOMPARE(gfrmEndProgram->Label2->text(), QStringLiteral("しばらくお待ちください。"));
            QCOMPARE(!gfrmEndProgram->imgIcon->pixmap().isNull(), iconShipped);
            QCOMPARE(!gfrmEndProgram->windowIcon().isNull(), iconShipped);
            QCOMPARE(gfrmEndProgram->Image2->pixmap().size(), QSize(32, 32));
            QCOMPARE(guitest::spoken(
                         guitest::accessibleNode(*gfrmEndProgram, QStringLiteral("frmEndProgram"))),
                QStringLiteral("Dialog | 終了処理     PORTPROBE | "));
            QCOMPARE(
                guitest::spoken(guitest::accessibleNode(*gfrmEndProgram, QStringLiteral("Label2"))),
                QStringLiteral("StaticText | しばらくお待ちください。 | "));
            seen = true;
        };

        QVERIFY(gProcEndProgram());

        QVERIFY(seen);
        QCOMPARE(stage.recorder.events,
            (std::vector<std::string> { "sleep 2000", "terminate " + std::to_string(exitCode) }));
        // Unloading dropped the window; nothing was reported either way.
        QVERIFY(gfrmEndProgram == nullptr);
        QVERIFY(stage.recorder.boxes.empty());
        QVERIFY(stage.procedures().isEmpty());
    }

    void escapeDoesNotCloseTheWindow()
    {
        guitest::Stage stage;
        int escapes = 0;
        stage.recorder.onSleep = [&](std::int32_t) {
            QVERIFY(gfrmEndProgram);
            gfrmEndProgram->reject();
            gfrmEndProgram->close();
            escapes += gfrmEndProgram && gfrmEndProgram->isVisible() ? 1 : 0;
        };
        QVERIFY(gProcEndProgram());
        QCOMPARE(escapes, 1);
        QCOMPARE(stage.recorder.events, (std::vector<std::string> { "sleep 2000", "terminate 0" }));
    }

    void sleepArguments_data()
    {
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<bool>("result");
        QTest::newRow("negative refused at once") << -1 << false;
        QTest::newRow("zero") << 0 << true;
        QTest::newRow("end window's wait") << 2000 << true;
    }

    void sleepArguments()
    {
        QFETCH(int, milliseconds);
        QFETCH(bool, result);
        guitest::Stage stage;
        QCOMPARE(gProcSleep(milliseconds), result);
        std::vector<std::string> expected;
        if (result) {
            expected.push_back("sleep " + std::to_string(milliseconds));
        }
        QCOMPARE(stage.recorder.events, expected);
    }
};

GUITEST_MAIN(tst_frmEndProgram, guitest::noScenario)

#include "tst_frmEndProgram.moc"
