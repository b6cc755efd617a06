// clsIniFile, gGetIniString and gSetIni on real files in a folder of their own.

#include "common/platform_fakes.h"
#include "common/unprivileged.h"
#include "platform/codepage.h"
#include "platform/emulation/profile_engine.h"
#include "platform/environment.h"
#include "platform/linux/writer_leftovers.h"
#include "platform/profile.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"
#include "support/clsIniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

std::string readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void writeBytes(const fs::path &path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

Names folderEntries(const fs::path &folder)
{
    Names names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ino_t inode(const fs::path &path)
{
    struct stat info = {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ino;
}

// What shows that a file was left alone: its bytes, inode and modification time.
std::string fingerprint(const fs::path &path)
{
    struct stat info = {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return readBytes(path) + "|" + std::to_string(info.st_ino) + "|"
        + std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

// The process ID of a process that has ended (and been reaped).
pid_t deadProcessId()
{
    const pid_t dead = ::fork();
    if (dead == 0) {
        ::_exit(0);
    }
    EXPECT_GT(dead, 0);
    EXPECT_EQ(::waitpid(dead, nullptr, 0), dead);
    return dead;
}

// Marks @p path as a temporary file of writer @p mark, as the writers do; an
// errno where the file system keeps no user attributes, else 0.
int markAs(const fs::path &path, const platform::WriterMark &mark)
{
    const std::string text = mark.text();
    return ::setxattr(path.c_str(), platform::WriterMarkAttribute, text.data(), text.size(), 0) == 0
        ? 0
        : errno;
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

TEST_F(IniFileTest, MissingFileFolderOrFifoGiveDefaultsAndNoItems)
{
    fs::create_directory(file("dir.ini"));
    ASSERT_EQ(::mkfifo(file("fifo.ini").c_str(), 0600), 0);
    for (const char *name : { "missing.ini", "dir.ini", "fifo.ini" }) {
        SCOPED_TRACE(name);
        clsIniFile ini = open(file(name));
        Names list { "kept" };
        EXPECT_EQ(ini.GetString("StrVendorID", "1352"), "1352");
        EXPECT_EQ(ini.GetInteger("n", -5), -5);
        EXPECT_EQ(ini.EmnumSection(list), 0);
        EXPECT_EQ(ini.EnumSectionString(list), 0);
        EXPECT_EQ(list, Names { "kept" });
    }
    EXPECT_FALSE(open(file("dir.ini")).SetString("k", "v"));
    EXPECT_FALSE(open(file("fifo.ini")).SetString("k", "v"));
    clsIniFile ini = open(file("missing.ini"));
    ini.DeleteKeyName("StrVendorID");
    std::string section = "Setting";
    ini.DeleteSection(section);
    EXPECT_FALSE(fs::exists(file("missing.ini"))) << "a delete created the file";
}

TEST_F(IniFileTest, ReadsAFileAsWindowsWritesIt)
{
    writeBytes(file(),
        "[Setting]\r\nStrVendorID=12AB\r\nStrPeroductID=100\r\nCount=42\r\nEmpty=  \r\n"
        "n=-1\r\nbig=4294967295\r\n");
    clsIniFile ini = open(file());
    EXPECT_EQ(ini.GetString("StrVendorID", "1352"), "12AB");
    EXPECT_EQ(ini.GetString("strperoductid", "1"), "100");
    EXPECT_EQ(ini.GetString("Empty", "dflt"), "dflt");
    EXPECT_EQ(ini.GetString("Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.GetInteger("Count", 7), 42);
    EXPECT_EQ(ini.GetInteger("Missing", 7), 7);
    // Negative numbers read as zero; the top bit wraps.
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
    Names names;
    EXPECT_EQ(ini.EmnumSection(names), 1);
    EXPECT_EQ(names, Names { "設定" });
}

// File names are the system's bytes; only the contents are in the code page.
TEST_F(IniFileTest, FolderNamesOutsideTheCodePageAreUsedAsTheyAre)
{
    const fs::path folder = temp.path() / platform::toFsPath("josé ポート 😀한");
    fs::create_directory(folder);
    const fs::path path = folder / "setting.ini";
    clsIniFile ini;
    ini.FileName(reinterpret_cast<const char *>(path.u8string().c_str()));
    ini.Section("Setting");
    ASSERT_TRUE(ini.SetString("StrVendorID", "ABCD"));
    EXPECT_EQ(readBytes(path), "[Setting]\r\nStrVendorID=ABCD\r\n");
    EXPECT_EQ(ini.GetString("StrVendorID", ""), "ABCD");
    EXPECT_EQ(folderEntries(temp.path()).size(), 1u);
}

TEST_F(IniFileTest, EnumeratesSectionsAndLines)
{
    writeBytes(file(), "; head\r\n[A]\r\nk=1\r\nj = \"2\"\r\nbare\r\n\r\n[B]\r\n[a]\r\nx=9\r\n");
    clsIniFile ini = open(file(), "a");
    Names names { "0", "1", "2", "3", "4" };
    EXPECT_EQ(ini.EmnumSection(names), 3);
    EXPECT_EQ(names, (Names { "A", "B", "a" }));
    Names lines;
    EXPECT_EQ(ini.EnumSectionString(lines), 3);
    EXPECT_EQ(lines, (Names { "k=1", "j=2", "bare" }));
    ini.Section("B");
    EXPECT_EQ(ini.EnumSectionString(lines), 0);
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(IniFileTest, DeletesKeysAndSectionsAnEmptyArgumentMeaningTheCurrentOne)
{
    writeBytes(file(), "[A]\r\nk=1\r\n[Setting]\r\nx=1\r\nStrVendorID=1\r\n[C]\nk=1\nj=2\n");
    clsIniFile ini = open(file());
    ini.DeleteKeyName("STRVENDORID");
    EXPECT_EQ(readBytes(file()), "[A]\r\nk=1\r\n[Setting]\r\nx=1\r\n[C]\nk=1\nj=2\n");
    std::string section;
    ini.DeleteSection(section);
    EXPECT_EQ(section, "Setting");
    EXPECT_EQ(readBytes(file()), "[A]\r\nk=1\r\n[C]\nk=1\nj=2\n");
    std::string named = "a";
    ini.DeleteSection(named);
    EXPECT_EQ(named, "a");
    EXPECT_EQ(readBytes(file()), "[C]\nk=1\nj=2\n");
}

TEST_F(IniFileTest, LongValuesAndListsAreCutToTheBuffer)
{
    clsIniFile ini = open(file());
    ASSERT_TRUE(ini.SetString("k", std::string(40000, 'x')));
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

    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "[section" + std::to_string(10000 + i) + "]\r\n"; // 13 bytes per name
    }
    writeBytes(file(), text);
    Names names;
    EXPECT_EQ(ini.EmnumSection(names), 32767 / 13 + 1); // the last one cut
    EXPECT_EQ(names.front(), "section10000");
    EXPECT_LT(names.back().size(), 12u);
}

TEST_F(IniFileTest, WriteReplacesTheFileKeepingItsPermissionsUnlessNothingChanged)
{
    writeBytes(file(), "[Setting]\r\nStrVendorID=1\r\n");
    ASSERT_EQ(::chmod(file().c_str(), 0640), 0);
    const ino_t before = inode(file());
    ASSERT_TRUE(open(file()).SetString("StrVendorID", "2"));
    EXPECT_EQ(fs::status(file()).permissions(), fs::perms(0640));
    EXPECT_NE(inode(file()), before) << "edited in place instead of replaced";
    EXPECT_EQ(folderEntries(temp.path()), Names { "setting.ini" });

    const ino_t replaced = inode(file());
    ASSERT_TRUE(open(file()).SetString("StrVendorID", "2"));
    EXPECT_EQ(inode(file()), replaced) << "an unchanged write replaced the file";
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
    EXPECT_EQ(folderEntries(temp.path()), Names { "setting.ini" });
}

// What cannot be written stays as it is: a changed write fails with 70, one
// that changes nothing needs no write and succeeds.
TEST_F(IniFileTest, UnwritableFolderOrFileLeavesTheOldFileIntact)
{
    if (fakes::rerunUnprivileged()) {
        return; // permissions do not bind root: checked as "nobody"
    }
    writeBytes(file(), "[Setting]\r\nStrVendorID=1\r\n");
    const struct
    {
        fs::path target; // made read-only
        mode_t mode;
    } rows[] = { { temp.path(), 0555 }, { file(), 0444 } };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.target);
        const mode_t old = row.target == file() ? 0644 : 0755;
        ASSERT_EQ(::chmod(row.target.c_str(), row.mode), 0);
        const std::string before = fingerprint(file());
        EXPECT_TRUE(gSetIni(file().string(), "Setting", "strvendorid", "1"));
        EXPECT_EQ(gGetIniWriteError(), vberr::None);
        EXPECT_FALSE(gSetIni(file().string(), "Setting", "StrVendorID", "2"));
        EXPECT_EQ(gGetIniWriteError(), vberr::PermissionDenied);
        EXPECT_EQ(fingerprint(file()), before);
        ASSERT_EQ(::chmod(row.target.c_str(), old), 0);
    }
    EXPECT_EQ(folderEntries(temp.path()), Names { "setting.ini" });
}

// The read-only attribute stops even administrators on Windows. A write that
// changes nothing is no write: it succeeds without touching the file, and
// still clears what dead writers left.
TEST_F(IniFileTest, FileWithoutWriteBitsIsNotRewrittenEvenBySuperuser)
{
    writeBytes(file(), "[Setting]\r\nStrVendorID=1\r\nStrPeroductID=100\r\n");
    const pid_t dead = deadProcessId();
    const std::string leftover = "setting.ini.tmp" + std::to_string(dead) + ".0";
    writeBytes(temp.path() / leftover, "half");
    platform::WriterMark gone = *platform::runningWriter(::getpid());
    gone.pid = std::uint64_t(dead);
    if (const int error = markAs(temp.path() / leftover, gone)) {
        GTEST_SKIP() << "no user extended attributes here: " << std::strerror(error);
    }
    ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
    const std::string before = fingerprint(file());

    EXPECT_TRUE(gSetIni(file().string(), "Setting", "StrVendorID", "1"));
    EXPECT_EQ(gGetIniWriteError(), vberr::None);
    EXPECT_TRUE(gSetIni(file().string(), "Setting", "StrPeroductID", "100"));
    EXPECT_EQ(folderEntries(temp.path()), Names { "setting.ini" });

    for (const char *key : { "StrVendorID", "NewKey" }) {
        EXPECT_FALSE(gSetIni(file().string(), "Setting", key, "2")) << key;
        EXPECT_EQ(gGetIniWriteError(), vberr::PermissionDenied) << key;
    }
    EXPECT_EQ(fingerprint(file()), before);
}

// A writer killed between creating its temporary file and the rename leaves
// it behind, marked as its own; the next write removes it once that writer
// has ended (its ID gone, or now another process's). A name proves nothing:
// a user's file named so, unmarked, stays.
TEST_F(IniFileTest, WriteRemovesOnlyMarkedFilesOfEndedWriters)
{
    const pid_t dead = deadProcessId();
    const pid_t parent = ::getppid();
    const auto live = platform::runningWriter(parent);
    ASSERT_TRUE(live);
    platform::WriterMark gone = *live;
    gone.pid = std::uint64_t(dead);
    platform::WriterMark reused = *live;
    reused.started += 1;
    const auto tmp = [](pid_t pid, int n) {
        return "setting.ini.tmp" + std::to_string(pid) + "." + std::to_string(n);
    };
    struct Row
    {
        std::string name;
        std::optional<platform::WriterMark> mark;
        bool stays;
    };
    const Row rows[] = {
        { tmp(dead, 0), gone, false },
        { tmp(parent, 1), reused, false },
        { tmp(parent, 2), *live, true },
        { tmp(dead, 3), std::nullopt, true }, // a user's file
        { tmp(parent, 4), gone, true }, // the mark names another writer
        { "setting.ini.tmpx.0", gone, true },
        { "other.ini.tmp" + std::to_string(dead) + ".0", gone, true },
    };
    Names kept = { "setting.ini" };
    for (const auto &row : rows) {
        writeBytes(temp.path() / row.name, "half");
        if (const int error = row.mark ? markAs(temp.path() / row.name, *row.mark) : 0) {
            GTEST_SKIP() << "no user extended attributes here: " << std::strerror(error);
        }
        if (row.stays) {
            kept.push_back(row.name);
        }
    }
    std::sort(kept.begin(), kept.end());
    ASSERT_TRUE(open(file()).SetString("StrVendorID", "2"));
    EXPECT_EQ(folderEntries(temp.path()), kept);
    char value[80];
    EXPECT_LT(::getxattr(file().c_str(), platform::WriterMarkAttribute, value, sizeof value), 0)
        << "the settings file itself carries no mark";
}

std::string utf16(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// Files with the UTF-16LE byte-order mark are read and written in UTF-16, as
// Windows does; one the code page cannot hold whole is never rewritten.
TEST_F(IniFileTest, Utf16FilesKeepTheirEncoding)
{
    writeBytes(file(), utf16(u"[Setting]\r\nStrVendorID=12AB\r\n名前=ポート\r\n"));
    clsIniFile ini = open(file());
    EXPECT_EQ(ini.GetString("StrVendorID", ""), "12AB");
    EXPECT_EQ(ini.GetString("名前", ""), "ポート");
    ASSERT_TRUE(ini.SetString("StrVendorID", "ABCD"));
    ASSERT_TRUE(ini.SetString("StrPeroductID", "ｶﾅ"));
    EXPECT_EQ(readBytes(file()),
        utf16(u"[Setting]\r\nStrVendorID=ABCD\r\n名前=ポート\r\nStrPeroductID=ｶﾅ\r\n"));

    const std::string outside = utf16(u"[Setting]\r\nk=\U0001F600한\r\n");
    writeBytes(file(), outside);
    EXPECT_EQ(ini.GetString("k", ""), "??");
    EXPECT_FALSE(ini.SetString("k", "v"));
    EXPECT_EQ(readBytes(file()), outside);
}

TEST_F(IniFileTest, WritesThroughASymbolicLink)
{
    writeBytes(file("real.ini"), "[Setting]\r\nk=1\r\n");
    fs::create_symlink(file("real.ini"), file());
    ASSERT_TRUE(open(file()).SetString("k", "2"));
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(readBytes(file("real.ini")), "[Setting]\r\nk=2\r\n");
}

TEST_F(IniFileTest, BinaryFileNeverBreaksReadersAndKeepsItsBytes)
{
    std::mt19937 random(20260101);
    std::string junk(64 * 1024, '\0');
    for (char &c : junk) {
        c = static_cast<char>(random());
    }
    writeBytes(file(), junk + "\r\n[Setting]\r\nk=7\r\n");
    clsIniFile ini = open(file());
    Names list;
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
    Names list;
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
    Names names;
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
    void TearDown() override { Err().Clear(); }

    // The procedures named in the reports shown so far.
    Names reportedProcedures() const
    {
        Names names;
        for (const auto &box : boxes.shown) {
            auto at = box.text.find(" (PORTPROBE)でエラーが発生しました。");
            auto start = box.text.rfind('\n', at) + 1;
            names.push_back(box.text.substr(start, at - start));
        }
        return names;
    }

    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
};

TEST_F(IniFunctionTest, FirstWriteCreatesTheFileWithCrLfAndReadsBack)
{
    const std::string path = file().string();
    EXPECT_EQ(gGetIniString(path, "Setting", "StrVendorID", "1352"), "1352");
    EXPECT_TRUE(gSetIni(path, "Setting", "StrVendorID", "12AB"));
    EXPECT_TRUE(gSetIni(path, "Setting", "StrPeroductID", "100"));
    EXPECT_EQ(gGetIniString(path, "Setting", "StrVendorID", "1352"), "12AB");
    EXPECT_EQ(readBytes(file()), "[Setting]\r\nStrVendorID=12AB\r\nStrPeroductID=100\r\n");
    EXPECT_EQ(folderEntries(temp.path()), Names { "setting.ini" });
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(IniFunctionTest, WriteIntoAMissingFolderAnswersFalseWithoutAReportOrTheFolder)
{
    EXPECT_FALSE(gSetIni((temp.path() / "no" / "x.ini").string(), "Setting", "k", "v"));
    EXPECT_FALSE(fs::exists(temp.path() / "no"));
    EXPECT_TRUE(boxes.shown.empty());
}

// A failed write says why, as the run time's error number.
TEST_F(IniFunctionTest, FailedWriteGivesItsCause)
{
    fs::create_directory(file("dir.ini"));
    ASSERT_EQ(::mkfifo(file("fifo.ini").c_str(), 0600), 0);
    writeBytes(file("big.ini"), std::string(platform::ini::MaxFileBytes + 1, ';'));
    const struct
    {
        fs::path path;
        const char *key;
        std::int32_t error;
    } rows[] = { { temp.path() / "no" / "x.ini", "k", vberr::PathNotFound },
        { file("dir.ini"), "k", vberr::PathFileAccessError },
        { file("fifo.ini"), "k", vberr::PathFileAccessError },
        { file("big.ini"), "k", vberr::PathFileAccessError },
        { file(), "k=", vberr::InvalidProcedureCall }, { file(), "k", vberr::None } };
    for (const auto &row : rows) {
        EXPECT_EQ(gSetIni(row.path.string(), "Setting", row.key, "v"), row.error == 0);
        EXPECT_EQ(gGetIniWriteError(), row.error) << row.path << " " << row.key;
    }

    // Out of room, as on a full disk.
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previous = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit small = previous;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = gSetIni(file().string(), "Setting", "long", std::string(64, 'v'));
    const std::int32_t error = gGetIniWriteError();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, vberr::DiskFull);
}

// A profile service whose every call raises, to see the traps work.
class RaisingProfile final : public platform::Profile
{
    using Text = platform::ProfileText;
    using SV = std::string_view;
    [[noreturn]] static void fail() { Err().Raise(vberr::DeviceIOError); }
    std::uint32_t getString(Text, Text, Text, std::span<char>, SV) override { fail(); }
    bool writeString(Text, Text, Text, SV) override { fail(); }
    std::uint32_t getInt(SV, SV, std::int32_t, SV) override { fail(); }
    std::uint32_t getSection(SV, std::span<char>, SV) override { fail(); }
    std::uint32_t getSectionNames(std::span<char>, SV) override { fail(); }
};

TEST_F(IniFunctionTest, ClassLetsPlatformErrorsThroughAndTheFunctionsTrapThem)
{
    RaisingProfile raising;
    platform::ScopedSeam<platform::Profile> guard(raising);
    clsIniFile ini = open(file());
    Names list;
    std::string section;
    EXPECT_THROW(ini.GetString("k", "d"), RuntimeError);
    EXPECT_THROW(ini.GetInteger("k", 1), RuntimeError);
    EXPECT_THROW(ini.SetString("k", "v"), RuntimeError);
    EXPECT_THROW(ini.EmnumSection(list), RuntimeError);
    EXPECT_THROW(ini.EnumSectionString(list), RuntimeError);
    EXPECT_THROW(ini.DeleteKeyName("k"), RuntimeError);
    EXPECT_THROW(ini.DeleteSection(section), RuntimeError);

    Err().Clear();
    EXPECT_EQ(gGetIniString(file().string(), "Setting", "StrVendorID", "1352"), "1352");
    EXPECT_EQ(Err().Number, 0);
    EXPECT_FALSE(gSetIni(file().string(), "Setting", "StrVendorID", "12AB"));
    EXPECT_EQ(reportedProcedures(), (Names { "gGetIniString", "gSetIni" }));
}

} // namespace
