#include "platform/emulation/hid_emulation.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace platform {

using namespace hidconst;

namespace {

/// SetupDiGetDeviceInterfaceDetailA's second call: fills the
/// caller's 32-bit SP_DEVICE_INTERFACE_DETAIL_DATA_A record (cbSize, which the
/// caller set to 5, then @p path with its NUL), given the @p needed size the
/// backend reported. @returns ERROR_SUCCESS, ERROR_INSUFFICIENT_BUFFER (no or a
/// too small buffer, or a size below the record's own) or ERROR_INVALID_USER_BUFFER
/// (cbSize not 5).
std::uint32_t fillInterfaceDetail(
    const std::string &path, std::uint32_t needed, std::uint8_t *detail, std::uint32_t detailSize)
{
    if (detail == nullptr || detailSize < needed || needed < 5
        || detailSize < 4 + path.size() + 1) {
        return hidconst::ERROR_INSUFFICIENT_BUFFER;
    }
    std::uint32_t cbSize = 0;
    std::memcpy(&cbSize, detail, 4);
    if (cbSize != 5) {
        return hidconst::ERROR_INVALID_USER_BUFFER;
    }
    std::memcpy(detail + 4, path.c_str(), path.size() + 1);
    return hidconst::ERROR_SUCCESS;
}
constexpr std::uint32_t ERROR_MR_MID_NOT_FOUND = 317;
} // namespace

std::size_t HidEmulation::openFileHandles() const
{
    return static_cast<std::size_t>(std::count_if(objects_.begin(), objects_.end(),
        [](const auto &o) { return o.second.kind == Kind::File; }));
}

HidEmulation::Object &HidEmulation::add(Kind kind, HidHandle &handle)
{
    handle = nextHandle_;
    nextHandle_ += 4;
    // Handles only grow, so the table stays in handle order.
    Object fresh;
    fresh.kind = kind;
    return objects_.emplace_back(handle, std::move(fresh)).second;
}

HidEmulation::Objects::iterator HidEmulation::lookup(HidHandle handle)
{
    auto it = std::lower_bound(objects_.begin(), objects_.end(), handle,
        [](const auto &entry, HidHandle h) { return entry.first < h; });
    return it != objects_.end() && it->first == handle ? it : objects_.end();
}

HidEmulation::Object *HidEmulation::find(HidHandle handle, Kind kind)
{
    auto it = lookup(handle);
    if (it == objects_.end() || it->second.kind != kind) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &it->second;
}

bool HidEmulation::fail(std::uint32_t error)
{
    lastError_ = error;
    return false;
}

bool HidEmulation::succeed()
{
    lastError_ = ERROR_SUCCESS;
    return true;
}

void HidEmulation::cancelReadsOf(HidHandle file)
{
    for (auto &[handle, object] : objects_) {
        if (object.kind == Kind::Event && object.pending && object.pending->file == file) {
            object.pending.reset();
        }
    }
}

void HidEmulation::getHidGuid(HidGuid &guid)
{
    count(HidCall::GetHidGuid);
    guid = HidClassGuid;
    lastError_ = ERROR_SUCCESS;
}

HidHandle HidEmulation::getClassDevs(const HidGuid &guid, std::uint32_t flags)
{
    count(HidCall::GetClassDevs);
    std::vector<HidInterface> members;
    if (guid == HidClassGuid && (flags & DIGCF_DEVICEINTERFACE) != 0) {
        members = enumerate();
    }
    lastError_ = ERROR_SUCCESS;
    HidHandle handle = 0;
    add(Kind::InfoSet, handle).members = std::move(members);
    return handle;
}

bool HidEmulation::enumDeviceInterfaces(
    HidHandle deviceInfoSet, const HidGuid &guid, std::uint32_t memberIndex, HidInterfaceData &data)
{
    count(HidCall::EnumDeviceInterfaces);
    Object *set = find(deviceInfoSet, Kind::InfoSet);
    if (set == nullptr) {
        return false;
    }
    if (memberIndex >= set->members.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    data.InterfaceClassGuid = guid;
    data.Flags = 1; // SPINT_ACTIVE
    data.Reserved = static_cast<std::uintptr_t>(memberIndex) + 1;
    return succeed();
}

bool HidEmulation::getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
    std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize)
{
    count(HidCall::GetDeviceInterfaceDetail);
    Object *set = find(deviceInfoSet, Kind::InfoSet);
    if (set == nullptr) {
        return false;
    }
    if (data.Reserved == 0 || data.Reserved > set->members.size()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const HidInterface &member = set->members[data.Reserved - 1];
    const auto needed = member.detailSize != 0
        ? member.detailSize
        : static_cast<std::uint32_t>(4 + member.path.size() + 1);
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    if (const std::uint32_t error = fillInterfaceDetail(member.path, needed, detail, detailSize);
        error != ERROR_SUCCESS) {
        return fail(error);
    }
    return succeed();
}

bool HidEmulation::destroyDeviceInfoList(HidHandle deviceInfoSet)
{
    count(HidCall::DestroyDeviceInfoList);
    Object *set = find(deviceInfoSet, Kind::InfoSet);
    if (set == nullptr) {
        return false;
    }
    spareMembers_ = std::move(set->members);
    objects_.erase(lookup(deviceInfoSet));
    return succeed();
}

HidHandle HidEmulation::createFile(const std::string &path, std::uint32_t, std::uint32_t,
    std::uint32_t, std::uint32_t flagsAndAttributes)
{
    count(HidCall::CreateFile);
    std::uint32_t error = ERROR_FILE_NOT_FOUND;
    std::unique_ptr<HidDevice> device =
        open(path, (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0, error);
    if (!device) {
        fail(error);
        return InvalidHidHandle;
    }
    lastError_ = ERROR_SUCCESS;
    HidHandle handle = 0;
    add(Kind::File, handle).device = std::move(device);
    return handle;
}

bool HidEmulation::closeHandle(HidHandle handle)
{
    count(HidCall::CloseHandle);
    auto it = lookup(handle);
    if (it == objects_.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (it->second.kind == Kind::File) {
        // The read's buffer is not touched after its file is closed.
        cancelReadsOf(handle);
    }
    objects_.erase(it);
    return succeed();
}

bool HidEmulation::getAttributes(HidHandle device, HidAttributes &attributes)
{
    count(HidCall::GetAttributes);
    Object *file = find(device, Kind::File);
    if (file == nullptr) {
        return false;
    }
    HidAttributes answer = attributes;
    if (const std::uint32_t error = file->device->attributes(answer); error != ERROR_SUCCESS) {
        return fail(error);
    }
    attributes.VendorID = answer.VendorID;
    attributes.ProductID = answer.ProductID;
    attributes.VersionNumber = answer.VersionNumber;
    return succeed();
}

bool HidEmulation::getPreparsedData(HidHandle device, HidPreparsedData &preparsedData)
{
    count(HidCall::GetPreparsedData);
    Object *file = find(device, Kind::File);
    if (file == nullptr) {
        return false;
    }
    HidCaps caps;
    if (const std::uint32_t error = file->device->caps(caps); error != ERROR_SUCCESS) {
        return fail(error);
    }
    add(Kind::Preparsed, preparsedData).caps = caps;
    return succeed();
}

std::int32_t HidEmulation::getCaps(HidPreparsedData preparsedData, HidCaps &caps)
{
    count(HidCall::GetCaps);
    Object *data = find(preparsedData, Kind::Preparsed);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    caps = data->caps;
    lastError_ = ERROR_SUCCESS;
    return HIDP_STATUS_SUCCESS;
}

bool HidEmulation::freePreparsedData(HidPreparsedData preparsedData)
{
    count(HidCall::FreePreparsedData);
    if (find(preparsedData, Kind::Preparsed) == nullptr) {
        return false;
    }
    objects_.erase(lookup(preparsedData));
    return succeed();
}

HidHandle HidEmulation::createEvent(bool manualReset, bool initialState)
{
    count(HidCall::CreateEvent);
    HidHandle handle = 0;
    Object &event = add(Kind::Event, handle);
    event.manualReset = manualReset;
    event.signalled = initialState;
    lastError_ = ERROR_SUCCESS;
    return handle;
}

bool HidEmulation::writeFile(
    HidHandle file, const std::uint8_t *buffer, std::uint32_t length, std::uint32_t *written)
{
    count(HidCall::WriteFile);
    Object *f = find(file, Kind::File);
    if (f == nullptr) {
        return false;
    }
    if (const std::uint32_t error = f->device->write(buffer, length); error != ERROR_SUCCESS) {
        return fail(error);
    }
    if (written != nullptr) {
        *written = length;
    }
    return succeed();
}

bool HidEmulation::readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length,
    std::uint32_t *read, HidOverlapped &overlapped)
{
    count(HidCall::ReadFile);
    Object *f = find(file, Kind::File);
    Object *event = f != nullptr ? find(overlapped.hEvent, Kind::Event) : nullptr;
    if (event == nullptr) {
        return false;
    }
    if (buffer == nullptr || length == 0) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    event->signalled = false;
    event->pending = PendingRead { file, { buffer, length, read }, 0 };
    const HidIoResult r = f->device->readReady(event->pending->request);
    if (r.status == HidIoResult::Done) {
        event->pending.reset();
        event->signalled = true;
        return succeed();
    }
    if (r.status == HidIoResult::Failed) {
        // The wait reports the failure again.
        event->pending->error = r.error;
        return fail(r.error);
    }
    return fail(ERROR_IO_PENDING);
}

std::uint32_t HidEmulation::waitForSingleObject(HidHandle event, std::uint32_t milliseconds)
{
    count(HidCall::WaitForSingleObject);
    lastWaitMs_ = milliseconds;
    Object *e = find(event, Kind::Event);
    if (e == nullptr) {
        return WAIT_FAILED;
    }
    if (!e->signalled && !e->pending) {
        // Nothing can signal the event but time.
        idle(milliseconds);
        lastError_ = ERROR_SUCCESS;
        return WAIT_TIMEOUT;
    }
    if (!e->signalled) {
        PendingRead &p = *e->pending;
        auto it = lookup(p.file);
        const HidIoResult r = p.error != 0 ? HidIoResult::failed(p.error)
            : it == objects_.end()         ? HidIoResult::failed(ERROR_INVALID_HANDLE)
                                           : it->second.device->wait(p.request, milliseconds);
        if (r.status == HidIoResult::Failed) {
            if (r.readEnds) {
                e->pending.reset();
            }
            lastError_ = r.error;
            return WAIT_FAILED;
        }
        if (r.status == HidIoResult::Pending) {
            lastError_ = ERROR_SUCCESS;
            return WAIT_TIMEOUT;
        }
        e->pending.reset();
        e->signalled = true;
    }
    if (!e->manualReset) {
        e->signalled = false;
    }
    lastError_ = ERROR_SUCCESS;
    return WAIT_OBJECT_0;
}

bool HidEmulation::cancelIo(HidHandle file)
{
    count(HidCall::CancelIo);
    if (find(file, Kind::File) == nullptr) {
        return false;
    }
    cancelReadsOf(file);
    return succeed();
}

bool HidEmulation::resetEvent(HidHandle event)
{
    count(HidCall::ResetEvent);
    Object *e = find(event, Kind::Event);
    if (e == nullptr) {
        return false;
    }
    e->signalled = false;
    return succeed();
}

std::uint32_t HidEmulation::formatMessage(
    std::uint32_t flags, std::uint32_t messageId, std::uint32_t, char *buffer, std::uint32_t size)
{
    const std::string text =
        (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 ? messageText(messageId) : std::string();
    if (text.empty()) {
        fail(ERROR_MR_MID_NOT_FOUND);
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

std::string HidEmulation::messageText(std::uint32_t code)
{
    return win32MessageText(code);
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

} // namespace platform
