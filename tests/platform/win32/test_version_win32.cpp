#include "platform/version.h"

#include <gtest/gtest.h>

namespace {

TEST(GetVersionEx, ReportsAWindowsNtSystem)
{
    platform::OsVersionInfo info;
    info.csdVersion = "left over";
    ASSERT_TRUE(platform::versionInfo().getVersionEx(info));
    EXPECT_EQ(info.platformId, platform::PlatformWin32NT);
    EXPECT_GE(info.majorVersion, 5u);
    EXPECT_GT(info.buildNumber, 0u);
    EXPECT_NE(info.csdVersion, "left over");
}

} // namespace
