// Cases only the hidraw backend has: sysfs entries, node access, report IDs.

#include "hid_rigs_hidraw.h"
#include "link_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class HidrawLinkTest : public LinkTestBase, public ::testing::Test
{
protected:
    rigs::HidrawRig rig;
    platform::ScopedSeam<platform::HidApi> seam { rig.api() };
};

TEST_F(HidrawLinkTest, SearchOpensOnlyTheMatchingNode)
{
    rig.addBoard();
    rig.denyAccess(0);
    rig.addBoardWith({}, rigs::descriptorFor(9, 9), "garbage");
    for (std::uint16_t product : { 0x0200, 0x0201, 0x0202 }) {
        rig.addBoard({ .productId = product });
    }
    rig.addBoard();
    ASSERT_TRUE(gUSBIO_WriteP1(5));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.opens(i), 0u) << i;
    }
    EXPECT_EQ(rig.opens(5), 2u);
    EXPECT_THAT(state().DevicePath, HasSubstr("hidraw5"));
}

TEST_F(HidrawLinkTest, NumberedReportsKeepTheirIdByte)
{
    // Report ID 1 both ways, 8 data bytes: hidraw hands out the ID itself.
    const std::vector<std::uint8_t> d { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x75,
        0x08, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0 };
    rig.addBoardWith({}, d, {}, 1);
    rig.withBoard(0, [](platform::sim::SimBoard &b) { b.setPort0(0x42); });
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 0x42);
    EXPECT_THAT(state().InputReportBuffer, ElementsAre(1, 3, 0x42, 0, 0, 0, 0, 0, 0));
}

} // namespace
