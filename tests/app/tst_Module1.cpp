// Module1: the start, the second-copy check and the settings file.

#include "common/gui_test_support.h"

#include "app/Module1.h"
#include "app/ProgramStart.h"
#include "app/frmMenu.h"
#include "platform/instance_lock.h"
#include "platform/sim/sim_board.h"
#include "support/QuillFunc_INI.h"

#include <QDateTime>
#include <QFileInfo>
#include <csignal>
#include <map>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

std::string lockName()
{
    return "PORTPROBE-" + QCoreApplication::applicationName().toStdString();
}

// Child: the start with or without another copy running; it must end the
// process itself. The window's load runs inside Main; close it as a user would.
void playScenario(const QString &scenario)
{
    guitest::Stage stage(true);
    if (scenario == QLatin1String("main")) {
        gInstallSessionEndHandler(); // as the program starts: a close must not pass for one
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
    } else if (scenario == QLatin1String("sessionEnd") || scenario == QLatin1String("quitEvent")) {
        // An ID typed, then the session ends the program: by a signal from
        // the parent, or as Qt's quit event (the session manager's end).
        gInstallSessionEndHandler();
        const bool signal = scenario == QLatin1String("sessionEnd");
        QTimer::singleShot(0, [&stage, signal] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (auto *window = qobject_cast<frmMenu *>(top); window && window->isVisible()) {
                    window->txtVendorID->setText(QStringLiteral("ABCD"));
                    stage.recorder.note("ready");
                }
            }
            if (!signal) {
                QEvent quit(QEvent::Quit);
                QCoreApplication::sendEvent(qApp, &quit);
            }
        });
        Main();
        QApplication::exec();
    } else if (scenario == QLatin1String("closeWhileOutputting")) {
        // P1_2 HIGH with output running, then the window is closed. While the
        // end window shows, the board tells what it holds and what it received.
        platform::sim::SimHid hid;
        platform::sim::SimBoard &board = hid.addBoard();
        platform::ScopedSeam<platform::HidApi> seam(hid);
        stage.recorder.onSleep = [&board](std::int32_t) {
            std::string last;
            for (int byte : board.receivedReports().back()) {
                last += std::to_string(byte) + ",";
            }
            guitest::childLine("board port1 " + std::to_string(board.port1()) + " reports "
                + std::to_string(board.receivedReports().size()) + " last " + last);
        };
        QTimer::singleShot(0, [] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (auto *window = qobject_cast<frmMenu *>(top); window && window->isVisible()) {
                    window->lblPort1_Click(2);
                    window->cmdOutputStart_Click();
                    window->close();
                }
            }
        });
        Main();
        QApplication::exec();
    }
}

QString settingsFingerprint(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return QStringLiteral("missing");
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QString stamp = QString::number(info.lastModified().toMSecsSinceEpoch());
#ifdef Q_OS_UNIX
    // A replacement by rename shows in the inode, a rewrite within the same
    // millisecond in the nanoseconds.
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        stamp += QStringLiteral("|%1|%2").arg(st.st_ino).arg(st.st_mtim.tv_nsec);
    }
#endif
    return QString::fromLatin1(file.readAll()) + QLatin1Char('|') + stamp;
}

// A settings file as the parent test leaves it for the child: @p content,
// then made read-only when asked. Answers what shows that it was left alone.
QString storeSettings(const QString &path, const QByteArray &content, bool readOnly)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return {};
    }
    file.close();
    if (readOnly) {
        file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return settingsFingerprint(path);
}

// Whether a file made read-only as storeSettings does refuses a write here. It
// does on Windows and for Linux's settings writer; Wine run by root keeps the
// attribute as a Unix mode bit, which root's writes pass.
bool readOnlyFilesRefuseWrites()
{
#ifdef Q_OS_WIN
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("probe.ini"));
    storeSettings(path, "[probe]\r\n", true);
    return !WritePrivateProfileStringA(
        "probe", "key", "value", QFile::encodeName(path).constData());
#else
    return true;
#endif
}

} // namespace

class tst_Module1 : public QObject
{
    Q_OBJECT

private slots:
    // A runtime folder of each test's own, so no lock of another test interferes.
    void init()
    {
        runtimeDir_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", runtimeDir_->path().toLocal8Bit());
    }

    void settingsRead_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        const auto row = [](const char *name, const char *content, const char *vendor,
                             const char *product) {
            QTest::newRow(name) << (content ? QString::fromUtf8(content) : QString())
                                << QString::fromUtf8(vendor) << QString::fromUtf8(product);
        };
        row("no file", nullptr, "1352", "100");
        row("empty vendor value", "[Setting]\r\nStrVendorID=\r\nStrPeroductID=2a\r\n", "1352",
            "2a");
        row("both stored", "[Setting]\r\nStrVendorID=abcd\r\nStrPeroductID=ef\r\n", "abcd", "ef");
        row("other section only", "[Other]\r\nStrVendorID=1\r\n", "1352", "100");
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

    void settingsGoWhereTheyCanBeWritten_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("application folder") << true;
        QTest::newRow("unwritable: the user's folder") << false;
    }

    void settingsGoWhereTheyCanBeWritten()
    {
        QFETCH(bool, writable);
        guitest::Stage stage;
        QTemporaryDir userDir;
        stage.settings.writable = writable;
        stage.settings.user = QDir::toNativeSeparators(userDir.path()).toStdString();
        const std::string shipped = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        const std::string own = writable
            ? shipped
            : QDir::toNativeSeparators(userDir.filePath(QStringLiteral("setting.ini")))
                  .toStdString();
        std::string vendor;
        std::string product;
        if (!writable) {
            // Until the user's own file has a value, the shipped one gives it.
            QVERIFY(gSetIni(shipped, "Setting", "StrVendorID", "5555"));
            QVERIFY(gGetSettingData(vendor, product));
            QCOMPARE(vendor + "/" + product, std::string("5555/100"));
        }
        QVERIFY(!QFile::exists(QString::fromStdString(own)));

        QVERIFY(gSetSettingData("0a0b", "FFFF"));

        QCOMPARE(gGetSettingFileName(), own);
        QCOMPARE(gGetIniString(own, "Setting", "StrVendorID", ""), std::string("0a0b"));
        QCOMPARE(gGetIniString(own, "Setting", "StrPeroductID", ""), std::string("FFFF"));
        QVERIFY(gGetSettingData(vendor, product));
        QCOMPARE(vendor + "/" + product, std::string("0a0b/FFFF"));
        if (!writable) {
            // The shipped file is only ever read.
            QCOMPARE(gGetIniString(shipped, "Setting", "StrVendorID", ""), std::string("5555"));
            QCOMPARE(gGetIniString(shipped, "Setting", "StrPeroductID", "-"), std::string("-"));
        }
        QVERIFY(stage.recorder.events.empty());
    }

#ifdef Q_OS_LINUX
    // The Linux folder rule (Windows: %APPDATA%\portprobe, from the system).
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
        qunsetenv("XDG_CONFIG_HOME");
        if (configHomeSet) {
            qputenv("XDG_CONFIG_HOME", base.filePath(QStringLiteral("config")).toLocal8Bit());
        }
        auto folder = platform::settingsFolder().userFolder("portprobe");
        qputenv("HOME", oldHome);
        qunsetenv("XDG_CONFIG_HOME");
        if (!oldConfig.isNull()) {
            qputenv("XDG_CONFIG_HOME", oldConfig);
        }
        QVERIFY(folder);
        QCOMPARE(QString::fromStdString(*folder), base.filePath(expected));
        QVERIFY(QFileInfo(base.filePath(expected)).isDir());
    }
#endif

    // The first copy runs on holding the lock; a second one (a separate lock
    // object behaves as a separate copy) ends after telling the user.
    void secondCopyEndsAfterTellingTheUser()
    {
        guitest::Stage stage;
        // Both locks are this test's own, so the name is free again after it
        // (a Windows mutex name is not scoped by XDG_RUNTIME_DIR).
        auto first = platform::createInstanceLock();
        std::optional<platform::ScopedSeam<platform::InstanceLock>> asFirst(std::in_place, *first);
        gChkDoubleStarting(true);
        QVERIFY(stage.recorder.events.empty());
        asFirst.reset();
        auto second = platform::createInstanceLock();
        platform::ScopedSeam<platform::InstanceLock> asSecond(*second);
        gChkDoubleStarting(true);
        QCOMPARE(stage.recorder.events,
            (std::vector<std::string> { "box 0 PORTPROBE | 既に起動されています", "terminate 0" }));
        QVERIFY(stage.procedures().isEmpty());
    }

    // Program names outside ASCII keep locks of their own.
    void lockNamesKeepTheirCharacters()
    {
        auto first = platform::createInstanceLock();
        auto second = platform::createInstanceLock();
        QCOMPARE(first->anotherInstanceRunning("PORTPROBE-ポート"), std::optional<bool>(false));
        QCOMPARE(second->anotherInstanceRunning("PORTPROBE-テスト"), std::optional<bool>(false));
    }

#ifdef Q_OS_UNIX
    // (Windows releases a dead process's mutex itself; no fork there to kill a holder.)
    void crashedCopyLeavesNoLock()
    {
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
#endif

    void mainStartsAndEndsThroughTheEndWindow()
    {
        guitest::Stage stage;
        guitest::ChildRun run = guitest::runScenario(QStringLiteral("main"), stage);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events,
            QStringList({ QStringLiteral("shown PORTPROBE     "), QStringLiteral("sleep 2000"),
                QStringLiteral("terminate 0") }));
        // The first start creates the settings file.
        const std::string file = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        QCOMPARE(gGetIniString(file, "Setting", "StrVendorID", ""), std::string("1352"));
        QCOMPARE(gGetIniString(file, "Setting", "StrPeroductID", ""), std::string("100"));
        QVERIFY(stage.procedures().isEmpty());
    }

#ifdef Q_OS_LINUX
    // Folder names are the system's bytes, whatever the code page holds: the
    // settings are read and written there and a normal close ends with 0.
    // (Windows' ANSI calls cannot name such a folder at all.)
    void foldersNamedOutsideTheCodePageWork()
    {
        const QString name = QStringLiteral("josé ポート 😀한");
        guitest::Stage stage(false, name);
        const std::string file = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        QVERIFY(gSetIni(file, "Setting", "StrVendorID", "ABCD"));
        qputenv("XDG_RUNTIME_DIR", (runtimeDir_->path() + QLatin1Char('/') + name).toUtf8());
        QVERIFY(QDir().mkpath(qEnvironmentVariable("XDG_RUNTIME_DIR")));

        guitest::ChildRun run = guitest::runScenario(QStringLiteral("main"), stage);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events.last(), QStringLiteral("terminate 0"));
        QCOMPARE(gGetIniString(file, "Setting", "StrVendorID", ""), std::string("ABCD"));
        QCOMPARE(gGetIniString(file, "Setting", "StrPeroductID", ""), std::string("100"));
        QVERIFY(stage.procedures().isEmpty());
    }
#endif

    void closingWhileOutputtingLeavesTheOutputsAndSavesTheIds()
    {
        guitest::Stage stage;
        guitest::ChildRun run = guitest::runScenario(QStringLiteral("closeWhileOutputting"), stage);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        // One write of the pattern and nothing at close: the board still holds 4.
        QVERIFY(
            run.events.contains(QStringLiteral("board port1 4 reports 1 last 0,2,4,0,0,0,0,0,0,")));
        QCOMPARE(run.events.last(), QStringLiteral("terminate 0"));
        const std::string file = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        QCOMPARE(gGetIniString(file, "Setting", "StrVendorID", ""), std::string("1352"));
        QCOMPARE(gGetIniString(file, "Setting", "StrPeroductID", ""), std::string("100"));
    }

    // The session's end closes as the user's close does: the IDs typed are
    // saved, the end window shows, and the status is 0. A read-only settings
    // file holding the IDs already needs no write; one that would change
    // fails, and with nobody left to click a box the failure is logged and
    // the program ends with 1 at once.
    void sessionEndClosesAsTheUserDoes_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("stored"); // a read-only file's content; empty: none
        QTest::addColumn<int>("exitCode");
        const QByteArray other = "[Setting]\r\nStrVendorID=1352\r\nStrPeroductID=100\r\n";
        const QString quit = QStringLiteral("quitEvent");
#ifdef Q_OS_UNIX
        const QByteArray typed = "[Setting]\r\nStrVendorID=ABCD\r\nStrPeroductID=100\r\n";
        const QString signal = QStringLiteral("sessionEnd");
        QTest::newRow("SIGTERM") << signal << int(SIGTERM) << QByteArray() << 0;
        QTest::newRow("SIGHUP") << signal << int(SIGHUP) << QByteArray() << 0;
        QTest::newRow("SIGINT") << signal << int(SIGINT) << QByteArray() << 0;
        QTest::newRow("SIGINT, read-only, changed") << signal << int(SIGINT) << other << 1;
        QTest::newRow("SIGTERM, read-only, unchanged") << signal << int(SIGTERM) << typed << 0;
        QTest::newRow("SIGTERM, read-only, changed") << signal << int(SIGTERM) << other << 1;
#endif
        QTest::newRow("quit event") << quit << 0 << QByteArray() << 0;
        QTest::newRow("quit event, read-only, changed") << quit << 0 << other << 1;
    }

    void sessionEndClosesAsTheUserDoes()
    {
        QFETCH(QString, scenario);
        QFETCH(int, signal);
        QFETCH(QByteArray, stored);
        QFETCH(int, exitCode);
        if (!stored.isEmpty() && !readOnlyFilesRefuseWrites()) {
            QSKIP("read-only files are writable here (Wine run by root)");
        }
        guitest::Stage stage;
        const QString file = stage.appPath(QStringLiteral("setting.ini"));
        const QString before = stored.isEmpty() ? QString() : storeSettings(file, stored, true);
        guitest::ChildRun run = guitest::runScenario(scenario, stage, [signal](QProcess &child) {
            while (!child.peek(1024).contains("ready") && child.waitForReadyRead(30000)) { }
#ifdef Q_OS_UNIX
            if (signal != 0) {
                ::kill(static_cast<pid_t>(child.processId()), signal);
            }
#else
            Q_UNUSED(signal);
#endif
        });
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.events,
            QStringList({ QStringLiteral("ready"), QStringLiteral("sleep 2000"),
                QStringLiteral("terminate %1").arg(exitCode) }));
        QCOMPARE(stage.procedures(),
            exitCode == 0 ? QStringList() : QStringList { QStringLiteral("gSetSettingData") });
        if (stored.isEmpty()) {
            QCOMPARE(gGetIniString(file.toStdString(), "Setting", "StrVendorID", ""),
                std::string("ABCD"));
        } else {
            QCOMPARE(settingsFingerprint(file), before);
        }
    }

    // The user's own close with a read-only settings file: unchanged IDs need
    // no write and end normally; a write that fails takes the fatal path with
    // both boxes, as any failure the user can see does.
    void userCloseWithAReadOnlySettingsFile_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("fails");
        QTest::newRow("unchanged")
            << QByteArray("[Setting]\r\nStrVendorID=1352\r\nStrPeroductID=100\r\n") << false;
        QTest::newRow("product missing") << QByteArray("[Setting]\r\nStrVendorID=1352\r\n") << true;
    }

    void userCloseWithAReadOnlySettingsFile()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, fails);
        if (fails && !readOnlyFilesRefuseWrites()) {
            QSKIP("read-only files are writable here (Wine run by root)");
        }
        guitest::Stage stage;
        const QString file = stage.appPath(QStringLiteral("setting.ini"));
        const QString before = storeSettings(file, stored, true);
        const guitest::ChildRun run = guitest::runScenario(QStringLiteral("main"), stage);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, fails ? 1 : 0);
        QStringList expected { QStringLiteral("shown PORTPROBE     ") };
        if (fails) {
            expected << QStringLiteral(
                "box 16 PORTPROBE | "
                "致命的エラーが発生しました。\\r\\nこのアプリケーションを終了します。")
                     << QStringLiteral("box 64 PORTPROBE | "
                                       "エラーログに関するお問い合わせ・ご報告は\\r\\n説明書に記"
                                       "載しております。");
        }
        expected << QStringLiteral("sleep 2000")
                 << QStringLiteral("terminate %1").arg(fails ? 1 : 0);
        QCOMPARE(run.events, expected);
        QCOMPARE(stage.procedures(),
            fails ? QStringList { QStringLiteral("gSetSettingData") } : QStringList());
        QCOMPARE(settingsFingerprint(file), before);
    }

    // Which display the start picks, from the variables set and what answers.
    void displayChoice_data()
    {
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<QString>("x11");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("x11Answers");
        QTest::addColumn<bool>("waylandAnswers");
        QTest::addColumn<bool>("plugin");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("problem");
        const QString none;
        QTest::newRow("nothing set")
            << none << none << none << true << true << true << none << QStringLiteral("(none)");
        QTest::newRow("X answers")
            << none << ":0" << none << true << false << false << "xcb" << none;
        QTest::newRow("stale X") << none << ":987" << none << false << false << false << none
                                 << "X11 display \":987\" (DISPLAY) does not answer or refuses "
                                    "this user";
        QTest::newRow("Wayland answers")
            << none << ":0"
            << "wayland-1" << true << true << true << "wayland" << none;
        QTest::newRow("Wayland without plugin falls back")
            << none << ":0"
            << "wayland-1" << true << true << false << "xcb" << none;
        QTest::newRow("Wayland silent falls back")
            << none << ":0"
            << "wayland-1" << true << false << true << "xcb" << none;
        QTest::newRow("neither answers")
            << none << ":1"
            << "wayland-1" << false << false << true << none
            << "no Wayland compositor listens at \"wayland-1\" (WAYLAND_DISPLAY); X11 display "
               "\":1\" (DISPLAY) does not answer or refuses this user";
        QTest::newRow("xcb asked, X stale") << "xcb"
                                            << ":1"
                                            << "wayland-1" << false << true << true << none
                                            << "X11 display \":1\" (DISPLAY) does not answer or "
                                               "refuses this user";
        QTest::newRow("wayland asked, no plugin")
            << "wayland"
            << ":0" << none << true << true << false << none
            << "Wayland display \"wayland-0\" (WAYLAND_DISPLAY) needs Qt's Wayland plugin, "
               "which is not installed";
        QTest::newRow("offscreen left to Qt")
            << "offscreen" << none << none << false << false << false << none << none;
    }

    void displayChoice()
    {
        QFETCH(QString, qpa);
        QFETCH(QString, x11);
        QFETCH(QString, wayland);
        QFETCH(bool, x11Answers);
        QFETCH(bool, waylandAnswers);
        QFETCH(bool, plugin);
        QFETCH(QString, platform);
        QFETCH(QString, problem);
        const std::map<std::string, QString> variables { { "QT_QPA_PLATFORM", qpa },
            { "DISPLAY", x11 }, { "WAYLAND_DISPLAY", wayland } };
        const DisplayChoice choice = gChooseDisplay(
            [&](const char *name) -> std::optional<std::string> {
                const QString &value = variables.at(name);
                return value.isNull() ? std::nullopt : std::optional(value.toStdString());
            },
            { [&](const std::string &) { return x11Answers; },
                [&](const std::string &) { return waylandAnswers; }, [&] { return plugin; } });
        QCOMPARE(QString::fromStdString(choice.platform), platform.isNull() ? QString() : platform);
        if (problem == QLatin1String("(none)")) {
            QVERIFY(choice.noDisplay);
        } else {
            QVERIFY(!choice.noDisplay);
            QCOMPARE(
                QString::fromStdString(choice.problem), problem.isNull() ? QString() : problem);
        }
    }

#ifdef Q_OS_LINUX
    // The real program with a display that does not answer: a plain sentence
    // naming it and status 1, not Qt's abort.
    void unreachableDisplayEndsWithAPlainMessage()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":987"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PORTPROBE_TEST_PROGRAM), {});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QString said = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("cannot open the display: X11 display \":987\"")),
            qPrintable(said));
    }
#endif

#ifdef Q_OS_UNIX
    // The real program, killed by the session with a read-only settings
    // file: IDs already stored end it with 0; a write that fails is logged and
    // ends it with 1 within the end window's time, no box waiting for a click.
    void realProgramEndsItsSessionWithAReadOnlySettingsFile_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unchanged")
            << QByteArray("[Setting]\r\nStrVendorID=1352\r\nStrPeroductID=100\r\n") << 0;
        QTest::newRow("write fails") << QByteArray("[Setting]\r\nStrVendorID=1352\r\n") << 1;
    }

    void realProgramEndsItsSessionWithAReadOnlySettingsFile()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, exitCode);
        // A copy of its own: the folder it runs from holds its settings file.
        QTemporaryDir appDir;
        QTemporaryDir tempDir;
        const QString program = appDir.filePath(QStringLiteral("portprobe"));
        QVERIFY(QFile::copy(QStringLiteral(PORTPROBE_TEST_PROGRAM), program));
        const QString file = appDir.filePath(QStringLiteral("setting.ini"));
        const QString before = storeSettings(file, stored, true);

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TEMP"), tempDir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(program, {});
        QVERIFY(child.waitForStarted());
        // Up once it catches SIGTERM itself (the window is shown just after).
        const QString status = QStringLiteral("/proc/%1/status").arg(child.processId());
        auto catchesTerm = [&] {
            QFile proc(status);
            if (!proc.open(QIODevice::ReadOnly)) {
                return false;
            }
            for (const QByteArray &line : proc.readAll().split('\n')) {
                if (line.startsWith("SigCgt:")) {
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1)
                        != 0;
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(), 60000);
        ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
        const bool ended = child.waitForFinished(30000);
        if (!ended) {
            child.kill();
            child.waitForFinished();
        }
        QVERIFY2(ended, "still running: something waits for an answer");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), exitCode);
        QCOMPARE(guitest::loggedProcedures(tempDir.path()),
            exitCode == 0 ? QStringList() : QStringList { QStringLiteral("gSetSettingData") });
        QCOMPARE(settingsFingerprint(file), before);
    }
#endif

    void mainOfASecondCopyEndsSilently()
    {
        guitest::Stage stage;
        auto first = platform::createInstanceLock();
        QCOMPARE(first->anotherInstanceRunning(lockName()), std::optional<bool>(false));
        guitest::ChildRun run = guitest::runScenario(QStringLiteral("main"), stage);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events, QStringList({ QStringLiteral("terminate 0") }));
        QVERIFY(!QFile::exists(stage.appPath(QStringLiteral("setting.ini"))));
    }

private:
    std::unique_ptr<QTemporaryDir> runtimeDir_;
};

GUITEST_MAIN(tst_Module1, playScenario)

#include "tst_Module1.moc"
