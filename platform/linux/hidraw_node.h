#pragma once
// The device-node side of the hidraw backend: /dev/hidrawN opened
// non-blocking on first I/O (so looking at a device opens nothing), reports
// written and read the way Win32 callers expect them, overlapped reads waited
// for with poll(), and errno turned into Win32 error codes.

#include "platform/emulation/hid_emulation.h"
#include "platform/linux/hidraw_sysfs.h"
#include "platform/linux/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace platform::linux_hid {

struct HidrawOptions;

/// An open device node of an interface the backend found.
class HidrawNode final : public HidDevice
{
public:
    /// @p opens counts the nodes opened; @p options outlive the node.
    HidrawNode(const HidrawOptions &options, std::size_t &opens, HidrawInterface device);

    /// Opens the node unless it is open; ERROR_SUCCESS or why it failed.
    std::uint32_t ensureOpen();

    std::uint32_t attributes(HidAttributes &attributes) override;
    std::uint32_t caps(HidCaps &caps) override;
    std::uint32_t write(const std::uint8_t *buffer, std::uint32_t length) override;
    HidIoResult readReady(const HidReadRequest &request) override;
    HidIoResult wait(const HidReadRequest &request, std::uint32_t milliseconds) override;

private:
    bool ensureDescriptor();
    /// One non-blocking read: Done, Pending (nothing queued) or Failed (the device is gone).
    HidIoResult tryRead(const HidReadRequest &request);

    const HidrawOptions &options_;
    std::size_t &opens_;
    HidrawInterface device_;
    UniqueFd fd_;
    bool descriptorRead_ = false;
    HidReportInfo report_;
    std::vector<std::uint8_t> scratch_;
};

/// The end of a wait of a given length; INFINITE never ends.
class Deadline
{
public:
    explicit Deadline(std::uint32_t milliseconds);
    /// Milliseconds left for poll(): -1 for ever, 0 once over.
    int remaining() const;

private:
    using Clock = std::chrono::steady_clock;
    bool forever_;
    Clock::time_point end_;
};

/// @p milliseconds cut to the wait limit of @p options.
std::uint32_t limitedWait(const HidrawOptions &options, std::uint32_t milliseconds);

/// Win32 error code for an errno value of a device call.
std::uint32_t win32ErrorFromErrno(int error);

/// The errno value a Win32 error code stands for: 0 for success, -1 for none.
int errnoFromWin32(std::uint32_t code);

} // namespace platform::linux_hid
