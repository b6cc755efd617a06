// Report lengths from report descriptors, as HidP_GetCaps gives them, and the
// hidraw backend's own parsing of what sysfs and errno tell it.

#include "platform/emulation/hid_descriptor.h"
#include "platform/emulation/usbio_board.h"
#include "platform/linux/hid_hidraw.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using platform::parseHidReportDescriptor;
using Bytes = std::vector<std::uint8_t>;

struct DescriptorCase
{
    const char *name;
    Bytes descriptor;
    bool valid;
    bool numbered;
    int input;
    int output;
    int feature;
};

// Test output names the case, not its raw bytes.
void PrintTo(const DescriptorCase &c, std::ostream *os)
{
    *os << c.name;
}

class DescriptorTest : public ::testing::TestWithParam<DescriptorCase>
{ };

TEST_P(DescriptorTest, LengthsMatchWhatWindowsReports)
{
    const DescriptorCase &c = GetParam();
    const platform::HidReportInfo info = parseHidReportDescriptor(c.descriptor);
    EXPECT_EQ(info.valid, c.valid);
    EXPECT_EQ(info.numbered, c.numbered);
    EXPECT_EQ(info.inputReportByteLength, c.input);
    EXPECT_EQ(info.outputReportByteLength, c.output);
    EXPECT_EQ(info.featureReportByteLength, c.feature);
}

Bytes repeated(std::initializer_list<std::uint8_t> head, Bytes item, std::size_t times,
    std::initializer_list<std::uint8_t> tail)
{
    Bytes out(head);
    for (std::size_t i = 0; i < times; ++i) {
        out.insert(out.end(), item.begin(), item.end());
    }
    out.insert(out.end(), tail);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Descriptors, DescriptorTest,
    ::testing::Values(
        DescriptorCase { "VendorPageEightBytesEachWay",
            { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0 },
            true, false, 9, 9, 0 },
        DescriptorCase { "ReportIdsTakeTheLargestReportOfEachKind",
            { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x85, 0x01, 0x95, 0x04, 0x09,
                0x01, 0x81, 0x02, 0x85, 0x02, 0x95, 0x10, 0x09, 0x02, 0x81, 0x02, 0x85, 0x03, 0x95,
                0x02, 0x09, 0x03, 0x91, 0x02, 0xC0 },
            true, true, 17, 3, 0 },
        DescriptorCase { "BitFieldsRoundUpAndPopRestoresTheGlobals",
            { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x0C, 0x81, 0x02, 0x75,
                0x04, 0x95, 0x01, 0x81, 0x01, 0xA4, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xB4, 0x91,
                0x02, 0xC0 },
            true, false, 7, 2, 0 },
        DescriptorCase { "FeatureOnly", { 0xA1, 0x01, 0x75, 0x08, 0x95, 0x03, 0xB1, 0x02, 0xC0 },
            true, false, 0, 0, 4 },
        DescriptorCase { "ZeroCountReportIsTheIdByteAlone",
            { 0xA1, 0x01, 0x75, 0x08, 0x95, 0x00, 0x81, 0x02, 0xC0 }, true, false, 1, 0, 0 },
        DescriptorCase { "LongItemIsSkipped",
            { 0xFE, 0x02, 0x10, 0xAA, 0xBB, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xC0 },
            true, false, 3, 0, 0 },
        DescriptorCase { "Empty", {}, true, false, 0, 0, 0 },
        DescriptorCase { "HugeCountsSaturate",
            { 0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02,
                0x81, 0x02, 0xC0 },
            true, false, 0xFFFF, 0, 0 },
        DescriptorCase { "TruncatedItem", { 0xA1, 0x01, 0x75 }, false, false, 0, 0, 0 },
        DescriptorCase { "TruncatedLongItem", { 0xFE, 0x05, 0x10, 0x00 }, false, false, 0, 0, 0 },
        DescriptorCase { "PopWithoutPush", { 0xB4, 0xA1, 0x01, 0xC0 }, false, false, 0, 0, 0 },
        DescriptorCase { "PushNeverPopped", { 0xA4, 0xA1, 0x01, 0xC0 }, false, false, 0, 0, 0 },
        DescriptorCase { "EndCollectionWithoutCollection", { 0xC0 }, false, false, 0, 0, 0 },
        DescriptorCase { "CollectionNeverEnded", { 0xA1, 0x01 }, false, false, 0, 0, 0 },
        DescriptorCase { "ReportIdZero", { 0x85, 0x00, 0xA1, 0x01, 0xC0 }, false, false, 0, 0, 0 },
        DescriptorCase {
            "ReportIdAbove255", { 0x86, 0x00, 0x01, 0xA1, 0x01, 0xC0 }, false, false, 0, 0, 0 },
        DescriptorCase { "PushesTooDeep", Bytes(4096, 0xA4), false, false, 0, 0, 0 },
        DescriptorCase { "FourKibibytesOfInputItems",
            repeated({ 0xA1, 0x01, 0x75, 0x08, 0x95, 0x01 }, { 0x81, 0x02 }, 2044, { 0xC0 }), true,
            false, 2045, 0, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

// Every virtual board (the sim, the hidraw stand-ins, the Windows driver) builds its
// descriptor by one function: it must declare the lengths it was asked for.
TEST(HidDescriptor, TheBoardsDescriptorDeclaresTheLengthsAskedFor)
{
    const struct
    {
        unsigned input, output;
    } rows[] = { { 9, 9 }, { 3, 3 }, { 9, 65 }, { 9, 0 }, { 0, 9 }, { 2, 9 } };
    for (const auto &row : rows) {
        Bytes d(USBIO_BOARD_DESCRIPTOR_MAX);
        d.resize(usbio_board_descriptor(row.input, row.output, d.data()));
        const platform::HidReportInfo info = parseHidReportDescriptor(d);
        EXPECT_TRUE(info.valid);
        EXPECT_EQ(info.usagePage, 0xFF00);
        EXPECT_EQ(info.inputReportByteLength, row.input) << row.input << "/" << row.output;
        EXPECT_EQ(info.outputReportByteLength, row.output) << row.input << "/" << row.output;
    }
}

TEST(HidDescriptor, TopLevelUsageIsTheFirstCollectionsUsage)
{
    const Bytes d { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x05, 0x01, 0x09, 0x02, 0xA1, 0x00,
        0xC0, 0xC0 };
    const auto info = parseHidReportDescriptor(d);
    EXPECT_EQ(info.usagePage, 0xFF00);
    EXPECT_EQ(info.usage, 0x01);
}

// ---------------------------------------------------------------- hidraw helpers

struct HidIdCase
{
    const char *uevent;
    bool ok;
    std::uint16_t vendor;
    std::uint16_t product;
};

void PrintTo(const HidIdCase &c, std::ostream *os)
{
    *os << ::testing::PrintToString(c.uevent);
}

class HidIdTest : public ::testing::TestWithParam<HidIdCase>
{ };

TEST_P(HidIdTest, ParsesTheIdsOfTheHidIdLine)
{
    const HidIdCase &c = GetParam();
    std::uint32_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    EXPECT_EQ(platform::linux_hid::parseHidId(c.uevent, bus, vendor, product), c.ok);
    if (c.ok) {
        EXPECT_EQ(vendor, c.vendor);
        EXPECT_EQ(product, c.product);
    }
}

INSTANTIATE_TEST_SUITE_P(Uevents, HidIdTest,
    ::testing::Values(HidIdCase { "DRIVER=hid-generic\nHID_ID=0003:00001352:00000100\nHID_NAME=x\n",
                          true, 0x1352, 0x0100 },
        HidIdCase { "HID_ID=0003:0000FFFF:00008000", true, 0xFFFF, 0x8000 },
        HidIdCase { "HID_ID=0003:00010000:00000100\n", false, 0, 0 },
        HidIdCase { "HID_ID=0003:1352\n", false, 0, 0 },
        HidIdCase { "HID_ID=0003:zz:0100\n", false, 0, 0 },
        HidIdCase { "HID_ID=0003::0100\n", false, 0, 0 },
        HidIdCase { "HID_NAME=HID_ID=0003:1:2\n", false, 0, 0 }, HidIdCase { "", false, 0, 0 }));

TEST(HidrawErrors, ErrnosMapToWindowsCodesWithTheirMessageTexts)
{
    using platform::linux_hid::win32ErrorFromErrno;
    for (int e : { ENODEV, EIO, EPIPE, ECONNRESET }) {
        EXPECT_EQ(win32ErrorFromErrno(e), 1167u) << e;
    }
    EXPECT_EQ(win32ErrorFromErrno(EACCES), 5u);
    EXPECT_EQ(win32ErrorFromErrno(ENOENT), 2u);
    EXPECT_EQ(win32ErrorFromErrno(EINVAL), 87u);

    // Texts end in CR LF like the system's; unknown codes and short buffers get none.
    platform::linux_hid::HidrawOptions options;
    options.sysfsRoot = options.devRoot = "/nonexistent";
    platform::linux_hid::HidrawHid hid(options);
    char buffer[128];
    const std::uint32_t n = hid.formatMessage(0x1000, 1167, 0, buffer, sizeof buffer);
    ASSERT_GT(n, 2u);
    EXPECT_EQ(std::string(buffer, n), "No such device\r\n");
    EXPECT_EQ(hid.formatMessage(0x1000, 424242, 0, buffer, sizeof buffer), 0u);
    EXPECT_EQ(hid.formatMessage(0x1000, 1167, 0, buffer, 4), 0u);
}

} // namespace
