#include "platform/hid.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace platform::hidconst;
using platform::hid;
using platform::HidHandle;

TEST(Win32Hid, GuidIsTheHidClass)
{
    platform::HidGuid guid;
    hid().getHidGuid(guid);
    EXPECT_TRUE(guid == platform::HidClassGuid);
}

// The interface records carry the 32-bit sizes (28 and 5); the service makes
// them work with the 64-bit system's own.
TEST(Win32Hid, EnumeratesThePresentInterfacesWithThe32BitRecordSizes)
{
    HidHandle set =
        hid().getClassDevs(platform::HidClassGuid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, platform::InvalidHidHandle);
    std::uint32_t index = 0;
    for (;; ++index) {
        platform::HidInterfaceData data;
        data.cbSize = 28;
        if (!hid().enumDeviceInterfaces(set, platform::HidClassGuid, index, data)) {
            EXPECT_EQ(hid().getLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        EXPECT_TRUE(data.InterfaceClassGuid == platform::HidClassGuid);
        std::uint32_t needed = 0;
        EXPECT_FALSE(hid().getDeviceInterfaceDetail(set, data, nullptr, 0, &needed));
        EXPECT_EQ(hid().getLastError(), ERROR_INSUFFICIENT_BUFFER);
        ASSERT_GT(needed, 5u);
        std::vector<std::uint8_t> detail(needed + 1, 0);
        const std::uint32_t header = 5;
        std::memcpy(detail.data(), &header, 4);
        EXPECT_TRUE(hid().getDeviceInterfaceDetail(set, data, detail.data(), needed, &needed));
        std::string path(reinterpret_cast<const char *>(detail.data() + 4));
        EXPECT_EQ(path.size() + 5, needed);
        EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u) << path;
    }
    EXPECT_TRUE(hid().destroyDeviceInfoList(set));
}

TEST(Win32Hid, WrongInterfaceRecordSizeIsRefused)
{
    HidHandle set =
        hid().getClassDevs(platform::HidClassGuid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    platform::HidInterfaceData data;
    data.cbSize = 3;
    EXPECT_FALSE(hid().enumDeviceInterfaces(set, platform::HidClassGuid, 0, data));
    hid().destroyDeviceInfoList(set);
}

TEST(Win32Hid, MissingDeviceDoesNotOpen)
{
    HidHandle h = hid().createFile("\\\\?\\hid#portprobe_missing", GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    EXPECT_EQ(h, platform::InvalidHidHandle);
    EXPECT_NE(hid().getLastError(), ERROR_SUCCESS);
}

TEST(Win32Hid, EventStartsSignalledAndResets)
{
    HidHandle event = hid().createEvent(true, true);
    ASSERT_NE(event, 0);
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_OBJECT_0) << "manual reset";
    EXPECT_TRUE(hid().resetEvent(event));
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(hid().closeHandle(event));
}

TEST(Win32Hid, SystemMessagesEndInCrLfAndUnknownCodesHaveNone)
{
    char buffer[128] = {};
    std::uint32_t n = hid().formatMessage(
        FORMAT_MESSAGE_FROM_SYSTEM, ERROR_ACCESS_DENIED, 0, buffer, sizeof buffer);
    ASSERT_GT(n, 2u);
    EXPECT_EQ(n, std::strlen(buffer));
    EXPECT_EQ(std::string(buffer + n - 2), "\r\n");
    EXPECT_EQ(
        hid().formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, 0x2FFFFFFF, 0, buffer, sizeof buffer), 0u);
}

TEST(Win32Hid, MessageWithInsertsIsGivenWithoutArguments)
{
    char buffer[512] = {};
    // ERROR_WRONG_DISK's text has inserts; none are passed.
    EXPECT_GT(hid().formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, 34, 0, buffer, sizeof buffer), 0u);
}

// Overlapped reads through the service, on a named pipe standing in for the
// device: the same ReadFile, events and cancellation.
class OverlappedRead : public ::testing::Test
{
protected:
    void SetUp() override
    {
        name_ = "\\\\.\\pipe\\portprobe-" + std::to_string(::GetCurrentProcessId());
        server_ = ::CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 64, 64, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        file_ = hid().createFile(name_, GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        ASSERT_NE(file_, platform::InvalidHidHandle);
        event_ = hid().createEvent(true, true);
        overlapped_.hEvent = event_;
    }
    void TearDown() override
    {
        if (file_ != platform::InvalidHidHandle) {
            hid().closeHandle(file_);
        }
        hid().closeHandle(event_);
        ::CloseHandle(server_);
    }

    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    HidHandle file_ = platform::InvalidHidHandle;
    HidHandle event_ = 0;
    platform::HidOverlapped overlapped_;
    std::uint8_t buffer_[9] = {};
};

TEST_F(OverlappedRead, PendsUntilAReportArrives)
{
    std::uint32_t read = 0;
    EXPECT_FALSE(hid().readFile(file_, buffer_, sizeof buffer_, &read, overlapped_));
    EXPECT_EQ(hid().getLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(hid().waitForSingleObject(event_, 0), WAIT_TIMEOUT) << "the read resets the event";

    const std::uint8_t report[9] = { 0, 3, 0xA5 };
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(server_, report, sizeof report, &written, nullptr));
    EXPECT_EQ(hid().waitForSingleObject(event_, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(buffer_[1], 3);
    EXPECT_EQ(buffer_[2], 0xA5);
    EXPECT_TRUE(hid().resetEvent(event_));
}

TEST_F(OverlappedRead, CancelledReadLeavesTheBufferAlone)
{
    std::uint32_t read = 0;
    EXPECT_FALSE(hid().readFile(file_, buffer_, sizeof buffer_, &read, overlapped_));
    EXPECT_EQ(hid().waitForSingleObject(event_, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(hid().cancelIo(file_));
    // The read has ended by now: what arrives afterwards is not read into the buffer.
    const std::uint8_t report[9] = { 0, 3, 0x5A };
    DWORD written = 0;
    ::WriteFile(server_, report, sizeof report, &written, nullptr);
    EXPECT_EQ(buffer_[1], 0);
    EXPECT_EQ(buffer_[2], 0);
    EXPECT_TRUE(hid().closeHandle(file_));
    file_ = platform::InvalidHidHandle;
}

TEST_F(OverlappedRead, ClosingTheHandleEndsAPendingRead)
{
    std::uint32_t read = 0;
    EXPECT_FALSE(hid().readFile(file_, buffer_, sizeof buffer_, &read, overlapped_));
    EXPECT_TRUE(hid().closeHandle(file_));
    file_ = platform::InvalidHidHandle;
    EXPECT_EQ(hid().waitForSingleObject(event_, INFINITE), WAIT_OBJECT_0);
}

} // namespace
