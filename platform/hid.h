#pragma once
// The HID class interface of the operating system, one operation per Win32
// call the device link makes (SetupAPI, hid.dll, kernel32), with Win32
// meaning: results, handle values, wait results and error codes are those of
// Windows on every backend, so the device link runs its steps unchanged on
// Linux hidraw, on Windows and against the virtual board.
//
// Backends: linux/hid_hidraw (default on Linux), win32/hid_win32 (default on
// Windows), sim/sim_board (virtual board, installed by tests and the demo).

#include "platform/seam.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace platform {

/// An OS handle (file, event, device information set). Win32 HANDLE values
/// fit; InvalidHidHandle is INVALID_HANDLE_VALUE, 0 is never a valid handle.
using HidHandle = std::intptr_t;
inline constexpr HidHandle InvalidHidHandle = -1;

/// A reference to a device's preparsed HID data (PHIDP_PREPARSED_DATA).
using HidPreparsedData = std::intptr_t;

namespace hidconst {
// SetupDiGetClassDevs flags.
inline constexpr std::uint32_t DIGCF_PRESENT = 0x02;
inline constexpr std::uint32_t DIGCF_DEVICEINTERFACE = 0x10;
// CreateFile.
inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t FILE_FLAG_OVERLAPPED = 0x40000000u;
// WaitForSingleObject.
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
// FormatMessage.
inline constexpr std::uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
// HidP_GetCaps.
inline constexpr std::int32_t HIDP_STATUS_SUCCESS = 0x00110000;
inline constexpr std::int32_t HIDP_STATUS_INVALID_PREPARSED_DATA =
    static_cast<std::int32_t>(0xC0110001u);
// GetLastError codes the backends produce.
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_OPERATION_ABORTED = 995;
inline constexpr std::uint32_t ERROR_IO_PENDING = 997;
inline constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr std::uint32_t ERROR_INVALID_USER_BUFFER = 1784;
} // namespace hidconst

/// GUID (layout of the Win32 GUID).
struct HidGuid
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
};

/// The HID interface class GUID that HidD_GetHidGuid answers.
inline constexpr HidGuid HidClassGuid { 0x4D1E55B2, 0xF16F, 0x11CF,
    { 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30 } };

inline bool operator==(const HidGuid &a, const HidGuid &b)
{
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

/// SP_DEVICE_INTERFACE_DATA. The caller sets cbSize to the published 32-bit
/// value 28; a backend whose native record differs (64-bit Windows: 32)
/// translates.
struct HidInterfaceData
{
    std::uint32_t cbSize = 0;
    HidGuid InterfaceClassGuid;
    std::uint32_t Flags = 0;
    std::uintptr_t Reserved = 0;
};

/// HIDD_ATTRIBUTES. Size is set to 12 by the caller before each query.
struct HidAttributes
{
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

/// HIDP_CAPS. The report byte lengths include the report-ID byte.
struct HidCaps
{
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    std::uint16_t Reserved[17] = {};
    std::uint16_t NumberLinkCollectionNodes = 0;
    std::uint16_t NumberInputButtonCaps = 0;
    std::uint16_t NumberInputValueCaps = 0;
    std::uint16_t NumberInputDataIndices = 0;
    std::uint16_t NumberOutputButtonCaps = 0;
    std::uint16_t NumberOutputValueCaps = 0;
    std::uint16_t NumberOutputDataIndices = 0;
    std::uint16_t NumberFeatureButtonCaps = 0;
    std::uint16_t NumberFeatureValueCaps = 0;
    std::uint16_t NumberFeatureDataIndices = 0;
};

/// OVERLAPPED. hEvent is the event that readFile signals on completion. The
/// record (and the buffer given to readFile) must stay in place until the read
/// has completed, been cancelled, or its handle closed.
struct HidOverlapped
{
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    std::uint32_t Offset = 0;
    std::uint32_t OffsetHigh = 0;
    HidHandle hEvent = 0;
};

/// The HID class services. Every operation sets the calling thread's last
/// error (getLastError) as its Win32 counterpart does.
class HidApi
{
public:
    virtual ~HidApi() = default;

    /// HidD_GetHidGuid.
    virtual void getHidGuid(HidGuid &guid) = 0;

    /// SetupDiGetClassDevsA(guid, no enumerator, no window, flags): a snapshot
    /// of the present interfaces of the class. InvalidHidHandle on failure.
    virtual HidHandle getClassDevs(const HidGuid &guid, std::uint32_t flags) = 0;

    /// SetupDiEnumDeviceInterfaces(set, no device record, guid, index, data).
    /// False with ERROR_NO_MORE_ITEMS past the last interface.
    virtual bool enumDeviceInterfaces(HidHandle deviceInfoSet, const HidGuid &guid,
        std::uint32_t memberIndex, HidInterfaceData &data) = 0;

    /// SetupDiGetDeviceInterfaceDetailA(set, data, detail, detailSize,
    /// requiredSize, no device record). @p detail is nullptr with size 0 for the
    /// size query (false, ERROR_INSUFFICIENT_BUFFER, requiredSize set). Otherwise
    /// its first 4 bytes hold the little-endian cbSize 5 (the published 32-bit
    /// header size; a backend whose native header differs translates) and the
    /// NUL-terminated ANSI device path is written from byte 4 on.
    virtual bool getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
        std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize) = 0;

    /// SetupDiDestroyDeviceInfoList.
    virtual bool destroyDeviceInfoList(HidHandle deviceInfoSet) = 0;

    /// CreateFileA(path, access, share, no security, creation, flags, no
    /// template). flags 0 opens for synchronous I/O, FILE_FLAG_OVERLAPPED for
    /// overlapped reads. InvalidHidHandle on failure.
    virtual HidHandle createFile(const std::string &path, std::uint32_t desiredAccess,
        std::uint32_t shareMode, std::uint32_t creationDisposition,
        std::uint32_t flagsAndAttributes) = 0;

    /// CloseHandle (files and events). Closing a file handle ends any read
    /// pending on it; the read's buffer is not touched afterwards.
    virtual bool closeHandle(HidHandle handle) = 0;

    /// HidD_GetAttributes.
    virtual bool getAttributes(HidHandle device, HidAttributes &attributes) = 0;

    /// HidD_GetPreparsedData.
    virtual bool getPreparsedData(HidHandle device, HidPreparsedData &preparsedData) = 0;

    /// HidP_GetCaps: HIDP_STATUS_SUCCESS or an HIDP_STATUS_ error.
    virtual std::int32_t getCaps(HidPreparsedData preparsedData, HidCaps &caps) = 0;

    /// HidD_FreePreparsedData.
    virtual bool freePreparsedData(HidPreparsedData preparsedData) = 0;

    /// CreateEventA(no security, manualReset, initialState, no name); 0 on failure.
    virtual HidHandle createEvent(bool manualReset, bool initialState) = 0;

    /// WriteFile on a handle opened without overlapped I/O: blocks until the
    /// report is sent. A buffer shorter than the output report fails with
    /// ERROR_INVALID_PARAMETER.
    virtual bool writeFile(HidHandle file, const std::uint8_t *buffer, std::uint32_t length,
        std::uint32_t *written) = 0;

    /// ReadFile of one input report on a handle opened with
    /// FILE_FLAG_OVERLAPPED. Resets overlapped.hEvent, then either completes at
    /// once (true, event signalled) or stays pending (false,
    /// ERROR_IO_PENDING) until the report arrives; the event is signalled then.
    /// The report has the Windows layout: byte 0 is the report ID (0 for a
    /// device without numbered reports).
    virtual bool readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length,
        std::uint32_t *read, HidOverlapped &overlapped) = 0;

    /// WaitForSingleObject on an event: WAIT_OBJECT_0, WAIT_TIMEOUT after
    /// @p milliseconds, or WAIT_FAILED (getLastError says why; a device that
    /// went away while a read was pending gives ERROR_DEVICE_NOT_CONNECTED).
    virtual std::uint32_t waitForSingleObject(HidHandle event, std::uint32_t milliseconds) = 0;

    /// CancelIo: ends the reads pending on @p file; returns once their buffers
    /// are no longer touched.
    virtual bool cancelIo(HidHandle file) = 0;

    /// ResetEvent.
    virtual bool resetEvent(HidHandle event) = 0;

    /// GetTickCount64: milliseconds from a fixed start, never going back. The
    /// device link measures its waits against it.
    virtual std::uint64_t getTickCount64() = 0;

    /// GetLastError of the latest operation.
    virtual std::uint32_t getLastError() = 0;

    /// FormatMessageA(flags, no source, code, languageId, buffer, size, no
    /// inserts): the number of characters stored without the NUL, 0 when the
    /// code has no message or the message does not fit. System messages end in
    /// CR LF.
    virtual std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId,
        std::uint32_t languageId, char *buffer, std::uint32_t size) = 0;
};

template<> HidApi &Seam<HidApi>::defaultInstance();

inline HidApi &hid()
{
    return Seam<HidApi>::get();
}

} // namespace platform
