// The end window and the end sequence around it.

#include "forms/gui_test_support.h"

#include "forms/frmEndProgram.h"
#include "support/QuillFunc_CommonWindow.h"

#include <QLabel>
#include <QtTest>

namespace {

// What the end window showed while the thread slept in it.
struct Sighting
{
    bool visible = false;
    QString caption;
    QString label1;
    QString label2;
    bool icon = false;
    QSize watch;
    bool windowIcon = false;
};

Sighting sight()
{
    Sighting seen;
    if (!gfrmEndProgram) {
        return seen;
    }
    seen.visible = gfrmEndProgram->isVisible();
    seen.caption = gfrmEndProgram->windowTitle();
    seen.label1 = gfrmEndProgram->Label1->text();
    seen.label2 = gfrmEndProgram->Label2->text();
    seen.icon = !gfrmEndProgram->imgIcon->pixmap().isNull();
    seen.watch = gfrmEndProgram->Image2->pixmap().size();
    seen.windowIcon = !gfrmEndProgram->windowIcon().isNull();
    return seen;
}

void playScenario(const QString &) { }

} // namespace

class tst_frmEndProgram : public QObject
{
    Q_OBJECT

private slots:
    void init() { setEndProgramExitCode(0); }

    void showsForTwoSecondsThenEnds_data()
    {
        QTest::addColumn<bool>("iconShipped");
        QTest::newRow("icon file shipped") << true;
        QTest::newRow("icon file missing") << false;
    }

    void showsForTwoSecondsThenEnds()
    {
        QFETCH(bool, iconShipped);
        guitest::Stage stage;
        if (iconShipped) {
            stage.shipIcon();
        }
        Sighting seen;
        stage.recorder.onSleep = [&](std::int32_t) { seen = sight(); };

        QVERIFY(gProcEndProgram());

        QCOMPARE(stage.recorder.events, (std::vector<std::string> { "sleep 2000", "terminate 0" }));
        QVERIFY(seen.visible);
        QCOMPARE(seen.caption, QStringLiteral("終了処理     PORTPROBE"));
        QCOMPARE(seen.label1, QStringLiteral("終了処理をしています。"));
        QCOMPARE(seen.label2, QStringLiteral("しばらくお待ちください。"));
        QCOMPARE(seen.icon, iconShipped);
        QCOMPARE(seen.windowIcon, iconShipped);
        QCOMPARE(seen.watch, QSize(32, 32));
        // Unloading dropped the window; nothing was reported either way.
        QVERIFY(gfrmEndProgram == nullptr);
        QVERIFY(stage.recorder.boxes.empty());
        QVERIFY(stage.procedures().isEmpty());
    }

    void fatalEndCarriesFailureStatus()
    {
        guitest::Stage stage;
        setEndProgramExitCode(1);
        QVERIFY(gProcEndProgram());
        QCOMPARE(stage.recorder.events.back(), std::string("terminate 1"));
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
        QTest::addColumn<bool>("slept");
        QTest::newRow("negative refused at once") << -1 << false << false;
        QTest::newRow("zero") << 0 << true << true;
        QTest::newRow("end window's wait") << 2000 << true << true;
    }

    void sleepArguments()
    {
        QFETCH(int, milliseconds);
        QFETCH(bool, result);
        QFETCH(bool, slept);
        guitest::Stage stage;
        QCOMPARE(gProcSleep(milliseconds), result);
        std::vector<std::string> expected;
        if (slept) {
            expected.push_back("sleep " + std::to_string(milliseconds));
        }
        QCOMPARE(stage.recorder.events, expected);
    }
};

GUITEST_MAIN(tst_frmEndProgram, playScenario)

#include "tst_frmEndProgram.moc"
