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
    received_.emplace_back(report.begin(), report.end());
    const std::uint8_t command = report.size() > 1 ? report[1] : 0;
    const std::uint8_t data = report.size() > 2 ? report[2] : 0;
    std::uint8_t value = 0;
    if (command == 2) {
        const auto port1 = static_cast<std::uint8_t>(data & 0x0F);
        if (port1 != port1_) {
            port1_ = port1;
            changed();
        }
        value = port1_;
    } else if (command == 3) {
        value = port0_;
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

SimHid::SimHid(SimTime time) : time_(time) { }

SimHid::~SimHid() = default;

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

std::size_t SimHid::openFileHandles() const
{
    return static_cast<std::size_t>(std::count_if(objects_.begin(), objects_.end(),
        [](auto &o) { return o.second.kind == Object::Kind::File; }));
}

std::size_t SimHid::opens(std::size_t index) const
{
    return opens_.at(index);
}

HidHandle SimHid::add(Object object)
{
    const HidHandle handle = nextHandle_;
    nextHandle_ += 4;
    objects_.emplace(handle, std::move(object));
    return handle;
}

SimHid::Object *SimHid::find(HidHandle handle, Object::Kind kind)
{
    auto it = objects_.find(handle);
    if (it == objects_.end() || it->second.kind != kind) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &it->second;
}

bool SimHid::fail(std::uint32_t error)
{
    lastError_ = error;
    return false;
}

void SimHid::getHidGuid(HidGuid &guid)
{
    count(SimCall::GetHidGuid);
    guid = HidClassGuid;
}

HidHandle SimHid::getClassDevs(const HidGuid &guid, std::uint32_t flags)
{
    count(SimCall::GetClassDevs);
    Object set;
    set.kind = Object::Kind::InfoSet;
    if (guid == HidClassGuid && (flags & DIGCF_DEVICEINTERFACE) != 0) {
        for (std::size_t i = 0; i < boards_.size(); ++i) {
            if (boards_[i]->plugged()) {
                set.members.push_back(i);
            }
        }
    }
    lastError_ = ERROR_SUCCESS;
    return add(std::move(set));
}

bool SimHid::enumDeviceInterfaces(
    HidHandle deviceInfoSet, const HidGuid &guid, std::uint32_t memberIndex, HidInterfaceData &data)
{
    count(SimCall::EnumDeviceInterfaces);
    Object *set = find(deviceInfoSet, Object::Kind::InfoSet);
    if (set == nullptr) {
        return false;
    }
    if (memberIndex >= set->members.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    data.InterfaceClassGuid = guid;
    data.Flags = 1; // SPINT_ACTIVE
    data.Reserved = set->members[memberIndex] + 1;
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
    std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize)
{
    count(SimCall::GetDeviceInterfaceDetail);
    if (find(deviceInfoSet, Object::Kind::InfoSet) == nullptr) {
        return false;
    }
    if (data.Reserved == 0 || data.Reserved > boards_.size()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::size_t index = data.Reserved - 1;
    const std::string path = pathOf(index);
    const auto needed = boards_[index]->fault() == SimFault::ShortDetail
        ? std::uint32_t { 4 }
        : static_cast<std::uint32_t>(4 + path.size() + 1);
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    if (const std::uint32_t error = fillInterfaceDetail(path, needed, detail, detailSize);
        error != ERROR_SUCCESS) {
        return fail(error);
    }
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::destroyDeviceInfoList(HidHandle deviceInfoSet)
{
    count(SimCall::DestroyDeviceInfoList);
    if (find(deviceInfoSet, Object::Kind::InfoSet) == nullptr) {
        return false;
    }
    objects_.erase(deviceInfoSet);
    lastError_ = ERROR_SUCCESS;
    return true;
}

HidHandle SimHid::createFile(const std::string &path, std::uint32_t, std::uint32_t, std::uint32_t,
    std::uint32_t flagsAndAttributes)
{
    count(SimCall::CreateFile);
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (pathOf(i) != path) {
            continue;
        }
        if (!boards_[i]->plugged()) {
            break;
        }
        const bool overlapped = (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
        if (boards_[i]->fault() == SimFault::OpenFails
            || (overlapped && boards_[i]->fault() == SimFault::OverlappedOpenFails)) {
            fail(ERROR_ACCESS_DENIED);
            return InvalidHidHandle;
        }
        ++opens_[i];
        Object file;
        file.kind = Object::Kind::File;
        file.board = i;
        file.overlapped = overlapped;
        lastError_ = ERROR_SUCCESS;
        return add(std::move(file));
    }
    fail(ERROR_FILE_NOT_FOUND);
    return InvalidHidHandle;
}

bool SimHid::closeHandle(HidHandle handle)
{
    count(SimCall::CloseHandle);
    auto it = objects_.find(handle);
    if (it == objects_.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (it->second.kind == Object::Kind::File) {
        for (auto &[h, o] : objects_) {
            if (o.kind == Object::Kind::Event && o.pending && o.pending->file == handle) {
                o.pending.reset();
            }
        }
    }
    objects_.erase(it);
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::getAttributes(HidHandle device, HidAttributes &attributes)
{
    count(SimCall::GetAttributes);
    Object *file = find(device, Object::Kind::File);
    if (file == nullptr) {
        return false;
    }
    SimBoard &b = *boards_[file->board];
    if (!b.plugged()) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (b.fault() == SimFault::AttributesFail) {
        return fail(ERROR_GEN_FAILURE);
    }
    attributes.VendorID = b.config().vendorId;
    attributes.ProductID = b.config().productId;
    attributes.VersionNumber = b.config().versionNumber;
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::getPreparsedData(HidHandle device, HidPreparsedData &preparsedData)
{
    count(SimCall::GetPreparsedData);
    Object *file = find(device, Object::Kind::File);
    if (file == nullptr) {
        return false;
    }
    if (!boards_[file->board]->plugged()) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    Object data;
    data.kind = Object::Kind::Preparsed;
    data.board = file->board;
    preparsedData = add(std::move(data));
    lastError_ = ERROR_SUCCESS;
    return true;
}

std::int32_t SimHid::getCaps(HidPreparsedData preparsedData, HidCaps &caps)
{
    count(SimCall::GetCaps);
    Object *data = find(preparsedData, Object::Kind::Preparsed);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const SimBoardConfig &c = boards_[data->board]->config();
    caps = HidCaps {};
    caps.UsagePage = 0xFF00;
    caps.Usage = 0x01;
    caps.InputReportByteLength = c.inputReportByteLength;
    caps.OutputReportByteLength = c.outputReportByteLength;
    lastError_ = ERROR_SUCCESS;
    return HIDP_STATUS_SUCCESS;
}

bool SimHid::freePreparsedData(HidPreparsedData preparsedData)
{
    count(SimCall::FreePreparsedData);
    if (find(preparsedData, Object::Kind::Preparsed) == nullptr) {
        return false;
    }
    objects_.erase(preparsedData);
    lastError_ = ERROR_SUCCESS;
    return true;
}

HidHandle SimHid::createEvent(bool manualReset, bool initialState)
{
    count(SimCall::CreateEvent);
    Object event;
    event.kind = Object::Kind::Event;
    event.manualReset = manualReset;
    event.signalled = initialState;
    lastError_ = ERROR_SUCCESS;
    return add(std::move(event));
}

bool SimHid::writeFile(
    HidHandle file, const std::uint8_t *buffer, std::uint32_t length, std::uint32_t *written)
{
    count(SimCall::WriteFile);
    Object *f = find(file, Object::Kind::File);
    if (f == nullptr) {
        return false;
    }
    SimBoard &b = *boards_[f->board];
    if (!b.countOperation()) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (b.fault() == SimFault::WriteFails) {
        return fail(ERROR_GEN_FAILURE);
    }
    if (buffer == nullptr || length < b.config().outputReportByteLength) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    b.receiveOutputReport({ buffer, b.config().outputReportByteLength });
    if (written != nullptr) {
        *written = length;
    }
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::completeRead(Object &event)
{
    PendingRead &p = *event.pending;
    Object *f = find(p.file, Object::Kind::File);
    std::vector<std::uint8_t> report;
    if (f == nullptr || !boards_[f->board]->takeInputReport(report)) {
        return false;
    }
    const std::size_t n = std::min<std::size_t>(report.size(), p.length);
    std::copy_n(report.begin(), n, p.buffer);
    if (p.read != nullptr) {
        *p.read = static_cast<std::uint32_t>(n);
    }
    event.pending.reset();
    event.signalled = true;
    return true;
}

bool SimHid::readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length,
    std::uint32_t *read, HidOverlapped &overlapped)
{
    count(SimCall::ReadFile);
    Object *f = find(file, Object::Kind::File);
    Object *event = f != nullptr ? find(overlapped.hEvent, Object::Kind::Event) : nullptr;
    if (event == nullptr) {
        return false;
    }
    event->signalled = false;
    event->pending = PendingRead { file, buffer, length, read };
    if (!boards_[f->board]->countOperation()) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (boards_[f->board]->fault() != SimFault::WaitFails && completeRead(*event)) {
        lastError_ = ERROR_SUCCESS;
        return true;
    }
    return fail(ERROR_IO_PENDING);
}

std::uint32_t SimHid::waitForSingleObject(HidHandle event, std::uint32_t milliseconds)
{
    count(SimCall::WaitForSingleObject);
    lastWaitMs_ = milliseconds;
    Object *e = find(event, Object::Kind::Event);
    if (e == nullptr) {
        return WAIT_FAILED;
    }
    if (!e->signalled && e->pending) {
        Object *f = find(e->pending->file, Object::Kind::File);
        SimBoard *b = f != nullptr ? boards_[f->board].get() : nullptr;
        if (b == nullptr || !b->plugged()) {
            e->pending.reset();
            lastError_ = ERROR_DEVICE_NOT_CONNECTED;
            return WAIT_FAILED;
        }
        if (b->fault() == SimFault::WaitFails) {
            lastError_ = ERROR_GEN_FAILURE;
            return WAIT_FAILED;
        }
        completeRead(*e);
    }
    if (e->signalled) {
        if (!e->manualReset) {
            e->signalled = false;
        }
        lastError_ = ERROR_SUCCESS;
        return WAIT_OBJECT_0;
    }
    if (!e->signalled && e->pending) {
        Object *f = find(e->pending->file, Object::Kind::File);
        SimBoard &b = *boards_[f->board];
        if (b.dripMilliseconds() != 0 && b.dripMilliseconds() <= milliseconds) {
            pass(b.dripMilliseconds());
            std::vector<std::uint8_t> stray(b.config().inputReportByteLength, 0);
            if (stray.size() > 1) {
                stray[1] = 0x80;
            }
            b.queueInputReport(std::move(stray));
            completeRead(*e);
            lastError_ = ERROR_SUCCESS;
            return WAIT_OBJECT_0;
        }
    }
    pass(milliseconds);
    lastError_ = ERROR_SUCCESS;
    return WAIT_TIMEOUT;
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

bool SimHid::cancelIo(HidHandle file)
{
    count(SimCall::CancelIo);
    if (find(file, Object::Kind::File) == nullptr) {
        return false;
    }
    for (auto &[h, o] : objects_) {
        if (o.kind == Object::Kind::Event && o.pending && o.pending->file == file) {
            o.pending.reset();
        }
    }
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool SimHid::resetEvent(HidHandle event)
{
    count(SimCall::ResetEvent);
    Object *e = find(event, Object::Kind::Event);
    if (e == nullptr) {
        return false;
    }
    e->signalled = false;
    lastError_ = ERROR_SUCCESS;
    return true;
}

std::uint32_t SimHid::formatMessage(
    std::uint32_t flags, std::uint32_t messageId, std::uint32_t, char *buffer, std::uint32_t size)
{
    const std::string text =
        (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 ? win32MessageText(messageId) : std::string();
    if (text.empty()) {
        fail(317); // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    if (buffer == nullptr || text.size() + 1 > size) {
        fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    lastError_ = ERROR_SUCCESS;
    return static_cast<std::uint32_t>(text.size());
}

std::string win32MessageText(std::uint32_t code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return "The operation completed successfully.\r\n";
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.\r\n";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.\r\n";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.\r\n";
    case ERROR_GEN_FAILURE:
        return "A device attached to the system is not functioning.\r\n";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.\r\n";
    case ERROR_INSUFFICIENT_BUFFER:
        return "The data area passed to a system call is too small.\r\n";
    case ERROR_NO_MORE_ITEMS:
        return "No more data is available.\r\n";
    case ERROR_OPERATION_ABORTED:
        return "The I/O operation has been aborted because of either a thread exit or an "
               "application request.\r\n";
    case ERROR_IO_PENDING:
        return "Overlapped I/O operation is in progress.\r\n";
    case ERROR_DEVICE_NOT_CONNECTED:
        return "The device is not connected.\r\n";
    case ERROR_INVALID_USER_BUFFER:
        return "The supplied user buffer is not valid for the requested operation.\r\n";
    default:
        return {};
    }
}

} // namespace platform::sim
