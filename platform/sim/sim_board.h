#pragma once
// The virtual USB-IO board and a HID class service that presents any number
// of them. Tests install SimHid through Seam<HidApi>; the demo program does
// the same and drives the board's switches and LEDs from its own window.

#include "platform/emulation/hid_emulation.h"
#include "platform/emulation/usbio_board.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::sim {

/// Scripted misbehaviour of a board.
enum class SimFault {
    None,
    NeverAnswers, ///< output reports are taken, no input report ever comes
    WrongEcho, ///< every answer carries a command byte other than the one sent
    WaitFails, ///< waits on a read of this board answer WAIT_FAILED
    WriteFails, ///< writes fail with ERROR_GEN_FAILURE
    OpenFails, ///< CreateFile fails with ERROR_ACCESS_DENIED
    AttributesFail, ///< HidD_GetAttributes fails
    ShortDetail, ///< the detail size query reports 4 bytes
    OverlappedOpenFails, ///< CreateFile with FILE_FLAG_OVERLAPPED fails with ERROR_ACCESS_DENIED
};

struct SimBoardConfig
{
    std::uint16_t vendorId = USBIO_BOARD_VENDOR_ID;
    std::uint16_t productId = USBIO_BOARD_PRODUCT_ID;
    std::uint16_t versionNumber = USBIO_BOARD_VERSION;
    std::uint16_t inputReportByteLength = USBIO_BOARD_REPORT_LENGTH; ///< report-ID byte included
    std::uint16_t outputReportByteLength = USBIO_BOARD_REPORT_LENGTH;
};

/// The board's behaviour: two ports and a queue of input reports. It knows
/// nothing of handles; SimHid and the hidraw stand-in feed it output reports.
class SimBoard
{
public:
    explicit SimBoard(SimBoardConfig config = {});

    const SimBoardConfig &config() const { return config_; }

    /// Port0: the eight input lines (switches).
    std::uint8_t port0() const { return port0_; }
    void setPort0(std::uint8_t value);
    void setPort0Bit(int bit, bool high);

    /// Port1: the four output lines (LEDs), as last set by command 2.
    std::uint8_t port1() const { return port1_; }

    /// Plugged into the bus. An unplugged board is not enumerated, and every
    /// operation on a handle opened before fails as for a removed device.
    bool plugged() const { return plugged_; }
    void setPlugged(bool plugged);

    /// Unplugs the board after @p operations further reads and writes.
    void unplugAfter(int operations) { unplugCountdown_ = operations; }

    /// While not 0, an input report whose byte 1 echoes no command (0x80)
    /// arrives after every @p milliseconds of waiting for one.
    void dripStrayReports(std::uint32_t milliseconds) { dripMs_ = milliseconds; }
    std::uint32_t dripMilliseconds() const { return dripMs_; }

    SimFault fault() const { return fault_; }
    void setFault(SimFault fault) { fault_ = fault; }

    /// Called after Port1, Port0 or the plug state changed.
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

    /// Device side: takes an output report in the Windows layout (byte 0 the
    /// report ID) and queues the answer. False when the board is unplugged.
    bool receiveOutputReport(std::span<const std::uint8_t> report);

    /// Device side: the next pending input report (Windows layout, the
    /// configured input length), or false when none is pending.
    bool takeInputReport(std::vector<std::uint8_t> &report);
    std::size_t pendingInputReports() const { return pending_.size(); }
    /// Queues an input report as if the board had sent it on its own.
    void queueInputReport(std::vector<std::uint8_t> report);

    /// The output reports received, in order: at least the latest
    /// ReceivedReportsKept; older ones are dropped, so a board that runs for
    /// days (the demo, portprobe-io --virtual watch) does not grow without end.
    const std::vector<std::vector<std::uint8_t>> &receivedReports() const { return received_; }
    static constexpr std::size_t ReceivedReportsKept = 64;

    /// Counts one device operation for unplugAfter; true while still plugged.
    bool countOperation();

private:
    void changed();

    SimBoardConfig config_;
    std::uint8_t port0_ = 0;
    std::uint8_t port1_ = 0;
    bool plugged_ = true;
    int unplugCountdown_ = -1;
    SimFault fault_ = SimFault::None;
    std::uint32_t dripMs_ = 0;
    std::deque<std::vector<std::uint8_t>> pending_;
    std::vector<std::vector<std::uint8_t>> received_;
    std::function<void()> onChange_;
};

/// Backend calls, counted by SimHid.
using SimCall = HidCall;

/// How waits pass time.
enum class SimTime {
    Virtual, ///< a time-out returns at once; the time asked for is recorded
    Real, ///< a time-out blocks for the time asked for (the demo)
};

/// The HID class service over virtual boards, in enumeration order.
class SimHid final : public HidEmulation
{
public:
    explicit SimHid(SimTime time = SimTime::Virtual);
    ~SimHid() override;

    /// Adds a board at the end of the enumeration order.
    SimBoard &addBoard(SimBoardConfig config = {});
    SimBoard &board(std::size_t index) { return *boards_.at(index); }
    std::size_t boardCount() const { return boards_.size(); }

    /// Device path under which board @p index is enumerated.
    std::string pathOf(std::size_t index) const;

    /// The virtual time passed in waits.
    std::uint64_t elapsedMilliseconds() const { return elapsedMs_; }
    /// How many times board @p index was opened.
    std::size_t opens(std::size_t index) const;

    std::uint64_t getTickCount64() override;

protected:
    std::vector<HidInterface> enumerate() override;
    std::unique_ptr<HidDevice> open(
        const std::string &path, bool overlapped, std::uint32_t &error) override;
    void idle(std::uint32_t milliseconds) override { pass(milliseconds); }

private:
    class Device;

    void pass(std::uint32_t milliseconds);

    SimTime time_;
    std::vector<std::unique_ptr<SimBoard>> boards_;
    std::vector<std::size_t> opens_;
    std::uint64_t elapsedMs_ = 0;
};

} // namespace platform::sim
