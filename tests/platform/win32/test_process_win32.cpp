#include "platform/process.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

using platform::process;

constexpr UINT TestMessage = WM_APP + 7;

bool queueHolds(UINT message)
{
    MSG msg {};
    return ::PeekMessageA(&msg, nullptr, message, message, PM_NOREMOVE) != FALSE;
}

TEST(DoEvents, DispatchesWhatIsWaiting)
{
    ASSERT_TRUE(::PostThreadMessageA(::GetCurrentThreadId(), TestMessage, 1, 2));
    ASSERT_TRUE(queueHolds(TestMessage));
    process().doEvents();
    EXPECT_FALSE(queueHolds(TestMessage));
}

TEST(DoEvents, LeavesTheQuitRequestForTheMessageLoop)
{
    ::PostQuitMessage(3);
    process().doEvents();
    MSG msg {};
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST(Terminate, EndsTheProcessWithTheCode)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(process().terminate(7), ::testing::ExitedWithCode(7), "");
}

} // namespace
