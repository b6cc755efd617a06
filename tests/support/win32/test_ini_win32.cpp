// The INI functions over kernel32's own profile functions and real files.

#include "common/win32/wine.h"
#include "platform/codepage.h"
#include "support/QuillFunc_INI.h"
#include "support/clsIniFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class IniOnWindows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
        file_ = std::string(temp) + "portprobe-" + std::to_string(::GetCurrentProcessId())
            + "-setting.ini";
        ::DeleteFileA(file_.c_str());
    }
    void TearDown() override { ::DeleteFileA(file_.c_str()); }

    std::string contents() const
    {
        std::ifstream in(file_, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    std::string file_;
};

TEST_F(IniOnWindows, WriteCreatesTheFileAndReadsBack)
{
    EXPECT_EQ(gGetIniString(file_, "Setting", "StrVendorID", "1352"), "1352");
    ASSERT_TRUE(gSetIni(file_, "Setting", "StrVendorID", "12AB"));
    EXPECT_EQ(contents(), "[Setting]\r\nStrVendorID=12AB\r\n");
    EXPECT_EQ(gGetIniString(file_, "Setting", "StrVendorID", "1352"), "12AB");
    EXPECT_EQ(gGetIniString(file_, "setting", "strvendorid", "1352"), "12AB");
    // An empty value gives the default; Japanese travels through the code page.
    ASSERT_TRUE(gSetIni(file_, "Setting", "StrPeroductID", ""));
    EXPECT_EQ(gGetIniString(file_, "Setting", "StrPeroductID", "100"), "100");
    ASSERT_TRUE(gSetIni(file_, "Setting", "Name", "ポート"));
    EXPECT_EQ(gGetIniString(file_, "Setting", "Name", ""), "ポート");
}

// File names are the core's UTF-8 paths; the ANSI functions get them in the
// code page.
TEST_F(IniOnWindows, JapaneseFileNameReachesTheFileOfThatName)
{
    if (runningUnderWine()) {
        // Wine maps file names to the host's locale, and the CI host has no
        // Japanese one: it cannot create "ポート" even through CreateFileW.
        GTEST_SKIP() << "Wine here cannot create files with non-ASCII names";
    }
    const std::string name = file_ + "-ポート.ini";
    const std::string ansi = file_ + "-" + platform::toAnsi("ポート") + ".ini";
    ASSERT_TRUE(gSetIni(name, "Setting", "StrVendorID", "12AB"));
    EXPECT_NE(::GetFileAttributesA(ansi.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(gGetIniString(name, "Setting", "StrVendorID", ""), "12AB");
    ::DeleteFileA(ansi.c_str());
}

TEST_F(IniOnWindows, ClassEnumeratesIntegersAndDeletes)
{
    clsIniFile ini;
    ini.FileName(file_);
    ini.Section("A");
    ASSERT_TRUE(ini.SetString("n", "42"));
    ini.Section("B");
    ASSERT_TRUE(ini.SetString("x", "1"));
    std::vector<std::string> sections;
    EXPECT_EQ(ini.EmnumSection(sections), 2);
    EXPECT_EQ(sections, (std::vector<std::string> { "A", "B" }));
    ini.Section("A");
    EXPECT_EQ(ini.GetInteger("n", 7), 42);
    EXPECT_EQ(ini.GetInteger("missing", 7), 7);
    std::string current;
    ini.DeleteSection(current);
    EXPECT_EQ(current, "A");
    EXPECT_EQ(contents(), "[B]\r\nx=1\r\n");
}

} // namespace
