#include "common/platform_fakes.h"
#include "platform/codepage.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_File.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

namespace {

std::string readBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::vector<std::string> reportLines(std::string report)
{
    std::vector<std::string> lines;
    for (std::size_t end; (end = report.find("\r\n")) != std::string::npos;
         report.erase(0, end + 2)) {
        lines.push_back(report.substr(0, end));
    }
    EXPECT_EQ(report, "") << "line without CR LF";
    return lines;
}

class ErrorLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.variables["TEMP"] = temp.str();
        registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Version"] = "6.0.2900.5512";
        gbooHideErrMsg = true;
        Err().Clear();
    }
    void TearDown() override
    {
        gbooHideErrMsg = false;
        Err().Clear();
    }

    std::filesystem::path logPath() const { return temp.path() / "PORTPROBE_ErrLog.txt"; }

    // Raises @p number inside a trapped procedure named @p name.
    static void failIn(const char *name, std::int32_t number)
    {
        gTrap(name, [&] { Err().Raise(number, "somewhere", "the raiser's own text"); });
    }

    fakes::TempDir temp;
    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
    fakes::RecordingShell shell;
};

TEST_F(ErrorLogTest, RecordMatchesTheGoldenFileByteForByteAndClearsTheError)
{
    std::string path = "unchanged";
    ASSERT_TRUE(gGetErrLogFileName(path));
    EXPECT_EQ(path, logPath().string());
    failIn("gShellExecute", 53);
    const std::string golden =
        readBytes(std::filesystem::path(PORTPROBE_TEST_DATA) / "errlog_record.cp932.txt");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(readBytes(logPath()), golden);
    EXPECT_EQ(Err().Number, 0);
    EXPECT_TRUE(Err().Description.empty());
    EXPECT_TRUE(Err().Source.empty());
}

TEST_F(ErrorLogTest, FirstErrorCreatesTheFileAndTheSecondAppendsAfterThreeEmptyLines)
{
    ASSERT_FALSE(std::filesystem::exists(logPath()));
    failIn("first", 6);
    const std::string one = readBytes(logPath());
    ASSERT_FALSE(one.empty());
    failIn("second", 13);
    const std::string both = readBytes(logPath());
    ASSERT_EQ(both.substr(0, one.size()), one);
    const std::string second = both.substr(one.size());
    // The first record ends in two empty lines, the second starts with one.
    EXPECT_EQ(one.substr(one.size() - 6), "\r\n\r\n\r\n");
    EXPECT_EQ(second.substr(0, 2), "\r\n");
    EXPECT_NE(platform::fromAnsi(second).find("second (PORTPROBE)"), std::string::npos);
}

TEST_F(ErrorLogTest, ReportLinesExtraTextStandardDescriptionAndNoPendingError)
{
    gbooHideErrMsg = false;
    failIn("gSetIni", 6);
    Err().Number = 5;
    gProcErrLog("gGetSystemMetrics", "lngTarget=1");
    gTrap("gDspHelp", [] { gGotoErrHandler(); });
    ASSERT_EQ(boxes.shown.size(), 3u);

    auto lines = reportLines(boxes.shown[0].text);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[5], "エラー内容：オーバーフローしました。"); // not the raiser's text

    lines = reportLines(boxes.shown[1].text);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[2], "lngTarget=1");
    EXPECT_EQ(lines[3], "エラー番号：5");
    EXPECT_EQ(lines[4], "gGetSystemMetrics (PORTPROBE)でエラーが発生しました。");

    lines = reportLines(boxes.shown[2].text);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[2], "エラー番号：0");
    EXPECT_EQ(lines[3], "gDspHelp (PORTPROBE)でエラーが発生しました。");
    EXPECT_EQ(lines[5], "エラー内容：");
}

TEST_F(ErrorLogTest, MessageBoxOnlyWhileNotHiddenAndBeforeTheRecord)
{
    gbooHideErrMsg = false;
    struct CheckingBox : platform::MessageBox
    {
        std::filesystem::path log;
        bool fileExistedWhenShown = true;
        platform::MessageBoxRequest last;
        std::int32_t show(const platform::MessageBoxRequest &request) override
        {
            fileExistedWhenShown = std::filesystem::exists(log);
            last = request;
            return platform::IdOk;
        }
    } box;
    box.log = logPath();
    {
        platform::ScopedSeam<platform::MessageBox> guard(box);
        Err().HelpFile = "help.chm";
        Err().HelpContext = 77;
        Err().Number = 9;
        gProcErrLog("proc", "");
    }
    EXPECT_FALSE(box.fileExistedWhenShown);
    EXPECT_EQ(box.last.caption, "ｴﾗｰ");
    EXPECT_EQ(box.last.buttons, platform::MbOkOnly);
    EXPECT_EQ(box.last.icon, platform::MbIconNone);
    EXPECT_EQ(box.last.helpFile, "help.chm");
    EXPECT_EQ(box.last.helpContext, 77);
    EXPECT_TRUE(std::filesystem::exists(logPath()));

    gbooHideErrMsg = true;
    failIn("quiet", 6);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ErrorLogTest, FailingVersionHelperLeavesItsLinesEmptyAndDoesNotReenter)
{
    version.fails = true;
    registry.strings.clear();
    gbooHideErrMsg = false;
    failIn("proc", 6);
    // Only the outer report is shown and written; the helper's own failure is dropped.
    ASSERT_EQ(boxes.shown.size(), 1u);
    const auto lines = reportLines(boxes.shown[0].text);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[2], "エラー番号：6");
    EXPECT_EQ(lines[8], "\tVersion：");
    EXPECT_EQ(lines[10], "\tMinor：");
    EXPECT_EQ(lines[13], "\tIeType：Can'tGet");
    EXPECT_EQ(platform::fromAnsi(readBytes(logPath())).find("gGetWinVersion"), std::string::npos);
}

TEST_F(ErrorLogTest, UnwritableLogLosesTheRecordWithoutFailingTheCaller)
{
    env.variables["TEMP"] = (temp.path() / "missing-folder").string();
    env.variables["TMP"] = (temp.path() / "also-missing").string();
    env.appFolder = (temp.path() / "no-app-folder").string();
    EXPECT_FALSE(gSetErrLog("report\r\n", ""));
    failIn("proc", 6);
    EXPECT_EQ(Err().Number, 0);
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "no-app-folder"));
}

TEST_F(ErrorLogTest, FatalErrorShowsTwoBoxesLogsOpensTheLogAndEnds)
{
    fakes::RecordingProcess process;
    std::vector<std::string> order;
    EndProgramCalls calls;
    calls.endAfterFatalError = [&] {
        order.push_back("end window");
        process.terminate(0);
    };
    gRegisterEndProgram(calls);
    try {
        Err().Number = 13;
        gProcFatalError("frmMenu_Form_Load", "");
        FAIL() << "gProcFatalError returned";
    } catch (const fakes::ProcessEnded &ended) {
        EXPECT_EQ(ended.exitCode, 0);
    }
    gRegisterEndProgram({});
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(
        boxes.shown[0].text, "致命的エラーが発生しました。\r\nこのアプリケーションを終了します。");
    EXPECT_EQ(boxes.shown[0].icon, platform::MbIconCritical);
    EXPECT_EQ(boxes.shown[0].caption, "PORTPROBE");
    EXPECT_EQ(boxes.shown[1].text,
        "エラーログに関するお問い合わせ・ご報告は\r\n説明書に記載しております。");
    EXPECT_EQ(boxes.shown[1].icon, platform::MbIconInformation);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, logPath().string());
    EXPECT_EQ(shell.opened[0].second, platform::SwShowMinimized);
    EXPECT_EQ(order, std::vector<std::string> { "end window" });
    EXPECT_NE(platform::fromAnsi(readBytes(logPath())).find("エラー番号：13"), std::string::npos);

    // Without a viewer for the log, the second box says it could not be shown.
    shell.answer = platform::SeErrNoAssociation;
    EXPECT_THROW(gProcFatalError("main", ""), fakes::ProcessEnded);
    ASSERT_EQ(boxes.shown.size(), 4u);
    EXPECT_EQ(boxes.shown[3].text, "エラーログが表示できませんでした。");

    // When the session ends nobody is left to click: no box (not even the
    // log's own), no viewer; the record is still written and the program ends.
    const std::size_t opened = shell.opened.size();
    gbooSessionEnding = true;
    gbooHideErrMsg = false;
    EXPECT_THROW(gProcFatalError("gSetSettingData", ""), fakes::ProcessEnded);
    gbooSessionEnding = false;
    EXPECT_EQ(boxes.shown.size(), 4u);
    EXPECT_EQ(shell.opened.size(), opened);
    EXPECT_NE(readBytes(logPath()).find("gSetSettingData"), std::string::npos);
}

TEST_F(ErrorLogTest, TrapReportsThroughTheRegisteredCallsElseToStandardError)
{
    // The error log registered itself before main.
    const ErrorReportCalls logged = gRegisteredErrorReport();
    EXPECT_EQ(logged.errLog, &gProcErrLog);
    EXPECT_EQ(logged.fatalError, &gProcFatalError);

    static std::vector<std::string> reports;
    const ErrorReportCalls recording {
        [](std::string_view proc, std::string_view) {
            reports.push_back("log " + std::string(proc) + " " + std::to_string(Err().Number));
        },
        // Returns, as a broken end sequence would: the trap still ends the process.
        [](std::string_view proc, std::string_view) {
            reports.push_back("fatal " + std::string(proc) + " " + std::to_string(Err().Number));
        },
    };
    struct Case
    {
        bool registered;
        bool fatal;
        std::vector<std::string> reports;
        std::string standardError;
        std::optional<int> exitCode;
        std::int32_t pendingAfter;
    };
    const Case cases[] = {
        { true, false, { "log proc 53" }, "", std::nullopt, 53 },
        { true, true, { "fatal proc 53" }, "", 1, 53 },
        { false, false, {}, "proc: error 53: no file\n", std::nullopt, 0 },
        { false, true, {}, "proc: error 53: no file\n", 1, 0 },
    };
    fakes::RecordingProcess process;
    for (const Case &c : cases) {
        SCOPED_TRACE(
            std::string(c.registered ? "registered" : "default") + (c.fatal ? " fatal" : " log"));
        reports.clear();
        Err().Clear();
        const auto body = [] { Err().Raise(53, "somewhere", "no file"); };
        std::optional<int> exitCode;
        gRegisterErrorReport(c.registered ? recording : ErrorReportCalls {});
        testing::internal::CaptureStderr();
        try {
            if (c.fatal) {
                gTrapFatal("proc", body);
            } else {
                EXPECT_FALSE(gTrap("proc", body));
            }
        } catch (const fakes::ProcessEnded &ended) {
            exitCode = ended.exitCode;
        }
        const std::string standardError = testing::internal::GetCapturedStderr();
        gRegisterErrorReport(logged);
        EXPECT_EQ(reports, c.reports);
        EXPECT_EQ(standardError, c.standardError);
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_EQ(Err().Number, c.pendingAfter);
    }
    EXPECT_FALSE(std::filesystem::exists(logPath()));
}

} // namespace
