// Module1: the start, the second-copy check, the settings file and the fatal path.

#include "forms/gui_test_support.h"

#include "app/Module1.h"
#include "app/frmMenu.h"
#include "platform/instance_lock.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_CommonWindow.h"
#include "support/QuillFunc_INI.h"

#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string lockName()
{
    return "PORTPROBE-" + QCoreApplication::applicationName().toStdString();
}

// Children: the start with or without another copy running, and the fatal
// routine called directly. Each must end the process itself.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
    if (scenario == QLatin1String("main")) {
        // The window's load runs inside Main; close it as a user would.
        QTimer::singleShot(0, [&stage] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (auto *window = qobject_cast<frmMenu *>(top); window && window->isVisible()) {
                    stage.recorder.note("shown " + window->windowTitle().toStdString());
                    window->close();
                }
            }
        });
        Main();
        QApplication::exec();
    } else if (scenario == QLatin1String("fatal")) {
        gbooHideErrMsg = true;
        gProcFatalError("main", "");
    }
}

} // namespace

class tst_Module1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(runtimeDir_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
    }

    void init() { gbooHideErrMsg = true; }

    void settingsRead_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        QTest::newRow("no file") << QString() << "1352"
                                 << "100";
        QTest::newRow("empty vendor value") << "[Setting]\r\nStrVendorID=\r\nStrPeroductID=2a\r\n"
                                            << "1352"
                                            << "2a";
        QTest::newRow("both stored") << "[Setting]\r\nStrVendorID=abcd\r\nStrPeroductID=ef\r\n"
                                     << "abcd"
                                     << "ef";
        QTest::newRow("other section only") << "[Other]\r\nStrVendorID=1\r\n"
                                            << "1352"
                                            << "100";
    }

    void settingsRead()
    {
        QFETCH(QString, content);
        QFETCH(QString, vendor);
        QFETCH(QString, product);
        guitest::Stage stage;
        if (!content.isNull()) {
            QFile file(stage.appPath(QStringLiteral("setting.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content.toUtf8());
        }
        std::string readVendor = "x";
        std::string readProduct = "y";
        QVERIFY(gGetSettingData(readVendor, readProduct));
        QCOMPARE(QString::fromStdString(readVendor), vendor);
        QCOMPARE(QString::fromStdString(readProduct), product);
        QVERIFY(stage.recorder.events.empty());
    }

    void settingsRoundTrip()
    {
        guitest::Stage stage;
        QVERIFY(!QFile::exists(stage.appPath(QStringLiteral("setting.ini"))));
        QVERIFY(gSetSettingData("0a0b", "FFFF"));
        QVERIFY(QFile::exists(stage.appPath(QStringLiteral("setting.ini"))));
        std::string vendor;
        std::string product;
        QVERIFY(gGetSettingData(vendor, product));
        QCOMPARE(vendor, std::string("0a0b"));
        QCOMPARE(product, std::string("FFFF"));
        QCOMPARE(QString::fromStdString(gGetSettingFileName()),
            stage.appPath(QStringLiteral("setting.ini")));
    }

    void settingsOfAnUnwritableFolderGoToTheUser()
    {
        guitest::Stage stage;
        QTemporaryDir userDir;
        stage.settings.writable = false;
        stage.settings.user = userDir.path().toStdString();
        const std::string shipped = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        QVERIFY(gSetIni(shipped, "Setting", "StrVendorID", "5555"));

        std::string vendor;
        std::string product;
        QVERIFY(gGetSettingData(vendor, product));
        QCOMPARE(vendor, std::string("5555"));
        QCOMPARE(product, std::string("100"));

        QVERIFY(gSetSettingData("6666", "77"));
        const std::string own = userDir.filePath(QStringLiteral("setting.ini")).toStdString();
        QCOMPARE(gGetIniString(own, "Setting", "StrVendorID", ""), std::string("6666"));
        QCOMPARE(gGetIniString(own, "Setting", "StrPeroductID", ""), std::string("77"));
        // The shipped file is only ever read.
        QCOMPARE(gGetIniString(shipped, "Setting", "StrVendorID", ""), std::string("5555"));
        QCOMPARE(gGetIniString(shipped, "Setting", "StrPeroductID", "none"), std::string("none"));
        QVERIFY(gGetSettingData(vendor, product));
        QCOMPARE(vendor, std::string("6666"));
        QCOMPARE(product, std::string("77"));
        QVERIFY(stage.recorder.events.empty());
    }

    void userSettingsFolder_data()
    {
        QTest::addColumn<bool>("configHomeSet");
        QTest::addColumn<QString>("expected");
        QTest::newRow("XDG_CONFIG_HOME") << true << "config/portprobe";
        QTest::newRow("home's .config") << false << "home/.config/portprobe";
    }

    void userSettingsFolder()
    {
        QFETCH(bool, configHomeSet);
        QFETCH(QString, expected);
        QTemporaryDir base;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray oldHome = qgetenv("HOME");
        QDir(base.path()).mkpath(QStringLiteral("home"));
        qputenv("HOME", base.filePath(QStringLiteral("home")).toLocal8Bit());
        if (configHomeSet) {
            qputenv("XDG_CONFIG_HOME", base.filePath(QStringLiteral("config")).toLocal8Bit());
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
        auto folder = platform::settingsFolder().userFolder("portprobe");
        qputenv("HOME", oldHome);
        if (oldConfig.isNull()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", oldConfig);
        }
        QVERIFY(folder);
        QCOMPARE(QString::fromStdString(*folder), base.filePath(expected));
        QVERIFY(QFileInfo(base.filePath(expected)).isDir());
    }

    void firstCopyRunsOn()
    {
        guitest::Stage stage;
        auto fresh = switchRuntimeDir();
        gChkDoubleStarting(true);
        QVERIFY(stage.recorder.events.empty());
        // This copy now holds the lock against any later one.
        auto later = platform::createInstanceLock();
        QCOMPARE(later->anotherInstanceRunning(lockName()), std::optional<bool>(true));
    }

    void secondCopyEnds_data()
    {
        QTest::addColumn<bool>("showMessage");
        QTest::newRow("silently") << false;
        QTest::newRow("after telling the user") << true;
    }

    void secondCopyEnds()
    {
        QFETCH(bool, showMessage);
        auto fresh = switchRuntimeDir();
        auto first = platform::createInstanceLock();
        QCOMPARE(first->anotherInstanceRunning(lockName()), std::optional<bool>(false));
        guitest::Stage stage;
        // A separate lock object behaves as a separate copy of the program.
        auto second = platform::createInstanceLock();
        platform::ScopedSeam<platform::InstanceLock> asSecond(*second);
        gChkDoubleStarting(showMessage);
        std::vector<std::string> expected;
        if (showMessage) {
            expected.push_back("box 0 PORTPROBE | 既に起動されています");
        }
        expected.push_back("terminate 0");
        QCOMPARE(stage.recorder.events, expected);
        QVERIFY(stage.procedures().isEmpty());
    }

    void crashedCopyLeavesNoLock()
    {
        auto fresh = switchRuntimeDir();
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        pid_t child = ::fork();
        if (child == 0) {
            auto held = platform::createInstanceLock();
            char result =
                held->anotherInstanceRunning(lockName()) == std::optional<bool>(false) ? 'y' : 'n';
            (void)!::write(ready[1], &result, 1);
            ::pause();
            ::_exit(0);
        }
        char result = 0;
        QCOMPARE(::read(ready[0], &result, 1), ssize_t(1));
        QCOMPARE(result, 'y');
        auto probe = platform::createInstanceLock();
        QCOMPARE(probe->anotherInstanceRunning(lockName()), std::optional<bool>(true));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        QCOMPARE(probe->anotherInstanceRunning(lockName()), std::optional<bool>(false));
    }

    void mainStartsAndEndsThroughTheEndWindow()
    {
        auto fresh = switchRuntimeDir();
        guitest::Stage stage;
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("main"), childEnvironment(stage));
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events,
            QStringList({ QStringLiteral("shown PORTPROBE     "), QStringLiteral("sleep 2000"),
                QStringLiteral("terminate 0") }));
        const std::string file = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        QCOMPARE(gGetIniString(file, "Setting", "StrVendorID", ""), std::string("1352"));
        QCOMPARE(gGetIniString(file, "Setting", "StrPeroductID", ""), std::string("100"));
        QVERIFY(stage.procedures().isEmpty());
    }

    void mainOfASecondCopyEndsSilently()
    {
        auto fresh = switchRuntimeDir();
        guitest::Stage stage;
        auto first = platform::createInstanceLock();
        QCOMPARE(first->anotherInstanceRunning(lockName()), std::optional<bool>(false));
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("main"), childEnvironment(stage));
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events, QStringList({ QStringLiteral("terminate 0") }));
        QVERIFY(!QFile::exists(stage.appPath(QStringLiteral("setting.ini"))));
    }

    void fatalRoutineNeverReturns()
    {
        guitest::Stage stage;
        guitest::ChildRun run =
            guitest::runScenario(QStringLiteral("fatal"), stage.childEnvironment());
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        // "returned" would follow if the routine came back to its caller.
        QCOMPARE(run.events, guitest::fatalEvents());
        QCOMPARE(stage.procedures(), QStringList({ QStringLiteral("main") }));
    }

private:
    // A runtime folder of the test's own, so no lock of another test run interferes.
    std::unique_ptr<QTemporaryDir> switchRuntimeDir()
    {
        auto dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", dir->path().toLocal8Bit());
        return dir;
    }

    static QProcessEnvironment childEnvironment(const guitest::Stage &stage)
    {
        QProcessEnvironment env = stage.childEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
        return env;
    }

    QTemporaryDir runtimeDir_;
};

GUITEST_MAIN(tst_Module1, playScenario)

#include "tst_Module1.moc"
