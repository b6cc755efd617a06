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

constexpr std::string_view NodePrefix = "hidraw";

// Reads a small sysfs file whole; false when it cannot be read.
bool readSmallFile(const std::string &path, std::vector<std::uint8_t> &out, std::size_t limit)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    out.resize(limit);
    const ssize_t used = readFull(fd.get(), out.data(), limit);
    if (used < 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(used));
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

// The end of a wait of a given length; INFINITE never ends.
class Deadline
{
public:
    explicit Deadline(std::uint32_t milliseconds)
        : forever_(milliseconds == INFINITE),
          end_(Clock::now() + std::chrono::milliseconds(forever_ ? 0 : milliseconds))
    { }
    /// Milliseconds left for poll(): -1 for ever, 0 once over.
    int remaining() const
    {
        if (forever_) {
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
        return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }

private:
    using Clock = std::chrono::steady_clock;
    bool forever_;
    Clock::time_point end_;
};

} // namespace

struct HidrawHid::Interface
{
    std::string name; // hidrawN
    bool idsKnown = false;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

/// An open device node. The node is opened on first I/O, so comparing IDs
/// opens nothing.
class HidrawHid::Device final : public HidDevice
{
public:
    Device(HidrawHid &owner, Interface device, std::string path)
        : owner_(owner), device_(std::move(device)), path_(std::move(path))
    { }

    /// Opens the node unless it is open; ERROR_SUCCESS or why it failed.
    std::uint32_t ensureOpen()
    {
        if (fd_) {
            return ERROR_SUCCESS;
        }
        ++owner_.nodeOpens_;
        fd_.reset(owner_.options_.openNode(path_, O_RDWR | O_NONBLOCK | O_CLOEXEC));
        return fd_ ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
    }

    std::uint32_t attributes(HidAttributes &attributes) override
    {
        if (!device_.idsKnown) {
            return ERROR_GEN_FAILURE;
        }
        attributes.VendorID = device_.vendor;
        attributes.ProductID = device_.product;
        attributes.VersionNumber = 0;
        return ERROR_SUCCESS;
    }

    std::uint32_t caps(HidCaps &caps) override
    {
        if (!ensureDescriptor()) {
            return ERROR_INVALID_PARAMETER;
        }
        caps = HidCaps {};
        caps.UsagePage = report_.usagePage;
        caps.Usage = report_.usage;
        caps.InputReportByteLength = report_.inputReportByteLength;
        caps.OutputReportByteLength = report_.outputReportByteLength;
        caps.FeatureReportByteLength = report_.featureReportByteLength;
        return ERROR_SUCCESS;
    }

    std::uint32_t write(const std::uint8_t *buffer, std::uint32_t length) override
    {
        if (buffer == nullptr || length == 0) {
            return ERROR_INVALID_PARAMETER;
        }
        if (const std::uint32_t error = ensureOpen(); error != ERROR_SUCCESS) {
            return error;
        }
        std::uint32_t count = length;
        if (ensureDescriptor()) {
            // As on Windows: a short report is refused, a long one is cut to the
            // report length. Byte 0 is the report ID, as hidraw expects it.
            if (length < report_.outputReportByteLength) {
                return ERROR_INVALID_PARAMETER;
            }
            count = std::min<std::uint32_t>(length, report_.outputReportByteLength);
        }
        for (;;) {
            const ssize_t n = ::write(fd_.get(), buffer, count);
            if (n >= 0) {
                return ERROR_SUCCESS;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                pollfd p { fd_.get(), POLLOUT, 0 };
                if (::poll(&p, 1, 5000) > 0 && (p.revents & POLLOUT) != 0) {
                    continue;
                }
                return ERROR_GEN_FAILURE;
            }
            return win32ErrorFromErrno(errno);
        }
    }

    HidIoResult readReady(const HidReadRequest &request) override
    {
        if (const std::uint32_t error = ensureOpen(); error != ERROR_SUCCESS) {
            return HidIoResult::failed(error);
        }
        return tryRead(request);
    }

    HidIoResult wait(const HidReadRequest &request, std::uint32_t milliseconds) override
    {
        const Deadline deadline(owner_.limited(milliseconds));
        for (;;) {
            if (!fd_) {
                return HidIoResult::failed(ERROR_INVALID_HANDLE);
            }
            pollfd p { fd_.get(), POLLIN, 0 };
            const int r = ::poll(&p, 1, deadline.remaining());
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return HidIoResult::failed(win32ErrorFromErrno(errno));
            }
            if (r == 0) {
                return HidIoResult::pending();
            }
            if ((p.revents & POLLIN) != 0) {
                // Reports queued before an unplug are still delivered.
                if (HidIoResult done = tryRead(request); done.status != HidIoResult::Pending) {
                    return done;
                }
                continue;
            }
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return HidIoResult::failed(ERROR_DEVICE_NOT_CONNECTED);
            }
        }
    }

private:
    bool ensureDescriptor()
    {
        if (!descriptorRead_) {
            std::vector<std::uint8_t> bytes;
            if (readSmallFile(
                    owner_.options_.sysfsRoot + "/" + device_.name + "/device/report_descriptor",
                    bytes, MaxHidDescriptorSize)) {
                report_ = parseHidReportDescriptor(bytes);
            }
            descriptorRead_ = true;
        }
        return report_.valid;
    }

    /// One non-blocking read: Done, Pending (nothing queued) or Failed (the device is gone).
    HidIoResult tryRead(const HidReadRequest &request)
    {
        if (!fd_) {
            return HidIoResult::failed(ERROR_INVALID_HANDLE);
        }
        ensureDescriptor();
        // hidraw leaves out the report-ID byte of unnumbered reports; Windows
        // callers expect it, as 0, in front.
        const bool numbered = report_.numbered;
        const std::size_t payload = numbered ? request.length : request.length - 1;
        scratch_.resize(std::max<std::size_t>(payload, 1));
        ssize_t n;
        do {
            n = ::read(fd_.get(), scratch_.data(), std::max<std::size_t>(payload, 1));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return HidIoResult::pending();
        }
        if (n <= 0) {
            // EOF or an error: the device is gone.
            return HidIoResult::failed(
                n == 0 ? ERROR_DEVICE_NOT_CONNECTED : win32ErrorFromErrno(errno));
        }
        const std::size_t got = std::min<std::size_t>(static_cast<std::size_t>(n), payload);
        std::uint8_t *out = request.buffer;
        if (!numbered) {
            *out++ = 0;
        }
        std::copy_n(scratch_.data(), got, out);
        if (request.read != nullptr) {
            *request.read = static_cast<std::uint32_t>(got + (numbered ? 0 : 1));
        }
        return HidIoResult::done();
    }

    HidrawHid &owner_;
    Interface device_;
    std::string path_;
    UniqueFd fd_;
    bool descriptorRead_ = false;
    HidReportInfo report_;
    std::vector<std::uint8_t> scratch_;
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
    closeAll();
}

std::uint32_t HidrawHid::limited(std::uint32_t milliseconds) const
{
    return options_.waitLimitMs ? std::min(milliseconds, *options_.waitLimitMs) : milliseconds;
}

std::vector<HidInterface> HidrawHid::enumerate()
{
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
    std::vector<HidInterface> present;
    present.reserve(names.size());
    seen_.clear();
    for (auto &[number, name] : names) {
        const Interface i = interfaceOf(name, ::dirfd(dir));
        seen_[name] = { i.idsKnown, { i.vendor, i.product } };
        present.push_back({ options_.devRoot + "/" + name, 0 });
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return present;
}

std::unique_ptr<HidDevice> HidrawHid::open(
    const std::string &path, bool overlapped, std::uint32_t &error)
{
    const std::string prefix = options_.devRoot + "/";
    const std::string name =
        path.substr(0, prefix.size()) == prefix ? path.substr(prefix.size()) : std::string();
    if (nodeNumber(name) < 0) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    errno = 0;
    if (!options_.nodeAccessible(path)) {
        error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return nullptr;
    }
    Interface device;
    if (auto it = seen_.find(name); it != seen_.end()) {
        device.name = name;
        device.idsKnown = it->second.first;
        device.vendor = it->second.second.first;
        device.product = it->second.second.second;
    } else {
        device = interfaceOf(name);
    }
    auto file = std::make_unique<Device>(*this, std::move(device), path);
    // A handle for overlapped reads is opened now, because the device queues
    // input reports only for files already open.
    if (overlapped) {
        error = file->ensureOpen();
        if (error != ERROR_SUCCESS) {
            return nullptr;
        }
    }
    return file;
}

void HidrawHid::idle(std::uint32_t milliseconds)
{
    const Deadline deadline(limited(milliseconds));
    while (const int left = deadline.remaining()) {
        ::poll(nullptr, 0, left);
    }
}

std::uint64_t HidrawHid::getTickCount64()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u
        + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::string HidrawHid::messageText(std::uint32_t code)
{
    const int error = errnoFromWin32(code);
    if (error < 0) {
        return {};
    }
    const char *description = error == 0 ? "Success" : ::strerrordesc_np(error);
    if (description == nullptr) {
        return {};
    }
    return std::string(description) + "\r\n";
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
    const ssize_t used = readFull(fd.get(), buffer, sizeof buffer);
    std::uint32_t bus = 0;
    i.idsKnown = used > 0
        && parseHidId(
            std::string_view(buffer, static_cast<std::size_t>(used)), bus, i.vendor, i.product);
    return i;
}

} // namespace linux_hid

template<> HidApi &Seam<HidApi>::defaultInstance()
{
    static linux_hid::HidrawHid instance;
    return instance;
}

} // namespace platform
