#include "common/platform_fakes.h"
#include "platform/codepage.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_File.h"
#include "support/QuillFunc_REG.h"

#include <gtest/gtest.h>

#include <ostream>

#include <fstream>

namespace {

using platform::DirSeparator;

class HelperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gbooHideErrMsg = true;
        env.variables["TEMP"] = logFolder.str();
    }
    void TearDown() override { gbooHideErrMsg = false; }

    // Procedure names of the records written to the error log so far.
    std::vector<std::string> loggedProcedures() const
    {
        std::ifstream in(logFolder.path() / "PORTPROBE_ErrLog.txt", std::ios::binary);
        std::vector<std::string> names;
        std::string line;
        while (std::getline(in, line)) {
            line = platform::fromAnsi(line);
            auto at = line.find(" (PORTPROBE)");
            if (at != std::string::npos) {
                names.push_back(line.substr(0, at));
            }
        }
        return names;
    }

    fakes::TempDir logFolder;
    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
    fakes::RecordingShell shell;
};

TEST(AddBackslash, AppendsTheSeparatorOnlyWhenMissing)
{
    const std::string sep(1, DirSeparator);
    EXPECT_EQ(gAddBackslash(""), sep);
    EXPECT_EQ(gAddBackslash("C:" + sep), "C:" + sep);
    EXPECT_EQ(gAddBackslash("C:" + sep + "Work"), "C:" + sep + "Work" + sep);
}

struct ShellCode
{
    std::int32_t code;
    bool success;
};

void PrintTo(const ShellCode &p, std::ostream *out)
{
    auto &os = *out;
    os << "code " << p.code;
}

class ShellCodeTest : public HelperTest, public ::testing::WithParamInterface<ShellCode>
{ };

TEST_P(ShellCodeTest, FailureCodesGiveFalseWithoutAReport)
{
    shell.answer = GetParam().code;
    EXPECT_EQ(gShellExecute("file.txt", 3), GetParam().success);
    EXPECT_TRUE(loggedProcedures().empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, ShellCodeTest,
    ::testing::Values(ShellCode { 0, false }, ShellCode { 2, false }, ShellCode { 3, false },
        ShellCode { 4, true }, ShellCode { 5, false }, ShellCode { 8, false },
        ShellCode { 11, false }, ShellCode { 25, true }, ShellCode { 26, false },
        ShellCode { 31, false }, ShellCode { 32, false }, ShellCode { 33, true },
        ShellCode { 42, true }, ShellCode { -1, true }));

TEST_F(HelperTest, HelpOpensTheFileBesideTheProgramMaximised)
{
    env.appFolder = "/opt/portprobe";
    EXPECT_TRUE(gDspHelp("index.html"));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(
        shell.opened[0].first, "/opt/portprobe" + std::string(1, DirSeparator) + "index.html");
    EXPECT_EQ(shell.opened[0].second, 3);

    shell.answer = platform::SeErrFileNotFound;
    EXPECT_FALSE(gDspHelp("index.html"));
    EXPECT_EQ(loggedProcedures(), std::vector<std::string> { "gDspHelp" });
}

TEST_F(HelperTest, WebSiteTopPageIsTheAddressWithIndexHtml)
{
    EXPECT_TRUE(gDspHP());
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first.substr(shell.opened[0].first.size() - 11),
        std::string(1, DirSeparator) + "index.html");
    shell.answer = platform::SeErrNoAssociation;
    EXPECT_FALSE(gDspHP());
    EXPECT_EQ(loggedProcedures(), std::vector<std::string> { "gDspHP" });
}

TEST_F(HelperTest, ControlPanelFailureIsReported)
{
    EXPECT_TRUE(gDspControlPanel("sysdm.cpl"));
    EXPECT_EQ(shell.applets, std::vector<std::string> { "sysdm.cpl" });
    shell.controlPanelFailure = "nothing installed";
    EXPECT_FALSE(gDspControlPanel("sysdm.cpl"));
    EXPECT_EQ(loggedProcedures(), std::vector<std::string> { "gDspControlPanel" });
}

TEST_F(HelperTest, TempDirSkipsMissingCandidates)
{
    fakes::TempDir tmp;
    env.variables.clear();
    env.variables["temp"] = (tmp.path() / "gone").string();
    env.variables["tmp"] = tmp.str();
    EXPECT_EQ(gGetWinTempDir(), tmp.str());

    env.variables["tmp"] = "";
    env.windowsTemp = tmp.str();
    EXPECT_EQ(gGetWinTempDir(), tmp.str());

    env.windowsTemp = (tmp.path() / "gone-too").string();
    env.appFolder = (tmp.path() / "app").string();
    // The application folder is taken unchecked; its long form fails and is reported.
    EXPECT_EQ(gGetWinTempDir(), env.appFolder);
}

TEST_F(HelperTest, LongFileNameFailureReportsAndGivesThePathBack)
{
    EXPECT_EQ(gGetLongFileName(logFolder.str()), logFolder.str());
    EXPECT_TRUE(loggedProcedures().empty());
    const std::string missing = (logFolder.path() / "missing").string();
    EXPECT_EQ(gGetLongFileName(missing), missing);
    EXPECT_EQ(loggedProcedures(), std::vector<std::string> { "gGetLongFileName" });
}

struct PlatformText
{
    std::uint32_t id;
    const char *text;
};

void PrintTo(const PlatformText &p, std::ostream *out)
{
    auto &os = *out;
    os << "id " << p.id;
}

class WinVersionTest : public HelperTest, public ::testing::WithParamInterface<PlatformText>
{ };

TEST_P(WinVersionTest, PlatformIdentifierGivesItsText)
{
    version.info.platformId = GetParam().id;
    std::string texts[7];
    ASSERT_TRUE(
        gGetWinVersion(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]));
    EXPECT_EQ(texts[0], GetParam().text);
    EXPECT_EQ(texts[1], "5");
    EXPECT_EQ(texts[2], "1");
    EXPECT_EQ(texts[3], "2600");
    EXPECT_EQ(texts[4], "Service Pack 3");
    EXPECT_EQ(texts[5], "Can'tGet");
    EXPECT_EQ(texts[6], "Can'tGet");
}

INSTANTIATE_TEST_SUITE_P(Identifiers, WinVersionTest,
    ::testing::Values(PlatformText { 0, "Win32s" }, PlatformText { 1, "Windows 95/98/Me" },
        PlatformText { 2, "Windows NT/2000/XP" }, PlatformText { 3, "Unkown" },
        PlatformText { platform::PlatformOther, "Unkown" }));

TEST_F(HelperTest, WinVersionFailureLeavesTheOutsAndReports)
{
    version.fails = true;
    std::string texts[7] = { "a", "b", "c", "d", "e", "f", "g" };
    EXPECT_FALSE(
        gGetWinVersion(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]));
    EXPECT_EQ(texts[0], "a");
    EXPECT_EQ(texts[6], "g");
    EXPECT_EQ(loggedProcedures(), std::vector<std::string> { "gGetWinVersion" });
}

TEST_F(HelperTest, WinVersionReadsTheRegistryValues)
{
    registry.strings["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SubVersionNumber"] = "A";
    registry.strings["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Version"] = "Windows 98";
    std::string texts[7];
    ASSERT_TRUE(
        gGetWinVersion(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]));
    EXPECT_EQ(texts[5], "A");
    EXPECT_EQ(texts[6], "Windows 98");
}

TEST_F(HelperTest, IeVersionWithoutTheKeyIsCantGetThrice)
{
    std::string v = "x", b = "y", vv = "z";
    EXPECT_TRUE(gGetIeVersion(v, b, vv));
    EXPECT_EQ(v, "Can'tGet");
    EXPECT_EQ(b, "Can'tGet");
    EXPECT_EQ(vv, "Can'tGet");
    EXPECT_TRUE(loggedProcedures().empty());
}

TEST_F(HelperTest, IeVersionReadsItsThreeValues)
{
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Version"] = "6.0.2900.5512";
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Build"] = "62900.5512";
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Version Vector\\IE"] = "6.0000";
    std::string v, b, vv;
    EXPECT_TRUE(gGetIeVersion(v, b, vv));
    EXPECT_EQ(v, "6.0.2900.5512");
    EXPECT_EQ(b, "62900.5512");
    EXPECT_EQ(vv, "6.0000");
}

TEST_F(HelperTest, RegValueTypesDefaultsAndBlanks)
{
    const auto lm = platform::RegistryRoot::LocalMachine;
    registry.numbers["K\\One"] = 1;
    registry.strings["K\\Spaces"] = "   ";
    registry.strings["K\\Text"] = "abc\0def";
    EXPECT_EQ(gSetRegValue(lm, "K", "One", 4, RegValue(std::int32_t { -7 })),
        RegValue(std::int32_t { 1 }));
    EXPECT_EQ(gSetRegValue(lm, "K", "Spaces", 1, RegValue(std::string("Can'tGet"))),
        RegValue(std::string()));
    EXPECT_EQ(
        gSetRegValue(lm, "K", "Text", 1, RegValue(std::string("d"))), RegValue(std::string("abc")));
    EXPECT_EQ(gSetRegValue(lm, "K", "Missing", 1, RegValue(std::string("d"))),
        RegValue(std::string("d")));
    EXPECT_EQ(
        gSetRegValue(lm, "K", "One", 2, RegValue(std::string("d"))), RegValue(std::string("d")));
    EXPECT_EQ(gSetRegValue(lm, "Absent", "One", 4, RegValue(std::int32_t { -7 })),
        RegValue(std::int32_t { -7 }));
    // Every opened key is closed again, and opened with mask 63.
    EXPECT_EQ(registry.openCount, registry.closeCount);
    for (auto mask : registry.masks) {
        EXPECT_EQ(mask, 63u);
    }
    EXPECT_TRUE(loggedProcedures().empty());
}

TEST(CodePage, RoundTripsJapaneseAndCountsDoubleBytes)
{
    const std::string text = "ｴﾗｰ：設定ABC\\~";
    const std::string bytes = platform::toAnsi(text);
    EXPECT_EQ(bytes.size(), 3u + 2u + 4u + 5u);
    EXPECT_EQ(platform::fromAnsi(bytes), text);
    EXPECT_EQ(platform::ansiByteLength("あ"), 2);
    EXPECT_EQ(platform::toAnsi("€"), "?");
    EXPECT_EQ(platform::fromAnsi("\x82"), "\xEF\xBF\xBD");
}

} // namespace
