#include "common/platform_fakes.h"
#include "platform/codepage.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_File.h"
#include "support/QuillFunc_REG.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include "platform/linux/registry_store.h"

#include <cstdlib>
#endif

namespace {

using platform::DirSeparator;
using Names = std::vector<std::string>;

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
    Names loggedProcedures() const
    {
        std::ifstream in(logFolder.path() / "PORTPROBE_ErrLog.txt", std::ios::binary);
        Names names;
        for (std::string line; std::getline(in, line);) {
            line = platform::fromAnsi(line);
            if (auto at = line.find(" (PORTPROBE)"); at != std::string::npos) {
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

TEST_F(HelperTest, ShellFailureCodesGiveFalseWithoutAReport)
{
    const std::pair<std::int32_t, bool> codes[] = { { 0, false }, { 2, false }, { 3, false },
        { 4, true }, { 5, false }, { 8, false }, { 11, false }, { 25, true }, { 26, false },
        { 31, false }, { 32, false }, { 33, true }, { 42, true }, { -1, true } };
    for (auto [code, success] : codes) {
        shell.answer = code;
        EXPECT_EQ(gShellExecute("file.txt", 3), success) << code;
    }
    EXPECT_TRUE(loggedProcedures().empty());
}

TEST_F(HelperTest, HelpOpensTheFileBesideTheProgramMaximised)
{
    env.appFolder = "/opt/portprobe";
    EXPECT_TRUE(gDspHelp("index.html"));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, env.appFolder + DirSeparator + "index.html");
    EXPECT_EQ(shell.opened[0].second, 3);

    shell.answer = platform::SeErrFileNotFound;
    EXPECT_FALSE(gDspHelp("index.html"));
    EXPECT_EQ(loggedProcedures(), Names { "gDspHelp" });
}

TEST_F(HelperTest, WebSiteAndControlPanelFailuresAreReported)
{
    EXPECT_TRUE(gDspHP());
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_TRUE(shell.opened[0].first.ends_with(DirSeparator + std::string("index.html")));
    EXPECT_TRUE(gDspControlPanel("sysdm.cpl"));
    EXPECT_EQ(shell.applets, Names { "sysdm.cpl" });
    EXPECT_TRUE(loggedProcedures().empty());

    shell.answer = platform::SeErrNoAssociation;
    shell.controlPanelFailure = "nothing installed";
    EXPECT_FALSE(gDspHP());
    EXPECT_FALSE(gDspControlPanel("sysdm.cpl"));
    EXPECT_EQ(loggedProcedures(), (Names { "gDspHP", "gDspControlPanel" }));
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
    // The application folder is taken unchecked.
    EXPECT_EQ(gGetWinTempDir(), env.appFolder);
}

TEST_F(HelperTest, LongFileNameFailureReportsAndGivesThePathBack)
{
    EXPECT_EQ(gGetLongFileName(logFolder.str()), logFolder.str());
    EXPECT_TRUE(loggedProcedures().empty());
    const std::string missing = (logFolder.path() / "missing").string();
    EXPECT_EQ(gGetLongFileName(missing), missing);
    EXPECT_EQ(loggedProcedures(), Names { "gGetLongFileName" });
}

TEST_F(HelperTest, WinVersionNamesThePlatformAndReadsTheRegistry)
{
    const std::pair<std::uint32_t, const char *> platforms[] = { { 0, "Win32s" },
        { 1, "Windows 95/98/Me" }, { 2, "Windows NT/2000/XP" }, { 3, "Unkown" },
        { platform::PlatformOther, "Unkown" } };
    std::string t[7];
    for (auto [id, text] : platforms) {
        version.info.platformId = id;
        ASSERT_TRUE(gGetWinVersion(t[0], t[1], t[2], t[3], t[4], t[5], t[6]));
        EXPECT_EQ(Names(t, t + 7),
            (Names { text, "5", "1", "2600", "Service Pack 3", "Can'tGet", "Can'tGet" }));
    }
    registry.strings["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SubVersionNumber"] = "A";
    registry.strings["SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Version"] = "Windows 98";
    ASSERT_TRUE(gGetWinVersion(t[0], t[1], t[2], t[3], t[4], t[5], t[6]));
    EXPECT_EQ(t[5], "A");
    EXPECT_EQ(t[6], "Windows 98");
}

TEST_F(HelperTest, WinVersionFailureLeavesTheOutsAndReports)
{
    version.fails = true;
    std::string t[7] = { "a", "b", "c", "d", "e", "f", "g" };
    EXPECT_FALSE(gGetWinVersion(t[0], t[1], t[2], t[3], t[4], t[5], t[6]));
    EXPECT_EQ(Names(t, t + 7), (Names { "a", "b", "c", "d", "e", "f", "g" }));
    EXPECT_EQ(loggedProcedures(), Names { "gGetWinVersion" });
}

TEST_F(HelperTest, IeVersionReadsItsThreeValuesOrIsCantGet)
{
    std::string v = "x", b = "y", vv = "z";
    EXPECT_TRUE(gGetIeVersion(v, b, vv));
    EXPECT_EQ(Names({ v, b, vv }), (Names { "Can'tGet", "Can'tGet", "Can'tGet" }));
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Version"] = "6.0.2900.5512";
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Build"] = "62900.5512";
    registry.strings["SOFTWARE\\Microsoft\\Internet Explorer\\Version Vector\\IE"] = "6.0000";
    EXPECT_TRUE(gGetIeVersion(v, b, vv));
    EXPECT_EQ(Names({ v, b, vv }), (Names { "6.0.2900.5512", "62900.5512", "6.0000" }));
    EXPECT_TRUE(loggedProcedures().empty());
}

TEST_F(HelperTest, RegValueTypesDefaultsAndBlanks)
{
    const auto lm = platform::RegistryRoot::LocalMachine;
    const RegValue number(std::int32_t { -7 }), text(std::string("d"));
    registry.numbers["K\\One"] = 1;
    registry.strings["K\\Spaces"] = "   ";
    registry.strings["K\\Text"] = "abc\0def";
    EXPECT_EQ(gSetRegValue(lm, "K", "One", 4, number), RegValue(std::int32_t { 1 }));
    EXPECT_EQ(gSetRegValue(lm, "K", "Spaces", 1, text), RegValue(std::string()));
    EXPECT_EQ(gSetRegValue(lm, "K", "Text", 1, text), RegValue(std::string("abc")));
    EXPECT_EQ(gSetRegValue(lm, "K", "Missing", 1, text), text);
    EXPECT_EQ(gSetRegValue(lm, "K", "One", 2, text), text);
    EXPECT_EQ(gSetRegValue(lm, "Absent", "One", 4, number), number);
    // Every opened key is closed again, and opened with mask 63.
    EXPECT_EQ(registry.openCount, registry.closeCount);
    EXPECT_EQ(registry.masks, std::vector<std::uint32_t>(registry.masks.size(), 63u));
    EXPECT_TRUE(loggedProcedures().empty());
}

#ifndef _WIN32
// On Linux the console reads the same registry the class library writes: the store.
TEST(RegValueLinux, ReadsTheRegistryStore)
{
    std::string dir = (std::filesystem::temp_directory_path() / "pp-reg-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    platform::RegistryStoreOptions options;
    options.currentUserFile = dir + "/user.db";
    options.localMachineFile = dir + "/machine.db";
    {
        platform::RegistryStore store(options);
        platform::ScopedSeam<platform::Registry> use(store);
        const auto lm = platform::RegistryRoot::LocalMachine;
        auto key = store.create(lm, "SOFTWARE\\PORTPROBE", 63);
        ASSERT_TRUE(key);
        store.setValue(*key, "Version", platform::RegSz, platform::toAnsi("版 1.0") + '\0');
        store.setValue(*key, "Build", platform::RegDword, std::string("\x2A\0\0\0", 4));
        store.close(*key);
        EXPECT_EQ(gSetRegValue(lm, "software\\portprobe", "version", 1, RegValue(std::string())),
            RegValue(std::string("版 1.0")));
        EXPECT_EQ(gSetRegValue(lm, "SOFTWARE\\PORTPROBE", "Build", 4, RegValue(std::int32_t { 0 })),
            RegValue(std::int32_t { 42 }));
    }
    std::filesystem::remove_all(dir);
}
#endif

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
