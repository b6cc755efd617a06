// The about box: its texts, closing and reopening, and its fatal paths.

#include "common/gui_test_support.h"

#include "forms/frmAbout_FreeWare.h"
#include "platform/environment.h"
#include "portprobe_build.h"

namespace {

// Shows a fresh about box modally and runs @p whileOpen once it is up; the
// box is closed with OK afterwards unless @p whileOpen ended it.
void showAbout(const std::function<void(frmAbout_FreeWare &)> &whileOpen, bool pressOk = true)
{
    gfrmAbout_FreeWare = new frmAbout_FreeWare();
    frmAbout_FreeWare *box = gfrmAbout_FreeWare;
    QTimer::singleShot(0, box, [box, whileOpen, pressOk] {
        const auto ok = qScopeGuard([box, pressOk] {
            if (pressOk) {
                box->Command1->click();
            }
        });
        whileOpen(*box);
    });
    box->exec();
}

// Children: the box is loaded with a missing icon, or its manual command is
// chosen with the manual missing. Both must end the process.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
    if (scenario == QLatin1String("missing-icon")) {
        showAbout([](frmAbout_FreeWare &box) { box.close(); }, false);
    } else if (scenario == QLatin1String("missing-manual")) {
        stage.shipIcon();
        showAbout([](frmAbout_FreeWare &box) { box.mnuContents->trigger(); }, false);
    }
}

} // namespace

class tst_frmAbout_FreeWare : public QObject
{
    Q_OBJECT

private slots:
    // OK unloads the box and drops the reference, so each showing loads afresh.
    void textsAfterEachLoad()
    {
        guitest::Stage stage;
        stage.shipIcon();
        int loads = 0;
        for (int round = 0; round < 2; ++round) {
            showAbout([&](frmAbout_FreeWare &box) {
                ++loads;
                QCOMPARE(box.windowTitle(), QStringLiteral("このソフトについて     PORTPROBE"));
                QCOMPARE(box.Label1->text(), QStringLiteral("PORTPROBE"));
#ifdef _WIN32
                // The test program's own version resource (tests/forms/about_version.rc).
                QCOMPARE(box.Label5->text(), QStringLiteral("  version 7.6.5"));
#else
                QCOMPARE(box.Label5->text(),
                    QStringLiteral("  version %1.%2.%3")
                        .arg(build::VersionMajor)
                        .arg(build::VersionMinor)
                        .arg(build::VersionRevision));
#endif
                QCOMPARE(box.Label2->text(), QString::fromUtf8(build::LegalCopyright));
                QCOMPARE(box.Command2->text(), QString::fromUtf8(build::WebSite));
                // Whole, not elided: it fits inside the button's frame in the font it is drawn in
                // (under Wine the fallback fixed-pitch font is wider than the designed one).
                QVERIFY(box.Command2->fontMetrics().horizontalAdvance(box.Command2->text())
                    <= box.Command2->width() - 16);
                QVERIFY(!box.imgIcon->pixmap().isNull());
                QCOMPARE(box.Command2->icon().actualSize(QSize(160, 50)), QSize(160, 50));
                // Announced as a dialog, every text readable.
                QCOMPARE(guitest::spoken(guitest::accessibleNode(box, box.objectName())),
                    QStringLiteral("Dialog | このソフトについて     PORTPROBE | "));
                QCOMPARE(guitest::spoken(guitest::accessibleNode(box, QStringLiteral("Label5"))),
                    QStringLiteral("StaticText | ") + box.Label5->text() + QStringLiteral(" | "));
                QCOMPARE(guitest::spoken(guitest::accessibleNode(box, QStringLiteral("Command1"))),
                    QStringLiteral("Button | OK | "));
            });
            QVERIFY(gfrmAbout_FreeWare == nullptr);
        }
        QCOMPARE(loads, 2);
        QVERIFY(stage.recorder.boxes.empty());
        QVERIFY(stage.procedures().isEmpty());
    }

    void siteAndManualOpen()
    {
        guitest::Stage stage;
        stage.shipIcon();
        stage.shipManual();
        showAbout([&](frmAbout_FreeWare &box) {
            box.Command2->click();
            box.mnuContents->trigger();
        });
        QCOMPARE(stage.shell.opened,
            (guitest::Opened {
                { std::string(build::WebSite) + platform::DirSeparator + "index.html", 3 },
                { stage.appPath(QStringLiteral("index.html")).toStdString(), 3 } }));
        QVERIFY(stage.recorder.boxes.empty());
    }

    void missingFileEndsTheProgram_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("procedures");
        QTest::newRow("icon") << "missing-icon" << QStringList { "frmAbout_Form_Load" };
        QTest::newRow("manual") << "missing-manual"
                                << QStringList { "gDspHelp", "frmAbout_mnuContents_Click" };
    }

    void missingFileEndsTheProgram()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, procedures);
        guitest::Stage stage;
        guitest::verifyFatalScenario(scenario, stage, procedures);
    }
};

GUITEST_MAIN(tst_frmAbout_FreeWare, playScenario)

#include "tst_frmAbout_FreeWare.moc"
