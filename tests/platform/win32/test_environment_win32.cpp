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

TEST_F(EnvironmentVariable, IsFoundWhateverTheCaseOfItsNameAndComesBackWhole)
{
    ::SetEnvironmentVariableA(Name, "C:\\Work");
    EXPECT_EQ(environment().variable("portprobe_test_variable"), "C:\\Work");
    const std::string value = std::string(5000, 'x') + "end";
    ::SetEnvironmentVariableA(Name, value.c_str());
    EXPECT_EQ(environment().variable(Name), value);
}

TEST_F(EnvironmentVariable, MissingOrBadlyNamedIsNotTheSameAsEmpty)
{
    EXPECT_EQ(environment().variable(Name), std::nullopt);
    EXPECT_EQ(environment().variable(""), std::nullopt);
    EXPECT_EQ(environment().variable(std::string_view("PATH\0X", 6)), std::nullopt);
    ::SetEnvironmentVariableA(Name, "");
    EXPECT_EQ(environment().variable(Name), std::string());
}

TEST_F(EnvironmentVariable, ValueInTheAnsiCodePageComesBackAsUtf8)
{
    if (runningUnderWine()) {
        // Wine 8 copies as many bytes as the value has characters.
        GTEST_SKIP() << "Wine cuts double-byte values in GetEnvironmentVariableA";
    }
    const std::string value = "C:\\作業";
    ::SetEnvironmentVariableA(Name, platform::toAnsi(value).c_str());
    EXPECT_EQ(environment().variable(Name), value);
}

TEST(WindowsFolders, ShortFormOfALongNamedFolderTurnsBackIntoTheLongOne)
{
    char temp[MAX_PATH] = {};
    char longTemp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    ASSERT_GT(::GetLongPathNameA(temp, longTemp, MAX_PATH), 0u);
    const std::string folder = std::string(longTemp) + "PortProbe long folder name "
        + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    char shortName[MAX_PATH] = {};
    EXPECT_GT(::GetShortPathNameA(folder.c_str(), shortName, MAX_PATH), 0u);
    EXPECT_EQ(environment().longPathName(shortName), folder);
    EXPECT_TRUE(environment().exists(shortName));
    EXPECT_TRUE(environment().exists(folder));

    const std::string missing = folder + "\\missing";
    EXPECT_FALSE(environment().exists(missing));
    EXPECT_EQ(environment().longPathName(missing), std::nullopt);
    EXPECT_EQ(environment().longPathName(""), std::nullopt);
    EXPECT_FALSE(environment().exists(""));
    ::RemoveDirectoryA(folder.c_str());
}

TEST(WindowsFolders, TempAndApplicationFoldersExist)
{
    const std::string temp = environment().windowsTempDirectory();
    EXPECT_TRUE(temp.ends_with("\\Temp")) << temp;
    EXPECT_TRUE(environment().exists(temp)) << temp;
    const std::string folder = environment().applicationFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(environment().exists(folder + "\\platform_win32_tests.exe")) << folder;
    EXPECT_EQ(platform::DirSeparator, '\\');
}

} // namespace
