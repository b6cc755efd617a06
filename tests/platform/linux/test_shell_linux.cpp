// The Linux stand-ins: xdg-open for ShellExecuteA (a fake one on PATH), and the version.
#include "common/platform_fakes.h"
#include "support/QuillFunc_Common.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

class LinuxShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        ::setenv("PATH", bin.str().c_str(), 1);
        std::ofstream(document()) << "x";
    }
    void TearDown() override { ::setenv("PATH", savedPath_.c_str(), 1); }

    // Writes an executable named @p name that records its arguments and exits with @p code.
    void installProgram(const std::string &name, int code)
    {
        const auto file = bin.path() / name;
        // Written aside and renamed, so a reader never sees the file half written.
        const std::string args = argsFile().string();
        std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << args
                            << ".part' && /bin/mv '" << args << ".part' '" << args << "'\nexit "
                            << code << "\n";
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }

    std::string recordedArgs() const
    {
        // The program may still be writing when a still-running one was taken as started.
        for (int i = 0; i < 1000 && !std::filesystem::exists(argsFile()); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(argsFile());
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    std::filesystem::path argsFile() const { return work.path() / "args.txt"; }
    std::string document() const { return (work.path() / "manual.html").string(); }

    fakes::TempDir bin;
    fakes::TempDir work;
    platform::Shell &shell = platform::Seam<platform::Shell>::defaultInstance();

private:
    std::string savedPath_;
};

TEST_F(LinuxShellTest, ExitCodesMapToShellReturnValues)
{
    EXPECT_EQ(shell.open(document(), 3), platform::SeErrNoAssociation) << "without xdg-open";
    const std::pair<int, std::int32_t> table[] = {
        { 0, platform::SeSuccess },
        { 2, platform::SeErrFileNotFound },
        { 3, platform::SeErrNoAssociation },
        { 4, platform::SeErrNoAssociation },
        { 1, platform::SeErrOutOfMemory },
    };
    for (auto [exitCode, expected] : table) {
        installProgram("xdg-open", exitCode);
        EXPECT_EQ(shell.open(document(), platform::SwShowMaximized), expected) << exitCode;
    }
    EXPECT_EQ(recordedArgs(), document() + "\n");
}

TEST_F(LinuxShellTest, MissingFileAnswersFileNotFoundWithoutStartingAnything)
{
    installProgram("xdg-open", 0);
    EXPECT_EQ(shell.open((work.path() / "missing.txt").string(), 2), platform::SeErrFileNotFound);
    EXPECT_EQ(shell.open("", 2), platform::SeErrFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(argsFile()));
}

TEST_F(LinuxShellTest, AddressesPassUncheckedAndArgumentsAreNotShellWords)
{
    installProgram("xdg-open", 0);
    const std::string address = "https://portprobe.example.org/index.html?a=1&b=$(true)";
    EXPECT_EQ(shell.open(address, 3), platform::SeSuccess);
    EXPECT_EQ(recordedArgs(), address + "\n");
}

TEST_F(LinuxShellTest, ControlPanelStartsAnInstalledSettingsProgram)
{
    EXPECT_FALSE(shell.startControlPanel("sysdm.cpl").empty());
    installProgram("xfce4-settings-manager", 0);
    EXPECT_EQ(shell.startControlPanel("sysdm.cpl"), "");
    EXPECT_EQ(recordedArgs(), "\n");
}

// Linux is none of the Windows platforms and has no registry.
TEST(LinuxPlatform, VersionIsUnknownWithKernelNumbers)
{
    std::string t[7];
    ASSERT_TRUE(gGetWinVersion(t[0], t[1], t[2], t[3], t[4], t[5], t[6]));
    EXPECT_EQ(t[0], "Unkown");
    EXPECT_NE(t[1], "0");
    EXPECT_EQ(t[5], "Can'tGet");
}

} // namespace
