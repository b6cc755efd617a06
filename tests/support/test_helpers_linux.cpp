#include "support/QuillFunc_Common.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Linux is none of the Windows platforms and has no registry.
TEST(LinuxPlatform, VersionIsUnknownWithKernelNumbers)
{
    std::string texts[7];
    ASSERT_TRUE(
        gGetWinVersion(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]));
    EXPECT_EQ(texts[0], "Unkown");
    EXPECT_NE(texts[1], "0");
    EXPECT_EQ(texts[5], "Can'tGet");
}

} // namespace
