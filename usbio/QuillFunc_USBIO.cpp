#include "usbio/QuillFunc_USBIO.h"

#include "support/ErrObject.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

std::int32_t TargetVendorID = 0;
std::int32_t TargetProductID = 0;

namespace QuillFunc_USBIO {
namespace {

using namespace platform::hidconst;
using platform::InvalidHidHandle;

ModuleState gState;
TraceSink gTraceSink;
ReportSink gReportSink;

// Published 32-bit sizes of the records handed to the platform.
constexpr std::uint32_t InterfaceDataSize = 28;
constexpr std::uint32_t DetailHeaderSize = 5;
// The device path in a detail record follows its 4-byte cbSize field.
constexpr std::size_t DetailPathOffset = sizeof(std::uint32_t);
constexpr std::uint32_t AttributesSize = 12;
// A detail record beyond this is not a device path; it is skipped like any
// other interface that cannot be examined.
constexpr std::int32_t MaxDetailSize = 0x10000;

constexpr std::uint32_t ReadWriteAccess = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Closes @p handle unless it is not open, then marks it not open.
void closeTraced(platform::HidHandle &handle, std::string_view label)
{
    if (handle == InvalidHidHandle) {
        return;
    }
    gState.LastApiResult = platform::hid().closeHandle(handle) ? 1 : 0;
    TraceApiResult(label);
    handle = InvalidHidHandle;
}

bool idsMatch(const platform::HidAttributes &attributes)
{
    return IdMatches(TargetVendorID, attributes.VendorID)
        && IdMatches(TargetProductID, attributes.ProductID);
}

/// One interface of the search: its detail record read for the device path,
/// the device opened and its IDs compared. True for a match, with HIDHandle
/// open on it; otherwise nothing stays open.
bool examineInterface(platform::HidApi &hid, const platform::HidInterfaceData &interfaceData)
{
    ModuleState &s = gState;
    std::uint32_t needed = 0;
    s.LastApiResult =
        hid.getDeviceInterfaceDetail(s.DeviceInfoSet, interfaceData, nullptr, 0, &needed);
    s.DetailSize = static_cast<std::int32_t>(needed);
    TraceApiResult("SetupDiGetDeviceInterfaceDetail");
    // A record too small for its own size field, or absurdly large,
    // names no device we could open: not a match.
    if (s.DetailSize >= static_cast<std::int32_t>(DetailHeaderSize)
        && s.DetailSize <= MaxDetailSize) {
        std::vector<std::uint8_t> detail(static_cast<std::size_t>(s.DetailSize) + 1, 0);
        const std::uint32_t header = DetailHeaderSize;
        std::memcpy(detail.data(), &header, sizeof header);
        s.LastApiResult = hid.getDeviceInterfaceDetail(s.DeviceInfoSet, interfaceData,
            detail.data(), static_cast<std::uint32_t>(s.DetailSize), &needed);
        TraceApiResult(" Result of second call: ");
        const char *path = reinterpret_cast<const char *>(detail.data() + DetailPathOffset);
        s.DevicePath.assign(path, strnlen(path, detail.size() - DetailPathOffset));

        s.HIDHandle =
            hid.createFile(s.DevicePath, ReadWriteAccess, ShareReadWrite, OPEN_EXISTING, 0);
        TraceApiResult("CreateFile");
        // An interface that cannot be opened or whose attributes cannot
        // be read is not a match (the record would still hold the IDs
        // of the interface examined before).
        if (s.HIDHandle != InvalidHidHandle) {
            s.DeviceAttributes.Size = AttributesSize;
            s.LastApiResult = hid.getAttributes(s.HIDHandle, s.DeviceAttributes);
            TraceApiResult("HidD_GetAttributes");
            if (s.LastApiResult != 0 && idsMatch(s.DeviceAttributes)) {
                return true;
            }
            closeTraced(s.HIDHandle, "CloseHandle");
        }
    }
    return false;
}

} // namespace

bool IdMatches(std::int32_t target, std::uint16_t id)
{
    return target == static_cast<std::int32_t>(id)
        || target == static_cast<std::int32_t>(static_cast<std::int16_t>(id));
}

ModuleState &State()
{
    return gState;
}

void ResetState()
{
    gState = ModuleState {};
    TargetVendorID = 0;
    TargetProductID = 0;
}

void SetTraceSink(TraceSink sink)
{
    gTraceSink = std::move(sink);
}

void SetReportSink(ReportSink sink)
{
    gReportSink = std::move(sink);
}

void TraceApiResult(std::string_view label)
{
    if (!gTraceSink) {
        return;
    }
    const std::uint32_t code = platform::hid().getLastError();
    gTraceSink(label, code, GetApiErrorText(code));
}

std::string GetApiErrorText(std::uint32_t code)
{
    char buffer[128] = {};
    const std::uint32_t n =
        platform::hid().formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, code, 0, buffer, sizeof buffer);
    if (n > 2 && n <= sizeof buffer) {
        return std::string(buffer, n - 2);
    }
    return {};
}

bool FindDevice()
{
    ModuleState &s = gState;
    platform::HidApi &hid = platform::hid();

    // A wait that failed left the handles open; close them before new ones
    // take their place.
    if (s.HIDHandle != InvalidHidHandle || s.ReadHandle != InvalidHidHandle) {
        CloseHandles();
    }

    s.EnumerationEnded = false;
    s.DeviceDetected = false;
    platform::HidGuid HidGuid;
    hid.getHidGuid(HidGuid);
    TraceApiResult("GetHidGuid");
    s.DeviceInfoSet = hid.getClassDevs(HidGuid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    TraceApiResult("SetupDiClassDevs");

    std::uint32_t MemberIndex = 0;
    do {
        platform::HidInterfaceData interfaceData;
        interfaceData.cbSize = InterfaceDataSize;
        s.LastApiResult =
            hid.enumDeviceInterfaces(s.DeviceInfoSet, HidGuid, MemberIndex, interfaceData);
        TraceApiResult("SetupDiEnumDeviceInterfaces");
        if (s.LastApiResult == 0) {
            s.EnumerationEnded = true;
        } else {
            s.DeviceDetected = examineInterface(hid, interfaceData);
        }
        ++MemberIndex;
    } while (!s.EnumerationEnded && !s.DeviceDetected);

    s.LastApiResult = hid.destroyDeviceInfoList(s.DeviceInfoSet);
    TraceApiResult("DestroyDeviceInfoList");
    s.DeviceInfoSet = InvalidHidHandle;

    if (!s.DeviceDetected) {
        return false;
    }
    ReadCapabilities();
    s.ReadHandle = hid.createFile(
        s.DevicePath, ReadWriteAccess, ShareReadWrite, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
    TraceApiResult("CreateFile, ReadHandle");
    if (s.ReadHandle == InvalidHidHandle) {
        // Without the read handle the link is not open: say so rather than
        // let every read wait out its time.
        CloseHandles();
        return false;
    }
    PrepareOverlappedRead();
    return true;
}

void ReadCapabilities()
{
    ModuleState &s = gState;
    platform::HidApi &hid = platform::hid();
    // Lengths of an earlier device must not survive a failed query.
    s.DeviceCaps = platform::HidCaps {};
    s.PreparsedData = 0;
    s.LastApiResult = hid.getPreparsedData(s.HIDHandle, s.PreparsedData);
    TraceApiResult("HidD_GetPreparsedData");
    if (s.LastApiResult == 0) {
        // Nothing to query or free.
        return;
    }
    s.LastApiResult = hid.getCaps(s.PreparsedData, s.DeviceCaps);
    TraceApiResult("HidP_GetCaps");
    s.LastApiResult = hid.freePreparsedData(s.PreparsedData);
    TraceApiResult("HidD_FreePreparsedData");
    s.PreparsedData = 0;
}

void PrepareOverlappedRead()
{
    ModuleState &s = gState;
    if (s.ReadEvent == 0) {
        s.ReadEvent = platform::hid().createEvent(true, true);
    }
    TraceApiResult("CreateEvent");
    s.ReadOverlapped.Offset = 0;
    s.ReadOverlapped.OffsetHigh = 0;
    s.ReadOverlapped.hEvent = s.ReadEvent;
}

void CloseHandles()
{
    closeTraced(gState.HIDHandle, "CloseHandle (HIDHandle)");
    closeTraced(gState.ReadHandle, "CloseHandle (ReadHandle)");
    gState.DeviceDetected = false;
}

bool WriteReport()
{
    ModuleState &s = gState;
    bool written = false;
    gTrap("QuillFunc_USBIO_WriteReport", [&] {
        const std::size_t L = s.DeviceCaps.OutputReportByteLength;
        std::vector<std::uint8_t> report(L, 0);
        report.at(0) = 0;
        for (std::size_t k = 1; k < L; ++k) {
            report[k] = s.CommandBytes.at(k - 1);
        }
        std::uint32_t count = 0;
        s.LastApiResult = platform::hid().writeFile(
            s.HIDHandle, report.data(), static_cast<std::uint32_t>(L), &count);
        written = s.LastApiResult != 0;
        if (gReportSink) {
            gReportSink(ReportDirection::Output, report, written);
        }
    });
    return written;
}

void ReadReport(std::uint32_t waitMs)
{
    ModuleState &s = gState;
    platform::HidApi &hid = platform::hid();
    const std::size_t N = s.DeviceCaps.InputReportByteLength;
    if (N == 0) {
        Err().Raise(vberr::SubscriptOutOfRange);
    }
    s.InputReportBuffer.assign(N, 0);
    // Overlapped: the count comes with completion and is not examined.
    s.LastApiResult = hid.readFile(s.ReadHandle, s.InputReportBuffer.data(),
        static_cast<std::uint32_t>(N), nullptr, s.ReadOverlapped);
    TraceApiResult("ReadFile");
    s.LastApiResult = static_cast<std::int32_t>(hid.waitForSingleObject(s.ReadEvent, waitMs));
    TraceApiResult("WaitForSingleObject");
    const bool arrived = s.LastApiResult == static_cast<std::int32_t>(WAIT_OBJECT_0);
    if (gReportSink) {
        gReportSink(ReportDirection::Input,
            arrived ? std::span<const std::uint8_t>(s.InputReportBuffer)
                    : std::span<const std::uint8_t>(),
            arrived);
    }
    if (arrived) {
        // The report is in the buffer.
    } else if (s.LastApiResult == static_cast<std::int32_t>(WAIT_TIMEOUT)) {
        // The board is taken to be gone.
        s.LastApiResult = hid.cancelIo(s.ReadHandle);
        TraceApiResult("CancelIo");
        closeTraced(s.HIDHandle, "CloseHandle (HIDHandle)");
        closeTraced(s.ReadHandle, "CloseHandle (ReadHandle)");
        s.DeviceDetected = false;
    } else {
        s.DeviceDetected = false;
    }
    hid.resetEvent(s.ReadEvent);
    TraceApiResult("ResetEvent");
}

} // namespace QuillFunc_USBIO

using namespace QuillFunc_USBIO;

bool gUSBIO_ReadP0(std::int16_t &value)
{
    ModuleState &s = State();
    value = 255;
    bool answered = false;
    gTrap("QuillFunc_USBIO_gUSBIO_ReadP0", [&] {
        s.CommandBytes[0] = 3;
        if (!s.DeviceDetected) {
            s.DeviceDetected = FindDevice();
        }
        if (!s.DeviceDetected) {
            return;
        }
        // The whole read, stray reports included, gets ReadTimeoutMs from its
        // first wait on (the write has no limit of its own): each later wait
        // asks only for what is left, and an empty rest times out.
        platform::HidApi &hid = platform::hid();
        std::optional<std::uint64_t> start;
        const auto timeLeft = [&]() -> std::uint32_t {
            const std::uint64_t now = hid.getTickCount64();
            if (!start) {
                start = now;
                return ReadTimeoutMs;
            }
            const std::uint64_t spent = now - *start;
            return spent >= ReadTimeoutMs ? 0u : static_cast<std::uint32_t>(ReadTimeoutMs - spent);
        };
        WriteReport();
        ReadReport(timeLeft());
        int discarded = 0;
        while (s.InputReportBuffer.at(1) != s.CommandBytes[0]) {
            if (!s.DeviceDetected) {
                // The read dropped the link; no later read can succeed.
                return;
            }
            if (++discarded > MaxDiscardedReports) {
                // A board that never echoes the command: give up and search
                // afresh next time.
                CloseHandles();
                return;
            }
            ReadReport(timeLeft());
        }
        value = s.InputReportBuffer.at(2);
        answered = true;
    });
    return answered;
}

bool gUSBIO_WriteP1(std::int16_t value)
{
    ModuleState &s = State();
    if (!s.DeviceDetected) {
        s.DeviceDetected = FindDevice();
    }
    if (!s.DeviceDetected) {
        return false;
    }
    s.CommandBytes[0] = 2;
    if (value < 0 || value > 255) {
        Err().Raise(vberr::Overflow);
    }
    s.CommandBytes[1] = static_cast<std::uint8_t>(value);
    return WriteReport();
}

bool gUSBIO_Close()
{
    CloseHandles();
    return false;
}
