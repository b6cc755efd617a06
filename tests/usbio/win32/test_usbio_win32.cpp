// The device link on Windows' own SetupAPI and hid.dll. No board is attached
// here (under Wine the HID interfaces are Wine's virtual mouse and keyboard),
// so the whole search runs and finds nothing.

#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace usbio = QuillFunc_USBIO;
using ::testing::Contains;
using ::testing::Not;

namespace {

class RealHid : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gbooHideErrMsg = true;
        Err().Clear();
        usbio::ResetState();
        TargetVendorID = 0x1352;
        TargetProductID = 0x0100;
        usbio::SetTraceSink([this](std::string_view label, std::uint32_t code, std::string_view) {
            labels.emplace_back(label);
            codes.push_back(code);
        });
    }
    void TearDown() override
    {
        usbio::SetTraceSink(nullptr);
        gUSBIO_Close();
        usbio::ResetState();
        gbooHideErrMsg = false;
    }

    long count(const std::string &label) const { return std::ranges::count(labels, label); }

    std::vector<std::string> labels;
    std::vector<std::uint32_t> codes;
};

TEST_F(RealHid, SearchForTheDefaultIdsFindsNothing)
{
    EXPECT_FALSE(usbio::FindDevice());
    const auto &state = usbio::State();
    EXPECT_FALSE(state.DeviceDetected);
    EXPECT_TRUE(state.EnumerationEnded);

    // The whole path ran: class devices, enumeration to its end (ERROR_NO_MORE_ITEMS), destroy.
    ASSERT_GE(labels.size(), 4u);
    EXPECT_EQ(labels[0], "GetHidGuid");
    EXPECT_EQ(labels[1], "SetupDiClassDevs");
    EXPECT_EQ(labels.back(), "DestroyDeviceInfoList");
    EXPECT_EQ(codes.back(), 0u);
    EXPECT_EQ(labels[labels.size() - 2], "SetupDiEnumDeviceInterfaces");
    EXPECT_EQ(codes[codes.size() - 2], 259u);

    // Every interface examined was opened; each one that opened (the system
    // keeps some, such as keyboards, to itself) was read and closed again.
    const long examined = count("SetupDiEnumDeviceInterfaces") - 1;
    RecordProperty("examined", static_cast<int>(examined));
    EXPECT_EQ(count("SetupDiGetDeviceInterfaceDetail"), examined);
    EXPECT_EQ(count("CreateFile"), examined);
    EXPECT_LE(count("HidD_GetAttributes"), examined);
    EXPECT_EQ(count("CloseHandle"), count("HidD_GetAttributes"));
    EXPECT_EQ(count("CreateFile, ReadHandle"), 0);
    if (examined > 0) {
        EXPECT_EQ(state.DevicePath.rfind("\\\\?\\", 0), 0u) << state.DevicePath;
    }
}

TEST_F(RealHid, PortOperationsFailAndCloseClosesNothingWithoutABoard)
{
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(gUSBIO_WriteP1(5));
    EXPECT_FALSE(gUSBIO_Close());
    EXPECT_FALSE(gUSBIO_Close());
    EXPECT_THAT(labels, Not(Contains("ReadFile")));
    EXPECT_THAT(labels, Not(Contains("CloseHandle (HIDHandle)")));
    EXPECT_FALSE(usbio::State().DeviceDetected);
    EXPECT_EQ(Err().Number, 0);
}

} // namespace
