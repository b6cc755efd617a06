#include "platform/linux/hid_hidraw.h"

#include "platform/hid_descriptor.h"
#include "platform/linux/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace linux_hid {

using namespace hidconst;

namespace {

enum Kind { KindInfoSet = 0, KindFile = 1, KindEvent = 2, KindPreparsed = 3 };

constexpr std::string_view NodePrefix = "hidraw";
constexpr std::uint32_t ERROR_MR_MID_NOT_FOUND = 317;

// Reads a small sysfs file whole; false when it cannot be read.
bool readSmallFile(const std::string &path, std::vector<std::uint8_t> &out, std::size_t limit)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    out.resize(limit);
    std::size_t used = 0;
    while (used < limit) {
        const ssize_t n = ::read(fd.get(), out.data() + used, limit - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return true;
}

// hidrawN -> N; -1 for any other name.
long nodeNumber(std::string_view name)
{
    if (name.size() <= NodePrefix.size() || name.substr(0, NodePrefix.size()) != NodePrefix) {
        return -1;
    }
    long number = 0;
    const char *first = name.data() + NodePrefix.size();
    const char *last = name.data() + name.size();
    auto [p, ec] = std::from_chars(first, last, number);
    if (ec != std::errc() || p != last || number < 0) {
        return -1;
    }
    return number;
}

bool parseHex(std::string_view text, std::uint32_t &value)
{
    if (text.empty() || text.size() > 8) {
        return false;
    }
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && p == text.data() + text.size();
}

int errnoFromWin32(std::uint32_t code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_GEN_FAILURE:
        return EIO;
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_INSUFFICIENT_BUFFER:
        return ENOBUFS;
    case ERROR_NO_MORE_ITEMS:
        return ENODATA;
    case ERROR_OPERATION_ABORTED:
        return ECANCELED;
    case ERROR_IO_PENDING:
        return EINPROGRESS;
    case ERROR_DEVICE_NOT_CONNECTED:
        return ENODEV;
    case ERROR_INVALID_USER_BUFFER:
        return EFAULT;
    default:
        return -1;
    }
}

} // namespace

struct HidrawHid::Interface
{
    std::string name; // hidrawN
    bool idsKnown = false;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

struct HidrawHid::Object
{
    int kind = KindFile;
    // InfoSet
    std::vector<Interface> members;
    // File
    Interface device;
    std::string path;
    UniqueFd fd;
    bool descriptorRead = false;
    HidReportInfo report;
    // Event
    bool signalled = false;
    bool manualReset = true;
    struct Pending
    {
        HidHandle file = 0;
        std::uint8_t *buffer = nullptr;
        std::uint32_t length = 0;
        std::uint32_t *read = nullptr;
        std::uint32_t error = 0; // the device went away: the wait fails with it
    };
    std::optional<Pending> pending;
};

std::uint32_t win32ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENODEV:
    case ENXIO:
    case EIO:
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
        return ERROR_DEVICE_NOT_CONNECTED;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ECANCELED:
        return ERROR_OPERATION_ABORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product)
{
    const std::string_view text = uevent;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        constexpr std::string_view key = "HID_ID=";
        if (line.substr(0, key.size()) != key) {
            continue;
        }
        line.remove_prefix(key.size());
        const std::size_t c1 = line.find(':');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
        if (c2 == std::string_view::npos) {
            return false;
        }
        std::uint32_t b = 0;
        std::uint32_t v = 0;
        std::uint32_t p = 0;
        if (!parseHex(line.substr(0, c1), b) || !parseHex(line.substr(c1 + 1, c2 - c1 - 1), v)
            || !parseHex(line.substr(c2 + 1), p) || v > 0xFFFF || p > 0xFFFF) {
            return false;
        }
        bus = b;
        vendor = static_cast<std::uint16_t>(v);
        product = static_cast<std::uint16_t>(p);
        return true;
    }
    return false;
}

HidrawHid::HidrawHid(HidrawOptions options) : options_(std::move(options))
{
    if (!options_.openNode) {
        options_.openNode = [](const std::string &path, int flags) {
            return ::open(path.c_str(), flags);
        };
    }
    if (!options_.nodeAccessible) {
        // Checked relative to the device folder, kept open: one lookup per node.
        devDir_.reset(::open(options_.devRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        const std::size_t prefix = options_.devRoot.size() + 1;
        options_.nodeAccessible = [this, prefix](const std::string &path) {
            if (!devDir_) {
                return ::access(path.c_str(), R_OK | W_OK) == 0;
            }
            return ::faccessat(devDir_.get(), path.c_str() + prefix, R_OK | W_OK, 0) == 0;
        };
    }
}

HidrawHid::~HidrawHid()
{
    objects_.clear();
}

HidHandle HidrawHid::add(std::unique_ptr<Object> object)
{
    const HidHandle handle = nextHandle_;
    nextHandle_ += 4;
    objects_.emplace(handle, std::move(object));
    return handle;
}

HidrawHid::Object *HidrawHid::find(HidHandle handle, int kind)
{
    auto it = objects_.find(handle);
    if (it == objects_.end() || it->second->kind != kind) {
        lastError_ = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return it->second.get();
}

bool HidrawHid::fail(std::uint32_t error)
{
    lastError_ = error;
    return false;
}

HidrawHid::Interface HidrawHid::interfaceOf(const std::string &name, int sysfsDir) const
{
    Interface i;
    i.name = name;
    // Relative to the open class folder when there is one: one lookup less per interface.
    const UniqueFd fd(sysfsDir >= 0
            ? ::openat(sysfsDir, (name + "/device/uevent").c_str(), O_RDONLY | O_CLOEXEC)
            : ::open((options_.sysfsRoot + "/" + name + "/device/uevent").c_str(),
                O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return i;
    }
    char buffer[4096];
    std::size_t used = 0;
    while (used < sizeof buffer) {
        const ssize_t n = ::read(fd.get(), buffer + used, sizeof buffer - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    std::uint32_t bus = 0;
    i.idsKnown = parseHidId(std::string_view(buffer, used), bus, i.vendor, i.product);
    return i;
}

void HidrawHid::getHidGuid(HidGuid &guid)
{
    guid = HidClassGuid;
    lastError_ = ERROR_SUCCESS;
}

HidHandle HidrawHid::getClassDevs(const HidGuid &guid, std::uint32_t flags)
{
    auto set = std::make_unique<Object>();
    set->kind = KindInfoSet;
    if (guid == HidClassGuid && (flags & DIGCF_DEVICEINTERFACE) != 0) {
        std::vector<std::pair<long, std::string>> names;
        DIR *dir = ::opendir(options_.sysfsRoot.c_str());
        if (dir != nullptr) {
            while (const dirent *entry = ::readdir(dir)) {
                const long number = nodeNumber(entry->d_name);
                if (number >= 0) {
                    names.emplace_back(number, entry->d_name);
                }
            }
        }
        std::sort(names.begin(), names.end());
        set->members.reserve(names.size());
        seen_.clear();
        for (auto &[number, name] : names) {
            set->members.push_back(interfaceOf(name, ::dirfd(dir)));
            const Interface &i = set->members.back();
            seen_[name] = { i.idsKnown, { i.vendor, i.product } };
        }
        if (dir != nullptr) {
            ::closedir(dir);
        }
    }
    lastError_ = ERROR_SUCCESS;
    return add(std::move(set));
}

bool HidrawHid::enumDeviceInterfaces(
    HidHandle deviceInfoSet, const HidGuid &guid, std::uint32_t memberIndex, HidInterfaceData &data)
{
    Object *set = find(deviceInfoSet, KindInfoSet);
    if (set == nullptr) {
        return false;
    }
    if (memberIndex >= set->members.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    data.InterfaceClassGuid = guid;
    data.Flags = 1; // SPINT_ACTIVE
    data.Reserved = static_cast<std::uintptr_t>(memberIndex) + 1;
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool HidrawHid::getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
    std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize)
{
    Object *set = find(deviceInfoSet, KindInfoSet);
    if (set == nullptr) {
        return false;
    }
    if (data.Reserved == 0 || data.Reserved > set->members.size()) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string path = options_.devRoot + "/" + set->members[data.Reserved - 1].name;
    const auto needed = static_cast<std::uint32_t>(4 + path.size() + 1);
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

bool HidrawHid::destroyDeviceInfoList(HidHandle deviceInfoSet)
{
    if (find(deviceInfoSet, KindInfoSet) == nullptr) {
        return false;
    }
    objects_.erase(deviceInfoSet);
    lastError_ = ERROR_SUCCESS;
    return true;
}

HidHandle HidrawHid::createFile(const std::string &path, std::uint32_t, std::uint32_t,
    std::uint32_t, std::uint32_t flagsAndAttributes)
{
    const std::string prefix = options_.devRoot + "/";
    const std::string name =
        path.substr(0, prefix.size()) == prefix ? path.substr(prefix.size()) : std::string();
    if (nodeNumber(name) < 0) {
        fail(ERROR_FILE_NOT_FOUND);
        return InvalidHidHandle;
    }
    errno = 0;
    if (!options_.nodeAccessible(path)) {
        fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return InvalidHidHandle;
    }
    auto file = std::make_unique<Object>();
    file->kind = KindFile;
    file->path = path;
    if (auto it = seen_.find(name); it != seen_.end()) {
        file->device.name = name;
        file->device.idsKnown = it->second.first;
        file->device.vendor = it->second.second.first;
        file->device.product = it->second.second.second;
    } else {
        file->device = interfaceOf(name);
    }
    // The node is opened on first I/O, so comparing IDs opens nothing; a
    // handle for overlapped reads is opened now, because the device queues
    // input reports only for files already open.
    if ((flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0 && !ensureOpen(*file)) {
        return InvalidHidHandle;
    }
    lastError_ = ERROR_SUCCESS;
    return add(std::move(file));
}

bool HidrawHid::ensureOpen(Object &file)
{
    if (file.fd) {
        return true;
    }
    ++nodeOpens_;
    file.fd.reset(options_.openNode(file.path, O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!file.fd) {
        return fail(win32ErrorFromErrno(errno));
    }
    return true;
}

bool HidrawHid::ensureDescriptor(Object &file)
{
    if (!file.descriptorRead) {
        std::vector<std::uint8_t> bytes;
        if (readSmallFile(options_.sysfsRoot + "/" + file.device.name + "/device/report_descriptor",
                bytes, MaxHidDescriptorSize)) {
            file.report = parseHidReportDescriptor(bytes);
        }
        file.descriptorRead = true;
    }
    return file.report.valid;
}

void HidrawHid::cancelReadsOf(HidHandle file)
{
    for (auto &[handle, object] : objects_) {
        if (object->kind == KindEvent && object->pending && object->pending->file == file) {
            object->pending.reset();
        }
    }
}

bool HidrawHid::closeHandle(HidHandle handle)
{
    auto it = objects_.find(handle);
    if (it == objects_.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (it->second->kind == KindFile) {
        cancelReadsOf(handle);
    }
    objects_.erase(it);
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool HidrawHid::getAttributes(HidHandle device, HidAttributes &attributes)
{
    Object *file = find(device, KindFile);
    if (file == nullptr) {
        return false;
    }
    if (!file->device.idsKnown) {
        return fail(ERROR_GEN_FAILURE);
    }
    attributes.VendorID = file->device.vendor;
    attributes.ProductID = file->device.product;
    attributes.VersionNumber = 0;
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool HidrawHid::getPreparsedData(HidHandle device, HidPreparsedData &preparsedData)
{
    Object *file = find(device, KindFile);
    if (file == nullptr) {
        return false;
    }
    if (!ensureDescriptor(*file)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    auto data = std::make_unique<Object>();
    data->kind = KindPreparsed;
    data->report = file->report;
    preparsedData = add(std::move(data));
    lastError_ = ERROR_SUCCESS;
    return true;
}

std::int32_t HidrawHid::getCaps(HidPreparsedData preparsedData, HidCaps &caps)
{
    Object *data = find(preparsedData, KindPreparsed);
    if (data == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    caps = HidCaps {};
    caps.UsagePage = data->report.usagePage;
    caps.Usage = data->report.usage;
    caps.InputReportByteLength = data->report.inputReportByteLength;
    caps.OutputReportByteLength = data->report.outputReportByteLength;
    caps.FeatureReportByteLength = data->report.featureReportByteLength;
    lastError_ = ERROR_SUCCESS;
    return HIDP_STATUS_SUCCESS;
}

bool HidrawHid::freePreparsedData(HidPreparsedData preparsedData)
{
    if (find(preparsedData, KindPreparsed) == nullptr) {
        return false;
    }
    objects_.erase(preparsedData);
    lastError_ = ERROR_SUCCESS;
    return true;
}

HidHandle HidrawHid::createEvent(bool manualReset, bool initialState)
{
    auto event = std::make_unique<Object>();
    event->kind = KindEvent;
    event->manualReset = manualReset;
    event->signalled = initialState;
    lastError_ = ERROR_SUCCESS;
    return add(std::move(event));
}

bool HidrawHid::writeFile(
    HidHandle file, const std::uint8_t *buffer, std::uint32_t length, std::uint32_t *written)
{
    Object *f = find(file, KindFile);
    if (f == nullptr) {
        return false;
    }
    if (buffer == nullptr || length == 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!ensureOpen(*f)) {
        return false;
    }
    std::uint32_t count = length;
    if (ensureDescriptor(*f)) {
        // As on Windows: a short report is refused, a long one is cut to the
        // report length. Byte 0 is the report ID, as hidraw expects it.
        if (length < f->report.outputReportByteLength) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        count = std::min<std::uint32_t>(length, f->report.outputReportByteLength);
    }
    for (;;) {
        const ssize_t n = ::write(f->fd.get(), buffer, count);
        if (n >= 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            pollfd p { f->fd.get(), POLLOUT, 0 };
            if (::poll(&p, 1, 5000) > 0 && (p.revents & POLLOUT) != 0) {
                continue;
            }
            return fail(ERROR_GEN_FAILURE);
        }
        return fail(win32ErrorFromErrno(errno));
    }
    if (written != nullptr) {
        *written = length;
    }
    lastError_ = ERROR_SUCCESS;
    return true;
}

int HidrawHid::tryRead(Object &event)
{
    Object::Pending &p = *event.pending;
    Object *f = find(p.file, KindFile);
    if (f == nullptr || !f->fd) {
        p.error = ERROR_INVALID_HANDLE;
        return -1;
    }
    ensureDescriptor(*f);
    // hidraw leaves out the report-ID byte of unnumbered reports; Windows
    // callers expect it, as 0, in front.
    const bool numbered = f->report.numbered;
    const std::size_t payload = numbered ? p.length : p.length - 1;
    scratch_.resize(std::max<std::size_t>(payload, 1));
    ssize_t n;
    do {
        n = ::read(f->fd.get(), scratch_.data(), std::max<std::size_t>(payload, 1));
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    if (n <= 0) {
        // EOF or an error: the device is gone.
        p.error = n == 0 ? ERROR_DEVICE_NOT_CONNECTED : win32ErrorFromErrno(errno);
        return -1;
    }
    const std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(n), payload);
    std::uint8_t *out = p.buffer;
    if (!numbered) {
        *out++ = 0;
    }
    std::copy_n(scratch_.data(), got, out);
    if (p.read != nullptr) {
        *p.read = static_cast<std::uint32_t>(got + (numbered ? 0 : 1));
    }
    event.pending.reset();
    event.signalled = true;
    return 1;
}

bool HidrawHid::readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length,
    std::uint32_t *read, HidOverlapped &overlapped)
{
    Object *f = find(file, KindFile);
    Object *event = f != nullptr ? find(overlapped.hEvent, KindEvent) : nullptr;
    if (event == nullptr) {
        return false;
    }
    if (buffer == nullptr || length == 0) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    event->signalled = false;
    event->pending = Object::Pending { file, buffer, length, read, 0 };
    if (!ensureOpen(*f)) {
        event->pending->error = lastError_;
        return false;
    }
    const int r = tryRead(*event);
    if (r > 0) {
        lastError_ = ERROR_SUCCESS;
        return true;
    }
    if (r < 0) {
        return fail(event->pending->error);
    }
    return fail(ERROR_IO_PENDING);
}

std::uint64_t HidrawHid::getTickCount64()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u
        + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::uint32_t HidrawHid::waitForSingleObject(HidHandle event, std::uint32_t milliseconds)
{
    lastWaitMs_ = milliseconds;
    Object *e = find(event, KindEvent);
    if (e == nullptr) {
        return WAIT_FAILED;
    }
    std::uint32_t limit = milliseconds;
    if (options_.waitLimitMs) {
        limit = std::min(limit, *options_.waitLimitMs);
    }
    using Clock = std::chrono::steady_clock;
    const bool forever = limit == INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : limit);
    auto remaining = [&]() -> int {
        if (forever) {
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    };
    for (;;) {
        if (e->signalled) {
            if (!e->manualReset) {
                e->signalled = false;
            }
            lastError_ = ERROR_SUCCESS;
            return WAIT_OBJECT_0;
        }
        if (e->pending && e->pending->error != 0) {
            lastError_ = e->pending->error;
            e->pending.reset();
            return WAIT_FAILED;
        }
        const int timeout = remaining();
        if (!e->pending) {
            // Nothing can signal the event but time.
            if (timeout != 0) {
                ::poll(nullptr, 0, timeout);
                if (remaining() != 0) {
                    continue;
                }
            }
            lastError_ = ERROR_SUCCESS;
            return WAIT_TIMEOUT;
        }
        Object *f = find(e->pending->file, KindFile);
        if (f == nullptr || !f->fd) {
            e->pending->error = ERROR_INVALID_HANDLE;
            continue;
        }
        pollfd p { f->fd.get(), POLLIN, 0 };
        const int r = ::poll(&p, 1, timeout);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            e->pending->error = win32ErrorFromErrno(errno);
            continue;
        }
        if (r == 0) {
            lastError_ = ERROR_SUCCESS;
            return WAIT_TIMEOUT;
        }
        if ((p.revents & POLLIN) != 0) {
            // Reports queued before an unplug are still delivered.
            tryRead(*e);
            continue;
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            e->pending->error = ERROR_DEVICE_NOT_CONNECTED;
        }
    }
}

bool HidrawHid::cancelIo(HidHandle file)
{
    if (find(file, KindFile) == nullptr) {
        return false;
    }
    cancelReadsOf(file);
    lastError_ = ERROR_SUCCESS;
    return true;
}

bool HidrawHid::resetEvent(HidHandle event)
{
    Object *e = find(event, KindEvent);
    if (e == nullptr) {
        return false;
    }
    e->signalled = false;
    lastError_ = ERROR_SUCCESS;
    return true;
}

std::uint32_t HidrawHid::formatMessage(
    std::uint32_t flags, std::uint32_t messageId, std::uint32_t, char *buffer, std::uint32_t size)
{
    const int error = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 ? errnoFromWin32(messageId) : -1;
    if (error < 0) {
        lastError_ = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    const char *description = error == 0 ? "Success" : ::strerrordesc_np(error);
    if (description == nullptr) {
        lastError_ = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    const std::string text = std::string(description) + "\r\n";
    if (buffer == nullptr || text.size() + 1 > size) {
        lastError_ = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    lastError_ = ERROR_SUCCESS;
    return static_cast<std::uint32_t>(text.size());
}

} // namespace linux_hid

template<> HidApi &Seam<HidApi>::defaultInstance()
{
    static linux_hid::HidrawHid instance;
    return instance;
}

} // namespace platform
