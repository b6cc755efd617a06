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

namespace {

struct Call
{
    std::string label;
    std::uint32_t code;
};

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
            calls_.push_back({ std::string(label), code });
        });
    }
    void TearDown() override
    {
        usbio::SetTraceSink(nullptr);
        gUSBIO_Close();
        usbio::ResetState();
        gbooHideErrMsg = false;
    }

    std::vector<std::string> labels() const
    {
        std::vector<std::string> out;
        for (const auto &call : calls_) {
            out.push_back(call.label);
        }
        return out;
    }
    long count(const std::string &label) const
    {
        return std::count_if(
            calls_.begin(), calls_.end(), [&](const Call &call) { return call.label == label; });
    }

    std::vector<Call> calls_;
};

TEST_F(RealHid, SearchForTheDefaultIdsFindsNothing)
{
    EXPECT_FALSE(usbio::FindDevice());
    const auto &state = usbio::State();
    EXPECT_FALSE(state.DeviceDetected);
    EXPECT_TRUE(state.EnumerationEnded);

    // The whole path ran: class devices, enumeration to its end, destroy.
    ASSERT_GE(calls_.size(), 4u);
    EXPECT_EQ(calls_[0].label, "GetHidGuid");
    EXPECT_EQ(calls_[1].label, "SetupDiClassDevs");
    EXPECT_EQ(calls_.back().label, "DestroyDeviceInfoList");
    EXPECT_EQ(calls_.back().code, 0u) << "destroying the set succeeds";
    const Call &lastEnum = calls_[calls_.size() - 2];
    EXPECT_EQ(lastEnum.label, "SetupDiEnumDeviceInterfaces");
    EXPECT_EQ(lastEnum.code, 259u) << "ERROR_NO_MORE_ITEMS ends the enumeration";

    // Every interface examined was opened; each one that opened (the system
    // keeps some, such as keyboards, to itself) was read and closed again.
    long examined = count("SetupDiEnumDeviceInterfaces") - 1;
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

TEST_F(RealHid, PortOperationsFailWithoutABoard)
{
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(gUSBIO_WriteP1(5));
    EXPECT_THAT(labels(), ::testing::Not(Contains("WriteFile")));
    EXPECT_THAT(labels(), ::testing::Not(Contains("ReadFile")));
    EXPECT_FALSE(usbio::State().DeviceDetected);
    EXPECT_EQ(Err().Number, 0);
}

TEST_F(RealHid, CloseOnAClosedLinkClosesNothing)
{
    EXPECT_FALSE(gUSBIO_Close());
    EXPECT_FALSE(gUSBIO_Close());
    EXPECT_THAT(labels(), ::testing::Not(Contains("CloseHandle (HIDHandle)")));
}

} // namespace
