// The xdg-open stand-in for ShellExecuteA, run against a fake xdg-open on PATH.
#include "common/platform_fakes.h"

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
        std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << argsFile().string()
                            << "'\nexit " << code << "\n";
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }

    std::string recordedArgs() const
    {
        // The program may still be writing when a still-running one was taken as started.
        for (int i = 0; i < 200 && !std::filesystem::exists(argsFile()); ++i) {
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

TEST_F(LinuxShellTest, NoXdgOpenIsNoAssociation)
{
    EXPECT_EQ(shell.open(document(), 3), platform::SeErrNoAssociation);
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

} // namespace
