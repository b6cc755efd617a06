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

// The interface records carry the 32-bit sizes (28 and 5); the service makes
// them work with the 64-bit system's own, and refuses any other size.
TEST(Win32Hid, EnumeratesThePresentHidInterfacesWithThe32BitRecordSizes)
{
    platform::HidGuid guid;
    hid().getHidGuid(guid);
    ASSERT_TRUE(guid == platform::HidClassGuid);
    HidHandle set = hid().getClassDevs(guid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, platform::InvalidHidHandle);
    platform::HidInterfaceData data;
    data.cbSize = 3;
    EXPECT_FALSE(hid().enumDeviceInterfaces(set, guid, 0, data));
    for (std::uint32_t index = 0;; ++index) {
        data.cbSize = 28;
        if (!hid().enumDeviceInterfaces(set, guid, index, data)) {
            EXPECT_EQ(hid().getLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        EXPECT_TRUE(data.InterfaceClassGuid == guid);
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

TEST(Win32Hid, MissingDeviceDoesNotOpen)
{
    HidHandle h = hid().createFile("\\\\?\\hid#portprobe_missing", GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    EXPECT_EQ(h, platform::InvalidHidHandle);
    EXPECT_NE(hid().getLastError(), ERROR_SUCCESS);
}

TEST(Win32Hid, EventStartsSignalledAndStaysSoUntilReset)
{
    HidHandle event = hid().createEvent(true, true);
    ASSERT_NE(event, 0);
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(hid().resetEvent(event));
    EXPECT_EQ(hid().waitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(hid().closeHandle(event));
}

TEST(Win32Hid, SystemMessagesEndInCrLfAndUnknownCodesHaveNone)
{
    char buffer[512] = {};
    std::uint32_t n =
        hid().formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, ERROR_ACCESS_DENIED, 0, buffer, 128);
    ASSERT_GT(n, 2u);
    EXPECT_EQ(n, std::strlen(buffer));
    EXPECT_EQ(std::string(buffer + n - 2), "\r\n");
    EXPECT_EQ(hid().formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, 0x2FFFFFFF, 0, buffer, 128), 0u);
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
        const std::string name =
            "\\\\.\\pipe\\portprobe-" + std::to_string(::GetCurrentProcessId());
        server_ = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 64, 64, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        file_ = hid().createFile(name, GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        ASSERT_NE(file_, platform::InvalidHidHandle);
        event_ = hid().createEvent(true, true);
        overlapped_.hEvent = event_;
        std::uint32_t read = 0;
        EXPECT_FALSE(hid().readFile(file_, buffer_, sizeof buffer_, &read, overlapped_));
        EXPECT_EQ(hid().getLastError(), ERROR_IO_PENDING);
        EXPECT_EQ(hid().waitForSingleObject(event_, 0), WAIT_TIMEOUT)
            << "the read resets the event";
    }
    void TearDown() override
    {
        if (file_ != platform::InvalidHidHandle) {
            hid().closeHandle(file_);
        }
        hid().closeHandle(event_);
        ::CloseHandle(server_);
    }

    bool send(std::uint8_t value)
    {
        const std::uint8_t report[9] = { 0, 3, value };
        DWORD written = 0;
        return ::WriteFile(server_, report, sizeof report, &written, nullptr);
    }
    void closeFile()
    {
        EXPECT_TRUE(hid().closeHandle(file_));
        file_ = platform::InvalidHidHandle;
    }

    HANDLE server_ = INVALID_HANDLE_VALUE;
    HidHandle file_ = platform::InvalidHidHandle;
    HidHandle event_ = 0;
    platform::HidOverlapped overlapped_;
    std::uint8_t buffer_[9] = {};
};

TEST_F(OverlappedRead, PendsUntilAReportArrives)
{
    ASSERT_TRUE(send(0xA5));
    EXPECT_EQ(hid().waitForSingleObject(event_, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(buffer_[1], 3);
    EXPECT_EQ(buffer_[2], 0xA5);
    EXPECT_TRUE(hid().resetEvent(event_));
}

TEST_F(OverlappedRead, CancelledReadLeavesTheBufferAlone)
{
    EXPECT_TRUE(hid().cancelIo(file_));
    send(0x5A); // the read has ended: this is not read into the buffer
    EXPECT_EQ(buffer_[1], 0);
    EXPECT_EQ(buffer_[2], 0);
    closeFile();
}

TEST_F(OverlappedRead, ClosingTheHandleEndsAPendingRead)
{
    closeFile();
    EXPECT_EQ(hid().waitForSingleObject(event_, INFINITE), WAIT_OBJECT_0);
}

} // namespace
