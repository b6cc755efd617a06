#pragma once
// QuillFunc_USBIO: the device link to the USB-IO board. Finds the board by its
// vendor and product IDs among the present HID interfaces, opens it, sets
// Port1 (command 2) and reads Port0 (command 3). One link per process, opened
// on demand by the port operations and kept open until gUSBIO_Close or a read
// finds the board gone. All platform calls go through platform::hid().

#include "platform/hid.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// Vendor and product ID to search for (the console writes them, the search
/// reads them), compared with a device's IDs by QuillFunc_USBIO::IdMatches.
extern std::int32_t TargetVendorID;
extern std::int32_t TargetProductID;

/// Reads the Port0 inputs. True with @p value 0 to 255; false with 255 when no
/// matching board answered (the failure is logged when it was an error).
bool gUSBIO_ReadP0(std::int16_t &value);

/// Sets the Port1 outputs to @p value. False when no matching board was found
/// or the report could not be written. A value outside 0 to 255 raises an
/// overflow error (RuntimeError 6) to the caller before anything is sent.
bool gUSBIO_WriteP1(std::int16_t value);

/// Closes the link; always false.
bool gUSBIO_Close();

namespace QuillFunc_USBIO {

/// Whether the search takes a device's 16-bit @p id for @p target: the whole
/// 32-bit target is compared with the ID widened either way, so IDs from 8000
/// are found both as typed (FFFF is 65535) and sign-extended (FFFFFFFF); a
/// target beyond 16 bits otherwise matches no device.
bool IdMatches(std::int32_t target, std::uint16_t id);

/// Where the trace hook sends each platform call's label, last error code and
/// its text. Unset (the default), the hook does nothing at all.
using TraceSink =
    std::function<void(std::string_view label, std::uint32_t code, std::string_view text)>;
void SetTraceSink(TraceSink sink);

/// Which way a report travelled.
enum class ReportDirection { Output, Input };
/// Where every report on the wire goes: each output report as written (with
/// whether the write succeeded) and each input report a wait completed. A
/// read that got no report is passed with no bytes and ok false. Unset (the
/// default), nothing is copied or formatted.
using ReportSink =
    std::function<void(ReportDirection direction, std::span<const std::uint8_t> bytes, bool ok)>;
void SetReportSink(ReportSink sink);

/// Echo reports discarded by one read before it gives up.
inline constexpr int MaxDiscardedReports = 256;
/// Time one read may take, its wait for the echo included.
inline constexpr std::uint32_t ReadTimeoutMs = 6000;

/// The module's state; visible for the tests and the error window.
struct ModuleState
{
    bool DeviceDetected = false;
    bool EnumerationEnded = false;
    platform::HidHandle HIDHandle = platform::InvalidHidHandle;
    platform::HidHandle ReadHandle = platform::InvalidHidHandle;
    platform::HidHandle ReadEvent = 0;
    platform::HidOverlapped ReadOverlapped;
    platform::HidCaps DeviceCaps;
    std::string DevicePath;
    platform::HidHandle DeviceInfoSet = platform::InvalidHidHandle;
    platform::HidAttributes DeviceAttributes;
    std::int32_t DetailSize = 0;
    platform::HidPreparsedData PreparsedData = 0;
    std::int32_t LastApiResult = 0;
    std::array<std::uint8_t, 8> CommandBytes {};
    std::vector<std::uint8_t> InputReportBuffer;
};

ModuleState &State();

/// Back to the state at program start, closing nothing: for a test that
/// starts over with a fresh HID service.
void ResetState();

// The module's own procedures, reachable for tests.
bool FindDevice();
void ReadCapabilities();
void PrepareOverlappedRead();
void CloseHandles();
bool WriteReport();
void ReadReport(std::uint32_t waitMs = ReadTimeoutMs);
void TraceApiResult(std::string_view label);
std::string GetApiErrorText(std::uint32_t code);

} // namespace QuillFunc_USBIO
