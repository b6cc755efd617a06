#include "platform/sim/sim_board.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace platform::sim {

using namespace hidconst;

// ---------------------------------------------------------------- SimBoard

SimBoard::SimBoard(SimBoardConfig config) : config_(config) { }

void SimBoard::setPort0(std::uint8_t value)
{
    if (value != port0_) {
        port0_ = value;
        changed();
    }
}

void SimBoard::setPort0Bit(int bit, bool high)
{
    if (bit < 0 || bit > 7) {
        return;
    }
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    setPort0(static_cast<std::uint8_t>(high ? (port0_ | mask) : (port0_ & ~mask)));
}

void SimBoard::setPlugged(bool plugged)
{
    if (plugged == plugged_) {
        return;
    }
    plugged_ = plugged;
    unplugCountdown_ = -1;
    // Reports the host has not read are lost with the device.
    pending_.clear();
    changed();
}

bool SimBoard::countOperation()
{
    if (!plugged_) {
        return false;
    }
    if (unplugCountdown_ == 0) {
        setPlugged(false);
        return false;
    }
    if (unplugCountdown_ > 0) {
        --unplugCountdown_;
    }
    return true;
}

bool SimBoard::receiveOutputReport(std::span<const std::uint8_t> report)
{
    if (!plugged_) {
        return false;
    }
    if (received_.size() == 2 * ReceivedReportsKept) {
        // Dropped in halves, so a report costs one move on average.
        received_.erase(received_.begin(), received_.begin() + ReceivedReportsKept);
    }
    received_.emplace_back(report.begin(), report.end());
    const std::uint8_t command = report.size() > 1 ? report[1] : 0;
    const std::uint8_t data = report.size() > 2 ? report[2] : 0;
    usbio_board_ports ports { port0_, port1_ };
    const std::uint8_t value = usbio_board_take(&ports, command, data);
    if (ports.port1 != port1_) {
        port1_ = ports.port1;
        changed();
    }
    if (fault_ == SimFault::NeverAnswers) {
        return true;
    }
    std::vector<std::uint8_t> answer(config_.inputReportByteLength, 0);
    if (answer.size() > 1) {
        answer[1] =
            fault_ == SimFault::WrongEcho ? static_cast<std::uint8_t>(command ^ 0x80) : command;
    }
    if (answer.size() > 2) {
        answer[2] = value;
    }
    pending_.push_back(std::move(answer));
    return true;
}

bool SimBoard::takeInputReport(std::vector<std::uint8_t> &report)
{
    if (pending_.empty()) {
        return false;
    }
    report = std::move(pending_.front());
    pending_.pop_front();
    return true;
}

void SimBoard::queueInputReport(std::vector<std::uint8_t> report)
{
    pending_.push_back(std::move(report));
}

void SimBoard::changed()
{
    if (onChange_) {
        onChange_();
    }
}

// ---------------------------------------------------------------- SimHid

/// A board opened through a file handle.
class SimHid::Device final : public HidDevice
{
public:
    Device(SimHid &hid, SimBoard &board) : hid_(hid), board_(board) { }

    std::uint32_t attributes(HidAttributes &attributes) override
    {
        if (!board_.plugged()) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (board_.fault() == SimFault::AttributesFail) {
            return ERROR_GEN_FAILURE;
        }
        attributes.VendorID = board_.config().vendorId;
        attributes.ProductID = board_.config().productId;
        attributes.VersionNumber = board_.config().versionNumber;
        return ERROR_SUCCESS;
    }

    std::uint32_t caps(HidCaps &caps) override
    {
        if (!board_.plugged()) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        caps = HidCaps {};
        caps.UsagePage = 0xFF00;
        caps.Usage = 0x01;
        caps.InputReportByteLength = board_.config().inputReportByteLength;
        caps.OutputReportByteLength = board_.config().outputReportByteLength;
        return ERROR_SUCCESS;
    }

    std::uint32_t write(const std::uint8_t *buffer, std::uint32_t length) override
    {
        if (!board_.countOperation()) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (board_.fault() == SimFault::WriteFails) {
            return ERROR_GEN_FAILURE;
        }
        if (buffer == nullptr || length < board_.config().outputReportByteLength) {
            return ERROR_INVALID_PARAMETER;
        }
        board_.receiveOutputReport({ buffer, board_.config().outputReportByteLength });
        return ERROR_SUCCESS;
    }

    HidIoResult readReady(const HidReadRequest &request) override
    {
        if (!board_.countOperation()) {
            return HidIoResult::failed(ERROR_DEVICE_NOT_CONNECTED);
        }
        if (board_.fault() != SimFault::WaitFails && take(request)) {
            return HidIoResult::done();
        }
        return HidIoResult::pending();
    }

    HidIoResult wait(const HidReadRequest &request, std::uint32_t milliseconds) override
    {
        if (!board_.plugged()) {
            return HidIoResult::failed(ERROR_DEVICE_NOT_CONNECTED);
        }
        if (board_.fault() == SimFault::WaitFails) {
            return HidIoResult::failed(ERROR_GEN_FAILURE, false);
        }
        if (take(request)) {
            return HidIoResult::done();
        }
        if (board_.dripMilliseconds() != 0 && board_.dripMilliseconds() <= milliseconds) {
            hid_.pass(board_.dripMilliseconds());
            std::vector<std::uint8_t> stray(board_.config().inputReportByteLength, 0);
            if (stray.size() > 1) {
                stray[1] = 0x80;
            }
            board_.queueInputReport(std::move(stray));
            take(request);
            return HidIoResult::done();
        }
        hid_.pass(milliseconds);
        return HidIoResult::pending();
    }

private:
    bool take(const HidReadRequest &request)
    {
        std::vector<std::uint8_t> report;
        if (!board_.takeInputReport(report)) {
            return false;
        }
        const std::size_t n = std::min<std::size_t>(report.size(), request.length);
        std::copy_n(report.begin(), n, request.buffer);
        if (request.read != nullptr) {
            *request.read = static_cast<std::uint32_t>(n);
        }
        return true;
    }

    SimHid &hid_;
    SimBoard &board_;
};

SimHid::SimHid(SimTime time) : time_(time) { }

SimHid::~SimHid()
{
    closeAll();
}

SimBoard &SimHid::addBoard(SimBoardConfig config)
{
    boards_.push_back(std::make_unique<SimBoard>(config));
    opens_.push_back(0);
    return *boards_.back();
}

std::string SimHid::pathOf(std::size_t index) const
{
    const SimBoardConfig &c = boards_.at(index)->config();
    char path[96];
    std::snprintf(path, sizeof path,
        "\\\\?\\hid#vid_%04x&pid_%04x#sim&%zu#{4d1e55b2-f16f-11cf-88cb-001111000030}", c.vendorId,
        c.productId, index);
    return path;
}

std::size_t SimHid::opens(std::size_t index) const
{
    return opens_.at(index);
}

std::vector<HidInterface> SimHid::enumerate()
{
    std::vector<HidInterface> present;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (boards_[i]->plugged()) {
            present.push_back({ pathOf(i),
                boards_[i]->fault() == SimFault::ShortDetail ? std::uint32_t { 4 } : 0 });
        }
    }
    return present;
}

std::unique_ptr<HidDevice> SimHid::open(
    const std::string &path, bool overlapped, std::uint32_t &error)
{
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (pathOf(i) != path) {
            continue;
        }
        if (!boards_[i]->plugged()) {
            break;
        }
        if (boards_[i]->fault() == SimFault::OpenFails
            || (overlapped && boards_[i]->fault() == SimFault::OverlappedOpenFails)) {
            error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        ++opens_[i];
        return std::make_unique<Device>(*this, *boards_[i]);
    }
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

void SimHid::pass(std::uint32_t milliseconds)
{
    elapsedMs_ += milliseconds;
    if (time_ == SimTime::Real) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::uint64_t SimHid::getTickCount64()
{
    if (time_ == SimTime::Real) {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    return elapsedMs_;
}

} // namespace platform::sim
