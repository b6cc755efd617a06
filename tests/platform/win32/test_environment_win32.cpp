#include "platform/environment.h"

#include "common/win32/wine.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

using platform::environment;

class EnvironmentVariable : public ::testing::Test
{
protected:
    static constexpr const char *Name = "PORTPROBE_TEST_VARIABLE";
    void TearDown() override { ::SetEnvironmentVariableA(Name, nullptr); }
};

TEST_F(EnvironmentVariable, IsFoundWhateverTheCaseOfItsName)
{
    ::SetEnvironmentVariableA(Name, "C:\\Work");
    EXPECT_EQ(environment().variable("portprobe_test_variable"), "C:\\Work");
    EXPECT_EQ(environment().variable(Name), "C:\\Work");
}

TEST_F(EnvironmentVariable, MissingIsNotTheSameAsEmpty)
{
    EXPECT_EQ(environment().variable(Name), std::nullopt);
    ::SetEnvironmentVariableA(Name, "");
    EXPECT_EQ(environment().variable(Name), std::string());
}

TEST_F(EnvironmentVariable, LongValueComesBackWhole)
{
    std::string value(5000, 'x');
    value += "end";
    ::SetEnvironmentVariableA(Name, value.c_str());
    EXPECT_EQ(environment().variable(Name), value);
}

TEST_F(EnvironmentVariable, ValueInTheAnsiCodePageComesBackAsUtf8)
{
    if (runningUnderWine()) {
        // Wine 8 copies as many bytes as the value has characters.
        GTEST_SKIP() << "Wine cuts double-byte values in GetEnvironmentVariableA";
    }
    std::string value = "C:\\作業";
    ::SetEnvironmentVariableA(Name, platform::toAnsi(value).c_str());
    EXPECT_EQ(environment().variable(Name), value);
}

TEST(EnvironmentVariableName, EmptyOrWithNulIsNeverSet)
{
    EXPECT_EQ(environment().variable(""), std::nullopt);
    EXPECT_EQ(environment().variable(std::string_view("PATH\0X", 6)), std::nullopt);
}

// A folder with a long name in the temporary folder, removed afterwards.
class LongNamedFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
        char longTemp[MAX_PATH] = {};
        ASSERT_GT(::GetLongPathNameA(temp, longTemp, MAX_PATH), 0u);
        folder_ = std::string(longTemp) + "PortProbe long folder name "
            + std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
    }
    void TearDown() override { ::RemoveDirectoryA(folder_.c_str()); }
    std::string folder_;
};

TEST_F(LongNamedFolder, ShortFormTurnsBackIntoTheLongOne)
{
    char shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA(folder_.c_str(), shortName, MAX_PATH), 0u);
    EXPECT_EQ(environment().longPathName(shortName), folder_);
    EXPECT_TRUE(environment().exists(shortName));
    EXPECT_TRUE(environment().exists(folder_));
}

TEST_F(LongNamedFolder, MissingPathHasNoLongForm)
{
    std::string missing = folder_ + "\\missing";
    EXPECT_FALSE(environment().exists(missing));
    EXPECT_EQ(environment().longPathName(missing), std::nullopt);
    EXPECT_EQ(environment().longPathName(""), std::nullopt);
    EXPECT_FALSE(environment().exists(""));
}

TEST(WindowsFolders, TempFolderOfTheWindowsDirectoryExists)
{
    std::string temp = environment().windowsTempDirectory();
    EXPECT_TRUE(temp.ends_with("\\Temp")) << temp;
    EXPECT_TRUE(environment().exists(temp)) << temp;
}

TEST(WindowsFolders, ApplicationFolderHoldsThisProgram)
{
    std::string folder = environment().applicationFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(environment().exists(folder + "\\platform_win32_tests.exe")) << folder;
}

TEST(WindowsFolders, SeparatorIsTheBackslash)
{
    EXPECT_EQ(platform::DirSeparator, '\\');
}

} // namespace
