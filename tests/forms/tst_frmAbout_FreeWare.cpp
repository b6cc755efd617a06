// The about box: its texts, closing and reopening, and its fatal paths.

#include "forms/gui_test_support.h"

#include "forms/frmAbout_FreeWare.h"
#include "portprobe_build.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// Shows a fresh about box modally and runs @p whileOpen once it is up.
void showAbout(const std::function<void(frmAbout_FreeWare &)> &whileOpen)
{
    gfrmAbout_FreeWare = new frmAbout_FreeWare();
    frmAbout_FreeWare *box = gfrmAbout_FreeWare;
    QTimer::singleShot(0, box, [box, whileOpen] { whileOpen(*box); });
    box->exec();
}

// Children: the box is loaded with a missing icon, or its manual command is
// chosen with the manual missing. Both must end the process.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
    if (scenario == QLatin1String("missing-icon")) {
        showAbout([](frmAbout_FreeWare &box) { box.close(); });
    } else if (scenario == QLatin1String("missing-manual")) {
        stage.shipIcon();
        showAbout([](frmAbout_FreeWare &box) { box.mnuContents->trigger(); });
    }
}

} // namespace

class tst_frmAbout_FreeWare : public QObject
{
    Q_OBJECT

private slots:
    void textsAfterLoad()
    {
        guitest::Stage stage;
        stage.shipIcon();
        QString caption, title, version, rights, site;
        bool icon = false;
        bool banner = false;
        showAbout([&](frmAbout_FreeWare &box) {
            caption = box.windowTitle();
            title = box.Label1->text();
            version = box.Label5->text();
            rights = box.Label2->text();
            site = box.Command2->text();
            icon = !box.imgIcon->pixmap().isNull();
            banner = box.Command2->icon().actualSize(QSize(160, 50)) == QSize(160, 50);
            box.Command1->click();
        });
        QCOMPARE(caption, QStringLiteral("このソフトについて     PORTPROBE"));
        QCOMPARE(title, QStringLiteral("PORTPROBE"));
        QCOMPARE(version,
            QStringLiteral("  version %1.%2.%3")
                .arg(build::VersionMajor)
                .arg(build::VersionMinor)
                .arg(build::VersionRevision));
        QCOMPARE(rights, QString::fromUtf8(build::LegalCopyright));
        QCOMPARE(site, QString::fromUtf8(build::WebSite));
        QVERIFY(icon);
        QVERIFY(banner);
        QVERIFY(stage.recorder.boxes.empty());
        QVERIFY(stage.procedures().isEmpty());
    }

    void okThenReopenLoadsAgain()
    {
        guitest::Stage stage;
        stage.shipIcon();
        QStringList captions;
        for (int round = 0; round < 2; ++round) {
            showAbout([&](frmAbout_FreeWare &box) {
                captions << box.windowTitle();
                box.Command1->click();
            });
            // The unload dropped the reference, so the next showing starts afresh.
            QVERIFY(gfrmAbout_FreeWare == nullptr);
        }
        QCOMPARE(captions,
            QStringList({ QStringLiteral("このソフトについて     PORTPROBE"),
                QStringLiteral("このソフトについて     PORTPROBE") }));
    }

    void siteAndManualOpen()
    {
        guitest::Stage stage;
        stage.shipIcon();
        stage.shipManual();
        showAbout([&](frmAbout_FreeWare &box) {
            box.Command2->click();
            box.mnuContents->trigger();
            box.Command1->click();
        });
        QCOMPARE(stage.shell.opened.size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(stage.shell.opened[0]),
            QString::fromUtf8(build::WebSite) + QStringLiteral("/index.html 3"));
        QCOMPARE(QString::fromStdString(stage.shell.opened[1]),
            stage.appPath(QStringLiteral("index.html")) + QStringLiteral(" 3"));
        QVERIFY(stage.recorder.boxes.empty());
    }

    void missingIconEndsTheProgram()
    {
        guitest::Stage stage;
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("missing-icon"), stage.childEnvironment());
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.events, guitest::fatalEvents());
        QCOMPARE(stage.procedures(), QStringList({ QStringLiteral("frmAbout_Form_Load") }));
    }

    void missingManualEndsTheProgram()
    {
        guitest::Stage stage;
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("missing-manual"), stage.childEnvironment());
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.events, guitest::fatalEvents());
        QCOMPARE(stage.procedures(),
            QStringList(
                { QStringLiteral("gDspHelp"), QStringLiteral("frmAbout_mnuContents_Click") }));
    }
};

GUITEST_MAIN(tst_frmAbout_FreeWare, playScenario)

#include "tst_frmAbout_FreeWare.moc"
