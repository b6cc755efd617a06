// clsIniFile, gGetIniString and gSetIni on real files in a folder of their own.

#include "common/platform_fakes.h"
#include "platform/codepage.h"
#include "platform/profile.h"
#include "platform/profile_engine.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"
#include "support/clsIniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

std::string readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void writeBytes(const fs::path &path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> folderEntries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class IniFileTest : public ::testing::Test
{
protected:
    void SetUp() override { Err().Clear(); }

    clsIniFile open(const fs::path &path, std::string section = "Setting")
    {
        clsIniFile ini;
        ini.FileName(path.string());
        ini.Section(std::move(section));
        return ini;
    }

    fs::path file(const char *name = "setting.ini") const { return temp.path() / name; }

    fakes::TempDir temp;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndNoItems)
{
    clsIniFile ini = open(file());
    std::vector<std::string> list { "kept" };
    EXPECT_EQ(ini.GetString("StrVendorID", "1352"), "1352");
    EXPECT_EQ(ini.GetInteger("n", -5), -5);
    EXPECT_EQ(ini.EmnumSection(list), 0);
    EXPECT_EQ(ini.EnumSectionString(list), 0);
    EXPECT_EQ(list, std::vector<std::string> { "kept" });
    ini.DeleteKeyName("StrVendorID");
    std::string section = "Setting";
    ini.DeleteSection(section);
    EXPECT_FALSE(fs::exists(file())) << "a delete created the file";
}

TEST_F(IniFileTest, FirstWriteCreatesFileAndSectionWithCrLf)
{
    clsIniFile ini = open(file());
    EXPECT_TRUE(ini.SetString("StrVendorID", "12AB"));
    EXPECT_EQ(readBytes(file()), "[Setting]\r\nStrVendorID=12AB\r\n");
    EXPECT_EQ(ini.GetString("StrVendorID", "1352"), "12AB");
    EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string> { "setting.ini" });
}

TEST_F(IniFileTest, ReadsAFileAsWindowsWritesIt)
{
    writeBytes(file(),
        "[Setting]\r\nStrVendorID=12AB\r\nStrPeroductID=100\r\nCount=42\r\n"
        "Empty=\r\n");
    clsIniFile ini = open(file());
    EXPECT_EQ(ini.GetString("StrVendorID", "1352"), "12AB");
    EXPECT_EQ(ini.GetString("strperoductid", "1"), "100");
    EXPECT_EQ(ini.GetString("Empty", "dflt"), "dflt");
    EXPECT_EQ(ini.GetString("Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.GetInteger("Count", 7), 42);
    EXPECT_EQ(ini.GetInteger("Missing", 7), 7);
}

TEST_F(IniFileTest, NegativeIntegerGivesZeroAndTheTopBitWraps)
{
    writeBytes(file(), "[Setting]\r\nn=-1\r\nbig=4294967295\r\n");
    clsIniFile ini = open(file());
    EXPECT_EQ(ini.GetInteger("n", 5), 0);
    EXPECT_EQ(ini.GetInteger("big", 0), -1);
}

TEST_F(IniFileTest, JapaneseValuesTravelInTheCodePage)
{
    const std::string value = "日本語の値・ｶﾅ";
    clsIniFile ini = open(file(), "設定");
    ASSERT_TRUE(ini.SetString("名前", value));
    EXPECT_EQ(readBytes(file()), platform::toAnsi("[設定]\r\n名前=" + value + "\r\n"));
    EXPECT_EQ(ini.GetString("名前", ""), value);
    std::vector<std::string> names;
    ASSERT_EQ(ini.EmnumSection(names), 1);
    EXPECT_EQ(names[0], "設定");
}

TEST_F(IniFileTest, EnumeratesSectionsAndLines)
{
    writeBytes(file(), "; head\r\n[A]\r\nk=1\r\nj = \"2\"\r\nbare\r\n\r\n[B]\r\n[a]\r\nx=9\r\n");
    clsIniFile ini = open(file(), "a");
    std::vector<std::string> names { "0", "1", "2", "3", "4" };
    EXPECT_EQ(ini.EmnumSection(names), 3);
    EXPECT_EQ(names, (std::vector<std::string> { "A", "B", "a" }));
    std::vector<std::string> lines;
    EXPECT_EQ(ini.EnumSectionString(lines), 3);
    EXPECT_EQ(lines, (std::vector<std::string> { "k=1", "j=2", "bare" }));
    ini.Section("B");
    EXPECT_EQ(ini.EnumSectionString(lines), 0);
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(IniFileTest, DeleteSectionWithEmptyArgumentDeletesTheCurrentOne)
{
    writeBytes(file(), "[A]\r\nk=1\r\n[Setting]\r\nx=1\r\n[C]\r\n");
    clsIniFile ini = open(file());
    std::string section;
    ini.DeleteSection(section);
    EXPECT_EQ(section, "Setting");
    EXPECT_EQ(readBytes(file()), "[A]\r\nk=1\r\n[C]\r\n");
    std::string named = "a";
    ini.DeleteSection(named);
    EXPECT_EQ(named, "a");
    EXPECT_EQ(readBytes(file()), "[C]\r\n");
}

TEST_F(IniFileTest, DeleteKeyNameRemovesOnlyThatLine)
{
    writeBytes(file(), "[Setting]\nStrVendorID=1\nStrPeroductID=2\n");
    clsIniFile ini = open(file());
    ini.DeleteKeyName("STRVENDORID");
    EXPECT_EQ(readBytes(file()), "[Setting]\nStrPeroductID=2\n");
}

TEST_F(IniFileTest, LongValuesAreCutToTheBuffer)
{
    const std::string longValue(40000, 'x');
    clsIniFile ini = open(file());
    ASSERT_TRUE(ini.SetString("k", longValue));
    EXPECT_EQ(ini.GetString("k", ""), std::string(clsIniFile::BufferSize - 1, 'x'));

    // 20000 double-byte characters: whole characters only, 32766 bytes.
    std::string wide;
    for (int i = 0; i < 20000; ++i) {
        wide += "あ";
    }
    ASSERT_TRUE(ini.SetString("w", wide));
    std::string got = ini.GetString("w", "");
    EXPECT_EQ(platform::toAnsi(got).size(), clsIniFile::BufferSize - 1);
    EXPECT_EQ(got.find("\xEF\xBF\xBD"), std::string::npos) << "a character was cut in two";
}

TEST_F(IniFileTest, LongSectionListIsCut)
{
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "[section" + std::to_string(10000 + i) + "]\r\n"; // 13 bytes per name
    }
    writeBytes(file(), text);
    clsIniFile ini = open(file());
    std::vector<std::string> names;
    std::int32_t n = ini.EmnumSection(names);
    EXPECT_EQ(n, 32767 / 13 + 1); // the last one cut
    EXPECT_EQ(names.front(), "section10000");
    EXPECT_LT(names.back().size(), 12u);
}

TEST_F(IniFileTest, WriteReplacesTheFileAndKeepsItsPermissions)
{
    writeBytes(file(), "[Setting]\r\nStrVendorID=1\r\n");
    ASSERT_EQ(::chmod(file().c_str(), 0640), 0);
    struct stat before = {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    ASSERT_TRUE(open(file()).SetString("StrVendorID", "2"));
    struct stat after = {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino) << "edited in place instead of replaced";
    EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string> { "setting.ini" });
}

TEST_F(IniFileTest, UnchangedWriteLeavesTheFileAlone)
{
    writeBytes(file(), "[Setting]\nk=v\n");
    struct stat before = {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    ASSERT_TRUE(open(file()).SetString("k", "v"));
    struct stat after = {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

// A write that runs out of room (here: the file-size limit, as a full disk
// would) fails and leaves the old file whole, with no leftovers beside it.
TEST_F(IniFileTest, FailedWriteLeavesTheOldFileIntact)
{
    const std::string original =
        "[Setting]\r\nStrVendorID=1\r\n; " + std::string(3000, 'c') + "\r\n";
    writeBytes(file(), original);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previous = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit small = previous;
    small.rlim_cur = 2048;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = open(file()).SetString("StrVendorID", "2");
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(readBytes(file()), original);
    EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string> { "setting.ini" });
}

TEST_F(IniFileTest, UnwritableFolderOrFileLeavesTheOldFileIntact)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const std::string original = "[Setting]\r\nStrVendorID=1\r\n";
    writeBytes(file(), original);
    ASSERT_EQ(::chmod(temp.path().c_str(), 0555), 0);
    EXPECT_FALSE(open(file()).SetString("StrVendorID", "2"));
    ASSERT_EQ(::chmod(temp.path().c_str(), 0755), 0);
    EXPECT_EQ(readBytes(file()), original);

    ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
    EXPECT_FALSE(open(file()).SetString("StrVendorID", "2"));
    EXPECT_EQ(readBytes(file()), original);
}

TEST_F(IniFileTest, MissingFolderIsNotCreated)
{
    EXPECT_FALSE(open(temp.path() / "no" / "setting.ini").SetString("k", "v"));
    EXPECT_FALSE(fs::exists(temp.path() / "no"));
}

TEST_F(IniFileTest, WritesThroughASymbolicLink)
{
    writeBytes(file("real.ini"), "[Setting]\r\nk=1\r\n");
    fs::create_symlink(file("real.ini"), file());
    ASSERT_TRUE(open(file()).SetString("k", "2"));
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(readBytes(file("real.ini")), "[Setting]\r\nk=2\r\n");
}

TEST_F(IniFileTest, FolderOrFifoInsteadOfAFileReadsAsMissing)
{
    fs::create_directory(file("dir.ini"));
    ASSERT_EQ(::mkfifo(file("fifo.ini").c_str(), 0600), 0);
    for (const char *name : { "dir.ini", "fifo.ini" }) {
        clsIniFile ini = open(file(name));
        std::vector<std::string> list;
        EXPECT_EQ(ini.GetString("k", "d"), "d") << name;
        EXPECT_EQ(ini.EmnumSection(list), 0) << name;
        EXPECT_FALSE(ini.SetString("k", "v")) << name;
    }
}

TEST_F(IniFileTest, BinaryFileNeverBreaksReadersAndKeepsItsBytes)
{
    std::mt19937 random(20260101);
    std::string junk(64 * 1024, '\0');
    for (char &c : junk) {
        c = static_cast<char>(random());
    }
    const std::string original = junk + "\r\n[Setting]\r\nk=7\r\n";
    writeBytes(file(), original);
    clsIniFile ini = open(file());
    std::vector<std::string> list;
    EXPECT_EQ(ini.GetString("k", "d"), "7");
    EXPECT_EQ(ini.GetInteger("k", 0), 7);
    EXPECT_GE(ini.EmnumSection(list), 1);
    EXPECT_EQ(list.back(), "Setting");
    ini.EnumSectionString(list);
    ASSERT_TRUE(ini.SetString("k", "8"));
    EXPECT_EQ(readBytes(file()), junk + "\r\n[Setting]\r\nk=8\r\n");
}

TEST_F(IniFileTest, FileWithoutLineEndsIsOneLine)
{
    const std::string original(2 * 1024 * 1024, 'a');
    writeBytes(file(), original);
    clsIniFile ini = open(file());
    std::vector<std::string> list;
    EXPECT_EQ(ini.GetString("k", "d"), "d");
    EXPECT_EQ(ini.EmnumSection(list), 0);
    ASSERT_TRUE(ini.SetString("k", "v"));
    EXPECT_EQ(readBytes(file()), original + "\r\n[Setting]\r\nk=v\r\n");
}

// A file above the size limit: readers see its complete lines within the
// limit; writers refuse it rather than lose its tail.
TEST_F(IniFileTest, HugeFileIsReadUpToTheLimitAndNeverRewritten)
{
    const std::string head = "[Setting]\r\nk=v\r\n";
    {
        std::ofstream out(file(), std::ios::binary);
        out << head;
        out.seekp(static_cast<std::streamoff>(platform::ini::MaxFileBytes) - 4);
        out << "\r\n[late]\r\nx=1\r\n"; // the limit falls inside "[late]"
    }
    const auto size = fs::file_size(file());
    clsIniFile ini = open(file());
    std::vector<std::string> names;
    EXPECT_EQ(ini.GetString("k", "d"), "v");
    EXPECT_EQ(ini.EmnumSection(names), 1);
    ini.Section("late");
    EXPECT_EQ(ini.GetInteger("x", 5), 5);
    EXPECT_FALSE(ini.SetString("x", "2"));
    EXPECT_EQ(fs::file_size(file()), size);
    EXPECT_EQ(readBytes(file()).substr(0, head.size()), head);
}

// ---- the trapped module functions

class IniFunctionTest : public IniFileTest
{
protected:
    void SetUp() override
    {
        IniFileTest::SetUp();
        env.variables["TEMP"] = temp.str();
        gbooHideErrMsg = false;
    }
    void TearDown() override
    {
        gbooHideErrMsg = false;
        Err().Clear();
    }

    // The procedure named in the one report shown so far.
    std::string reportedProcedure() const
    {
        if (boxes.shown.size() != 1) {
            return "<" + std::to_string(boxes.shown.size()) + " reports>";
        }
        const std::string &text = boxes.shown[0].text;
        auto at = text.find(" (PORTPROBE)でエラーが発生しました。");
        auto start = text.rfind('\n', at);
        return at == std::string::npos ? text : text.substr(start + 1, at - start - 1);
    }

    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
};

TEST_F(IniFunctionTest, WriteThenReadTheSettings)
{
    const std::string path = file().string();
    EXPECT_EQ(gGetIniString(path, "Setting", "StrVendorID", "1352"), "1352");
    EXPECT_TRUE(gSetIni(path, "Setting", "StrVendorID", "12AB"));
    EXPECT_TRUE(gSetIni(path, "Setting", "StrPeroductID", "100"));
    EXPECT_EQ(gGetIniString(path, "Setting", "StrVendorID", "1352"), "12AB");
    EXPECT_EQ(readBytes(file()), "[Setting]\r\nStrVendorID=12AB\r\nStrPeroductID=100\r\n");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(IniFunctionTest, EmptyValueGivesTheDefault)
{
    writeBytes(file(), "[Setting]\r\nStrVendorID=   \r\n");
    EXPECT_EQ(gGetIniString(file().string(), "Setting", "StrVendorID", "1352"), "1352");
}

TEST_F(IniFunctionTest, FailedWriteAnswersFalseWithoutAReport)
{
    EXPECT_FALSE(gSetIni((temp.path() / "no" / "x.ini").string(), "Setting", "k", "v"));
    EXPECT_TRUE(boxes.shown.empty());
}

// A profile service whose every call raises, to see the traps work.
class RaisingProfile final : public platform::Profile
{
public:
    std::uint32_t getString(platform::ProfileText, platform::ProfileText, platform::ProfileText,
        std::span<char>, std::string_view) override
    {
        Err().Raise(vberr::DeviceIOError);
    }
    bool writeString(platform::ProfileText, platform::ProfileText, platform::ProfileText,
        std::string_view) override
    {
        Err().Raise(vberr::PermissionDenied);
    }
    std::uint32_t getInt(
        std::string_view, std::string_view, std::int32_t, std::string_view) override
    {
        Err().Raise(vberr::DeviceIOError);
    }
    std::uint32_t getSection(std::string_view, std::span<char>, std::string_view) override
    {
        Err().Raise(vberr::DeviceIOError);
    }
    std::uint32_t getSectionNames(std::span<char>, std::string_view) override
    {
        Err().Raise(vberr::DeviceIOError);
    }
};

TEST_F(IniFunctionTest, ClassLetsPlatformErrorsThrough)
{
    RaisingProfile raising;
    platform::ScopedSeam<platform::Profile> guard(raising);
    clsIniFile ini = open(file());
    std::vector<std::string> list;
    EXPECT_THROW(ini.GetString("k", "d"), RuntimeError);
    EXPECT_THROW(ini.GetInteger("k", 1), RuntimeError);
    EXPECT_THROW(ini.SetString("k", "v"), RuntimeError);
    EXPECT_THROW(ini.EmnumSection(list), RuntimeError);
    EXPECT_THROW(ini.EnumSectionString(list), RuntimeError);
    EXPECT_THROW(ini.DeleteKeyName("k"), RuntimeError);
    std::string section;
    EXPECT_THROW(ini.DeleteSection(section), RuntimeError);
}

TEST_F(IniFunctionTest, ReadTrapReportsAndGivesTheDefault)
{
    RaisingProfile raising;
    platform::ScopedSeam<platform::Profile> guard(raising);
    EXPECT_EQ(gGetIniString(file().string(), "Setting", "StrVendorID", "1352"), "1352");
    EXPECT_EQ(reportedProcedure(), "gGetIniString");
    EXPECT_EQ(Err().Number, 0);
}

TEST_F(IniFunctionTest, WriteTrapReportsAndAnswersFalse)
{
    RaisingProfile raising;
    platform::ScopedSeam<platform::Profile> guard(raising);
    EXPECT_FALSE(gSetIni(file().string(), "Setting", "StrVendorID", "12AB"));
    EXPECT_EQ(reportedProcedure(), "gSetIni");
}

} // namespace
