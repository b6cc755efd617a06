#pragma once
// What the window tests share: the recorder of message boxes and process
// services, the shell that opens nothing, and the Stage that puts them in place
// together with the platform fakes of common/platform_fakes.h. Nothing here
// blocks: boxes are answered with OK, sleeps are recorded, and ending the
// process is recorded (or, in a scenario child, done for real).

#include "app/Module1.h"
#include "app/ProgramStart.h"
#include "common/platform_fakes.h"
#include "forms/QuillFunc_CommonWindow.h"
#include "forms/QuillFunc_Window.h"
#include "forms/frmEndProgram.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/screen_metrics.h"
#include "platform/settings_folder.h"
#include "platform/shell.h"
#include "support/QuillFunc_Common.h"

#include <QtTest>
#include <QtWidgets>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace guitest {

/// What a RecordingShell was asked to open: file and show command, in order.
using Opened = std::vector<std::pair<std::string, std::int32_t>>;

/// Writes one line of a scenario child's output: to standard output, where
/// the parent may peek at it while the child runs, and to the file the parent
/// named, which it reads once the child has ended (under Wine, what a child
/// writes into the pipe just before it ends can be lost).
inline void childLine(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    static std::FILE *const file = [] {
        const QByteArray path = QFile::encodeName(qEnvironmentVariable("PORTPROBE_TEST_EVENTS"));
        return path.isEmpty() ? nullptr : std::fopen(path.constData(), "ab");
    }();
    if (file != nullptr) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fflush(file);
    }
}

/// Records every box, sleep, event pass and process end, in order.
class Recorder final : public platform::MessageBox, public platform::Process
{
public:
    /// In a scenario child each event is also printed, and terminate really ends.
    explicit Recorder(bool child = false) : child_(child) { }

    std::vector<std::string> events;
    std::vector<platform::MessageBoxRequest> boxes;
    /// Runs inside each recorded sleep, while the sleeping window is on screen.
    std::function<void(std::int32_t)> onSleep;

    std::int32_t show(const platform::MessageBoxRequest &request) override
    {
        boxes.push_back(request);
        note("box " + std::to_string(request.icon) + " " + request.caption + " | " + request.text);
        return platform::IdOk;
    }
    void sleep(std::int32_t milliseconds) override
    {
        note("sleep " + std::to_string(milliseconds));
        if (onSleep) {
            onSleep(milliseconds);
        }
    }
    void doEvents() override { QCoreApplication::processEvents(); }
    void terminate(int exitCode) override
    {
        note("terminate " + std::to_string(exitCode));
        if (child_) {
            std::fflush(nullptr);
            std::_Exit(exitCode);
        }
    }

    void note(const std::string &event)
    {
        events.push_back(event);
        if (child_) {
            // One event per line; line breaks inside a box text are kept visible.
            QString line = QString::fromStdString(event);
            line.replace(QLatin1Char('\r'), QLatin1String("\\r"))
                .replace(QLatin1Char('\n'), QLatin1String("\\n"));
            childLine(line.toUtf8().toStdString());
        }
    }

private:
    bool child_;
};

/// The error log of @p tempFolder, decoded from the system code page.
inline QString readErrorLog(const QString &tempFolder)
{
    QFile file(tempFolder + QStringLiteral("/PORTPROBE_ErrLog.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    return QString::fromStdString(platform::fromAnsi(std::string(bytes.constData(), bytes.size())));
}

/// The procedure names of the log's records, in order.
inline QStringList loggedProcedures(const QString &tempFolder)
{
    QStringList names;
    const QString marker = QStringLiteral(")でエラーが発生しました。");
    for (const QString &line : readErrorLog(tempFolder).split(QStringLiteral("\r\n"))) {
        if (line.endsWith(marker)) {
            names << line.left(line.indexOf(QStringLiteral(" (")));
        }
    }
    return names;
}

/// Everything one test needs in place: folders, recorders and fakes.
class Stage
{
public:
    /// A scenario child works in the folders its parent test named. With
    /// @p folderName, both folders are sub folders of that name.
    explicit Stage(bool child = false, const QString &folderName = {})
        : appFolder(QDir::toNativeSeparators(child ? qEnvironmentVariable("PORTPROBE_TEST_APPDIR")
                                                   : subFolder(appDir.path(), folderName))),
          tempFolder(QDir::toNativeSeparators(child ? qEnvironmentVariable("PORTPROBE_TEST_TEMPDIR")
                                                    : subFolder(tempDir.path(), folderName))),
          recorder(child),
          boxGuard(recorder),
          processGuard(recorder)
    {
        shell.failMissingFiles = true;
        // The test's own application and temporary folders; other variables are real.
        environment.variables = { { "temp", tempFolder.toStdString() },
            { "tmp", tempFolder.toStdString() } };
        environment.windowsTemp = tempFolder.toStdString();
        environment.appFolder = appFolder.toStdString();
        environment.passThrough = true;
        // As from Main on: library reports go to the log only.
        gbooHideErrMsg = true;
    }

    /// As the program names it: the system's separators (Windows: "\").
    QString appPath(const QString &relative) const
    {
        return QDir::toNativeSeparators(QDir(appFolder).filePath(relative));
    }
    QStringList procedures() const { return loggedProcedures(tempFolder); }

    /// Puts the icon file of the build beside the program under test.
    void shipIcon() const
    {
        QDir().mkpath(appPath(QStringLiteral("sys")));
        QFile::copy(QStringLiteral(PORTPROBE_TEST_ICON), appPath(QStringLiteral("sys/icon.ico")));
    }
    void shipManual() const
    {
        QFile::copy(QStringLiteral(PORTPROBE_TEST_MANUAL), appPath(QStringLiteral("index.html")));
    }

    static QString subFolder(const QString &base, const QString &name)
    {
        if (name.isEmpty()) {
            return base;
        }
        QDir(base).mkpath(name);
        return QDir(base).filePath(name);
    }

    QTemporaryDir appDir;
    QTemporaryDir tempDir;
    QString appFolder;
    QString tempFolder;
    Recorder recorder;
    fakes::FakeEnvironment environment;
    fakes::RecordingShell shell;
    fakes::FakeScreen screen;
    fakes::FakeSettingsFolder settings;

private:
    platform::ScopedSeam<platform::MessageBox> boxGuard;
    platform::ScopedSeam<platform::Process> processGuard;
};

/// What a scenario child printed and how it ended.
struct ChildRun
{
    QStringList events;
    int exitCode = -1;
    bool crashed = false;
};

/// Runs this test program again as a child that plays @p scenario (see
/// scenarioName) in @p stage's folders, and collects its events. The process
/// end is then real: nothing may run after it. @p whileRunning, when given,
/// acts on the running child (its output can be peeked, not read).
inline ChildRun runScenario(const QString &scenario, const Stage &stage,
    const std::function<void(QProcess &)> &whileRunning = {})
{
    QTemporaryFile events;
    events.open();
    events.close(); // the name stays ours; the child appends its lines
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PORTPROBE_TEST_SCENARIO"), scenario);
    env.insert(QStringLiteral("PORTPROBE_TEST_EVENTS"), events.fileName());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PORTPROBE_TEST_APPDIR"), stage.appFolder);
    env.insert(QStringLiteral("PORTPROBE_TEST_TEMPDIR"), stage.tempFolder);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Text mode: a Windows child's lines end in CR LF.
    child.start(
        QCoreApplication::applicationFilePath(), {}, QIODevice::ReadWrite | QIODevice::Text);
    if (whileRunning) {
        whileRunning(child);
    }
    child.waitForFinished(120000);
    ChildRun run;
    run.crashed = child.exitStatus() != QProcess::NormalExit;
    run.exitCode = child.exitCode();
    events.open();
    run.events = QString::fromUtf8(events.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

/// The fatal path as a child prints it: two boxes in order, the end window's
/// wait, and the end with failure status (never "returned").
inline void verifyFatalScenario(
    const QString &scenario, const Stage &stage, const QStringList &procedures)
{
    const ChildRun run = runScenario(scenario, stage);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.events,
        QStringList({ QStringLiteral(
                          "box 16 PORTPROBE | "
                          "致命的エラーが発生しました。\\r\\nこのアプリケーションを終了します。"),
            QStringLiteral(
                "box 64 PORTPROBE | "
                "エラーログに関するお問い合わせ・ご報告は\\r\\n説明書に記載しております。"),
            QStringLiteral("sleep 2000"), QStringLiteral("terminate 1") }));
    QCOMPARE(stage.procedures(), procedures);
}

/// The node of the control named @p objectName in @p window's accessibility
/// tree, reached from the window down as a screen reader walks it; null when
/// the tree does not reach it.
inline QAccessibleInterface *accessibleNode(QWidget &window, const QString &objectName)
{
    const std::function<QAccessibleInterface *(QAccessibleInterface *)> walk =
        [&](QAccessibleInterface *node) -> QAccessibleInterface * {
        if (node == nullptr) {
            return nullptr;
        }
        if (node->object() != nullptr && node->object()->objectName() == objectName) {
            return node;
        }
        for (int i = 0; i < node->childCount(); ++i) {
            if (QAccessibleInterface *found = walk(node->child(i))) {
                return found;
            }
        }
        return nullptr;
    };
    return walk(QAccessible::queryAccessibleInterface(&window));
}

/// What a screen reader says of a node: "role | name | description".
inline QString spoken(QAccessibleInterface *node)
{
    if (node == nullptr) {
        return QStringLiteral("<not in the tree>");
    }
    return QStringLiteral("%1 | %2 | %3")
        .arg(QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(node->role())),
            node->text(QAccessible::Name), node->text(QAccessible::Description));
}

/// The scenario this process should play, when it was started as a child.
inline QString scenarioName()
{
    return qEnvironmentVariable("PORTPROBE_TEST_SCENARIO");
}

inline void noScenario(const QString &) { }

} // namespace guitest

/// main() of a window test: plays a scenario when started as a child (the
/// function returns only when the scenario failed to end the process),
/// otherwise runs the test class.
#define GUITEST_MAIN(TestClass, playScenario)                                                      \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        gInitPictures();                                                                           \
        gRegisterEndProgram(gEndWindowCalls(gProcEndProcess));                                     \
        if (!guitest::scenarioName().isEmpty()) {                                                  \
            playScenario(guitest::scenarioName());                                                 \
            guitest::childLine("returned");                                                        \
            return 99;                                                                             \
        }                                                                                          \
        TestClass tc;                                                                              \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
