// Reports over an open /dev/hidrawN. hidraw differs from Windows in two
// ways the callers must not see: it leaves out the report-ID byte of
// unnumbered input reports, and it accepts reports of any length.

#include "platform/linux/hidraw_node.h"

#include "platform/linux/hid_hidraw.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace platform::linux_hid {

using namespace hidconst;

HidrawNode::HidrawNode(const HidrawOptions &options, std::size_t &opens, HidrawInterface device)
    : options_(options), opens_(opens), device_(std::move(device))
{ }

std::uint32_t HidrawNode::ensureOpen()
{
    if (fd_) {
        return ERROR_SUCCESS;
    }
    ++opens_;
    // The path the handle was created with: the device folder and the node's name.
    fd_.reset(
        options_.openNode(options_.devRoot + "/" + device_.name, O_RDWR | O_NONBLOCK | O_CLOEXEC));
    return fd_ ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
}

std::uint32_t HidrawNode::attributes(HidAttributes &attributes)
{
    if (!device_.idsKnown) {
        return ERROR_GEN_FAILURE;
    }
    attributes.VendorID = device_.vendor;
    attributes.ProductID = device_.product;
    attributes.VersionNumber = 0;
    return ERROR_SUCCESS;
}

std::uint32_t HidrawNode::caps(HidCaps &caps)
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

std::uint32_t HidrawNode::write(const std::uint8_t *buffer, std::uint32_t length)
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

HidIoResult HidrawNode::readReady(const HidReadRequest &request)
{
    if (const std::uint32_t error = ensureOpen(); error != ERROR_SUCCESS) {
        return HidIoResult::failed(error);
    }
    return tryRead(request);
}

HidIoResult HidrawNode::wait(const HidReadRequest &request, std::uint32_t milliseconds)
{
    const Deadline deadline(limitedWait(options_, milliseconds));
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

bool HidrawNode::ensureDescriptor()
{
    if (!descriptorRead_) {
        report_ = readReportInfo(options_.sysfsRoot, device_.name);
        descriptorRead_ = true;
    }
    return report_.valid;
}

// Callers see Done, Pending (nothing queued) or Failed (the device is gone).
HidIoResult HidrawNode::tryRead(const HidReadRequest &request)
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

Deadline::Deadline(std::uint32_t milliseconds)
    : forever_(milliseconds == INFINITE),
      end_(Clock::now() + std::chrono::milliseconds(forever_ ? 0 : milliseconds))
{ }

int Deadline::remaining() const
{
    if (forever_) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

std::uint32_t limitedWait(const HidrawOptions &options, std::uint32_t milliseconds)
{
    return options.waitLimitMs ? std::min(milliseconds, *options.waitLimitMs) : milliseconds;
}

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

} // namespace platform::linux_hid
