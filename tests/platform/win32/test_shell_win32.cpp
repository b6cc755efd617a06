#include "platform/shell.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

using platform::shell;

class ShellOpen : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
        folder_ = temp;
        noAssociation_ =
            folder_ + "portprobe-" + std::to_string(::GetCurrentProcessId()) + ".portprobe-none";
        HANDLE file = ::CreateFileA(
            noAssociation_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ::CloseHandle(file);
    }
    void TearDown() override { ::DeleteFileA(noAssociation_.c_str()); }

    std::string folder_;
    std::string noAssociation_;
};

TEST_F(ShellOpen, MissingFileIsAFailure)
{
    std::int32_t result =
        shell().open(folder_ + "portprobe-missing.html", platform::SwShowMaximized);
    EXPECT_EQ(result, platform::SeErrFileNotFound);
}

TEST_F(ShellOpen, FileWithoutAnAssociatedProgramIsAFailure)
{
    EXPECT_EQ(
        shell().open(noAssociation_, platform::SwShowMinimized), platform::SeErrNoAssociation);
}

TEST_F(ShellOpen, NameWithNulNeverReachesTheShell)
{
    EXPECT_EQ(shell().open(std::string_view("C:\\x\0.html", 10), platform::SwShowMaximized),
        platform::SeErrFileNotFound);
}

TEST(ShellControlPanel, StartsTheAppletWithoutWaiting)
{
    EXPECT_EQ(shell().startControlPanel("sysdm.cpl"), "");
}

} // namespace
