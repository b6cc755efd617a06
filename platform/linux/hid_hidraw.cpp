#include "platform/linux/hid_hidraw.h"

#include "platform/emulation/hid_descriptor.h"
#include "platform/linux/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
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

// The value of each hexadecimal digit; 16 for any other byte.
constexpr std::array<std::uint8_t, 256> HexValues = [] {
    std::array<std::uint8_t, 256> values {};
    values.fill(16);
    for (int i = 0; i < 10; ++i) {
        values['0' + i] = static_cast<std::uint8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        values['a' + i] = values['A' + i] = static_cast<std::uint8_t>(10 + i);
    }
    return values;
}();

constexpr std::string_view HidIdKey = "HID_ID=";

// The first line of a uevent text that starts with HID_ID= (key included, newline not);
// empty when there is none. @p ended: a newline ends it, so more text cannot change it.
std::string_view hidIdLine(std::string_view text, bool &ended)
{
    std::size_t start = 0;
    if (text.substr(0, HidIdKey.size()) != HidIdKey) {
        start = text.find("\nHID_ID=");
        if (start == std::string_view::npos) {
            ended = false;
            return {};
        }
        ++start;
    }
    const std::size_t end = text.find('\n', start);
    ended = end != std::string_view::npos;
    return text.substr(start, ended ? end - start : std::string_view::npos);
}

// The HID_ID line of a uevent text (see hidIdLine), read into @p buffer until the line is
// whole, the end of the file or @p size bytes; empty when there is none or a read fails.
// sysfs gives the whole text at the first read, so that is the only read.
std::string_view readHidIdLine(int fd, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    std::string_view line;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return {};
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
        bool ended = false;
        line = hidIdLine(std::string_view(buffer, done), ended);
        if (ended) {
            break;
        }
    }
    return line;
}

// Parses 1 to 8 hexadecimal digits (no sign, no prefix) from @p p up to @p end or a colon.
bool parseHexField(const char *&p, const char *end, std::uint32_t &value)
{
    const char *const first = p;
    std::uint32_t v = 0;
    for (; p != end && *p != ':'; ++p) {
        const std::uint8_t digit = HexValues[static_cast<unsigned char>(*p)];
        if (digit > 15) {
            return false;
        }
        v = v << 4 | digit;
    }
    if (p == first || p - first > 8) {
        return false;
    }
    value = v;
    return true;
}

// Bus, vendor and product of a line hidIdLine found: three fields between two colons.
bool parseHidIdLine(
    std::string_view line, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product)
{
    const char *p = line.data() + HidIdKey.size();
    const char *const end = line.data() + line.size();
    std::uint32_t b = 0;
    std::uint32_t v = 0;
    std::uint32_t id = 0;
    // A third colon is no digit: the last field ends only at the line's end.
    if (!parseHexField(p, end, b) || p == end || !parseHexField(++p, end, v) || p == end
        || !parseHexField(++p, end, id) || p != end || v > 0xFFFF || id > 0xFFFF) {
        return false;
    }
    bus = b;
    vendor = static_cast<std::uint16_t>(v);
    product = static_cast<std::uint16_t>(id);
    return true;
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

/// An open device node. The node is opened on first I/O, so comparing IDs
/// opens nothing.
class HidrawHid::Device final : public HidDevice
{
public:
    Device(HidrawHid &owner, Interface device) : owner_(owner), device_(std::move(device)) { }

    /// Opens the node unless it is open; ERROR_SUCCESS or why it failed.
    std::uint32_t ensureOpen()
    {
        if (fd_) {
            return ERROR_SUCCESS;
        }
        ++owner_.nodeOpens_;
        // The path the handle was created with: the device folder and the node's name.
        fd_.reset(owner_.options_.openNode(
            owner_.options_.devRoot + "/" + device_.name, O_RDWR | O_NONBLOCK | O_CLOEXEC));
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
    bool ended = false;
    const std::string_view line = hidIdLine(uevent, ended);
    return !line.empty() && parseHidIdLine(line, bus, vendor, product);
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

bool HidrawHid::before(const Key &a, const Key &b) const
{
    return a.first != b.first ? a.first < b.first : seen_[a.second].name < seen_[b.second].name;
}

std::vector<HidInterface> HidrawHid::enumerate()
{
    seen_.clear();
    order_.clear();
    next_ = 0;
    DIR *dir = ::opendir(options_.sysfsRoot.c_str());
    if (dir == nullptr) {
        return {};
    }
    while (const dirent *entry = ::readdir(dir)) {
        const long number = nodeNumber(entry->d_name);
        if (number >= 0) {
            order_.emplace_back(number, static_cast<std::uint32_t>(seen_.size()));
            seen_.emplace_back().name = entry->d_name;
        }
    }
    // Numbers and indices sort cheaper than the records; names only break ties.
    std::sort(
        order_.begin(), order_.end(), [this](const Key &a, const Key &b) { return before(a, b); });
    // The paths are written over those of the previous search: no allocation per interface.
    std::vector<HidInterface> present = spareMembers();
    present.resize(order_.size());
    for (std::size_t k = 0; k < order_.size(); ++k) {
        Interface &i = seen_[order_[k].second];
        readIds(i, ::dirfd(dir));
        HidInterface &member = present[k];
        member.path.assign(options_.devRoot).append(1, '/').append(i.name);
        member.detailSize = 0;
    }
    ::closedir(dir);
    return present;
}

std::unique_ptr<HidDevice> HidrawHid::open(
    const std::string &path, bool overlapped, std::uint32_t &error)
{
    const std::string_view root = options_.devRoot;
    const std::string_view whole = path;
    const std::string_view name = whole.size() > root.size() && whole[root.size()] == '/'
            && whole.substr(0, root.size()) == root
        ? whole.substr(root.size() + 1)
        : std::string_view();
    // A search opens the interfaces in enumeration order: the one after the last found first.
    const Interface *known = nullptr;
    if (next_ < order_.size() && seen_[order_[next_].second].name == name) {
        known = &seen_[order_[next_++].second];
    } else {
        const long number = nodeNumber(name);
        if (number < 0) {
            error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        const auto it = std::lower_bound(
            order_.begin(), order_.end(), name, [this, number](const Key &k, std::string_view key) {
                return k.first != number ? k.first < number
                                         : std::string_view(seen_[k.second].name) < key;
            });
        if (it != order_.end() && it->first == number && seen_[it->second].name == name) {
            known = &seen_[it->second];
            next_ = static_cast<std::size_t>(it - order_.begin()) + 1;
        }
    }
    errno = 0;
    if (!options_.nodeAccessible(path)) {
        error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return nullptr;
    }
    std::unique_ptr<Device> file;
    if (known != nullptr) {
        file = std::make_unique<Device>(*this, *known);
    } else {
        Interface device;
        device.name = name;
        readIds(device, -1);
        file = std::make_unique<Device>(*this, std::move(device));
    }
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

void HidrawHid::readIds(Interface &i, int sysfsDir) const
{
    constexpr std::string_view Uevent = "/device/uevent";
    UniqueFd fd;
    if (sysfsDir >= 0 && i.name.size() <= NAME_MAX) {
        // Relative to the open class folder, built on the stack: one lookup and no
        // allocation per interface.
        char relative[NAME_MAX + Uevent.size() + 1];
        std::memcpy(relative, i.name.data(), i.name.size());
        std::memcpy(relative + i.name.size(), Uevent.data(), Uevent.size());
        relative[i.name.size() + Uevent.size()] = 0;
        fd.reset(::openat(sysfsDir, relative, O_RDONLY | O_CLOEXEC));
    } else {
        fd.reset(::open((options_.sysfsRoot + "/" + i.name + std::string(Uevent)).c_str(),
            O_RDONLY | O_CLOEXEC));
    }
    i.idsKnown = false;
    if (!fd) {
        return;
    }
    char buffer[4096];
    const std::string_view line = readHidIdLine(fd.get(), buffer, sizeof buffer);
    std::uint32_t bus = 0;
    i.idsKnown = !line.empty() && parseHidIdLine(line, bus, i.vendor, i.product);
}

} // namespace linux_hid

template<> HidApi &Seam<HidApi>::defaultInstance()
{
    static linux_hid::HidrawHid instance;
    return instance;
}

} // namespace platform
