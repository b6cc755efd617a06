#pragma once
// The hidraw rig: virtual boards behind the hidraw backend, through a fake
// sysfs tree and socket-pair device nodes served by a board thread.

#include "hid_rigs.h"
#include "platform/linux/hid_hidraw.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rigs {

class HidrawRig final : public Rig
{
public:
    explicit HidrawRig(std::uint32_t waitLimitMs = 1500)
    {
        std::filesystem::create_directories(tmp.path() / "sys");
        std::filesystem::create_directories(tmp.path() / "dev");
        std::filesystem::create_directories(tmp.path() / "gone");
        ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK);
        platform::linux_hid::HidrawOptions o;
        o.sysfsRoot = (tmp.path() / "sys").string();
        o.devRoot = (tmp.path() / "dev").string();
        o.waitLimitMs = waitLimitMs;
        o.openNode = [this](const std::string &path, int flags) { return openNode(path, flags); };
        o.nodeAccessible = [this](const std::string &path) {
            std::lock_guard lock(mutex_);
            for (auto &b : boards_) {
                if (b->path == path && b->model.plugged()) {
                    errno = b->denied ? EACCES : 0;
                    return !b->denied;
                }
            }
            errno = ENOENT;
            return false;
        };
        hid = std::make_unique<platform::linux_hid::HidrawHid>(std::move(o));
        pump_ = std::thread([this] { serve(); });
    }
    ~HidrawRig() override
    {
        stop_ = true;
        char c = 0;
        (void)::write(wake_[1], &c, 1);
        pump_.join();
        hid.reset();
        for (auto &b : boards_) {
            if (b->deviceEnd >= 0) {
                ::close(b->deviceEnd);
            }
            if (b->hostEnd >= 0) {
                ::close(b->hostEnd);
            }
        }
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    platform::HidApi &api() override { return *hid; }

    platform::sim::SimBoard &addBoard(platform::sim::SimBoardConfig config = {}) override
    {
        return addBoardWith(
            config, descriptorFor(config.inputReportByteLength, config.outputReportByteLength));
    }

    /// Adds a board with its own report descriptor and uevent HID_ID text.
    platform::sim::SimBoard &addBoardWith(platform::sim::SimBoardConfig config,
        const std::vector<std::uint8_t> &descriptor, std::string hidId = {},
        std::uint8_t reportId = 0)
    {
        std::lock_guard lock(mutex_);
        auto b = std::make_unique<Board>(config);
        b->reportId = reportId;
        b->name = "hidraw" + std::to_string(boards_.size());
        b->path = (tmp.path() / "dev" / b->name).string();
        const auto device = tmp.path() / "sys" / b->name / "device";
        std::filesystem::create_directories(device);
        if (hidId.empty()) {
            char id[64];
            std::snprintf(id, sizeof id, "0003:%08X:%08X", config.vendorId, config.productId);
            hidId = id;
        }
        std::ofstream(device / "uevent")
            << "DRIVER=hid-generic\nHID_ID=" << hidId
            << "\nHID_NAME=USB-IO\nHID_PHYS=usb-0000:00:14.0-1/input0\n"
               "HID_UNIQ=\nMODALIAS=hid:b0003g0001v00001352p00000100\n";
        std::ofstream(device / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char *>(descriptor.data()),
                static_cast<std::streamsize>(descriptor.size()));
        connect(*b);
        boards_.push_back(std::move(b));
        wake();
        return boards_.back()->model;
    }

    void withBoard(
        std::size_t index, const std::function<void(platform::sim::SimBoard &)> &f) override
    {
        std::lock_guard lock(mutex_);
        Board &b = *boards_.at(index);
        // Reports the host has written are in the socket already; take them first.
        receive(b);
        f(b.model);
        flush(b);
    }

    void unplug(std::size_t index) override
    {
        std::lock_guard lock(mutex_);
        Board &b = *boards_.at(index);
        b.model.setPlugged(false);
        if (b.deviceEnd >= 0) {
            // At once: the board thread's poll may still hold the descriptor.
            ::shutdown(b.deviceEnd, SHUT_RDWR);
            ::close(b.deviceEnd);
            b.deviceEnd = -1;
        }
        // The kernel takes the class entry away with the device.
        std::error_code ignored;
        std::filesystem::rename(tmp.path() / "sys" / b.name, tmp.path() / "gone" / b.name, ignored);
    }

    void replug(std::size_t index) override
    {
        std::lock_guard lock(mutex_);
        Board &b = *boards_.at(index);
        if (b.model.plugged()) {
            return;
        }
        // A new node: descriptors of the old one stay dead.
        ::close(b.hostEnd);
        connect(b);
        std::error_code ignored;
        std::filesystem::rename(tmp.path() / "gone" / b.name, tmp.path() / "sys" / b.name, ignored);
        b.model.setPlugged(true);
        wake();
    }

    /// A descriptor of board @p index's device node, as open(2) would give it.
    int openStandIn(std::size_t index)
    {
        std::string path;
        {
            std::lock_guard lock(mutex_);
            path = boards_.at(index)->path;
        }
        return openNode(path, O_RDWR | O_NONBLOCK);
    }

    void denyAccess(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        boards_.at(index)->denied = true;
    }

    std::size_t opens(std::size_t index) override
    {
        std::lock_guard lock(mutex_);
        return boards_.at(index)->opens;
    }
    std::uint32_t lastWaitMilliseconds() override { return hid->lastWaitMilliseconds(); }
    std::string pathOf(std::size_t index) override
    {
        std::lock_guard lock(mutex_);
        return boards_.at(index)->path;
    }

    fakes::TempDir tmp;
    std::unique_ptr<platform::linux_hid::HidrawHid> hid;

private:
    struct Board
    {
        explicit Board(platform::sim::SimBoardConfig c) : model(c) { }
        platform::sim::SimBoard model;
        std::string name;
        std::string path;
        int hostEnd = -1;
        int deviceEnd = -1;
        bool denied = false;
        std::uint8_t reportId = 0; // 0: unnumbered reports
        std::size_t opens = 0;
    };

    int openNode(const std::string &path, int flags)
    {
        std::lock_guard lock(mutex_);
        for (auto &b : boards_) {
            if (b->path == path && b->model.plugged()) {
                ++b->opens;
                const int fd = ::fcntl(b->hostEnd, F_DUPFD_CLOEXEC, 0);
                ::fcntl(fd, F_SETFL, flags & O_NONBLOCK);
                return fd;
            }
        }
        errno = ENOENT;
        return -1;
    }

    static void connect(Board &b)
    {
        int fds[2];
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds);
        b.hostEnd = fds[0];
        b.deviceEnd = fds[1];
        ::fcntl(b.deviceEnd, F_SETFL, O_NONBLOCK);
    }

    void wake()
    {
        char c = 0;
        (void)::write(wake_[1], &c, 1);
    }

    // Sends what the board has queued, without the report-ID byte that
    // hidraw leaves out for unnumbered reports.
    void flush(Board &b)
    {
        std::vector<std::uint8_t> report;
        while (b.deviceEnd >= 0 && b.model.takeInputReport(report)) {
            if (b.reportId != 0 && !report.empty()) {
                report[0] = b.reportId;
                (void)::send(b.deviceEnd, report.data(), report.size(), MSG_NOSIGNAL);
            } else if (report.size() > 1) {
                (void)::send(b.deviceEnd, report.data() + 1, report.size() - 1, MSG_NOSIGNAL);
            }
        }
    }

    void receive(Board &b)
    {
        std::uint8_t buffer[4096];
        ssize_t n;
        while (b.deviceEnd >= 0 && (n = ::recv(b.deviceEnd, buffer, sizeof buffer, 0)) > 0) {
            b.model.receiveOutputReport({ buffer, static_cast<std::size_t>(n) });
            flush(b);
        }
    }

    void serve()
    {
        while (!stop_) {
            std::vector<pollfd> fds { { wake_[0], POLLIN, 0 } };
            std::vector<Board *> owners { nullptr };
            {
                std::lock_guard lock(mutex_);
                for (auto &b : boards_) {
                    if (b->deviceEnd >= 0) {
                        fds.push_back({ b->deviceEnd, POLLIN, 0 });
                        owners.push_back(b.get());
                    }
                }
            }
            if (::poll(fds.data(), fds.size(), 100) <= 0) {
                continue;
            }
            char drain[16];
            while (::read(wake_[0], drain, sizeof drain) > 0) { }
            std::lock_guard lock(mutex_);
            for (std::size_t i = 1; i < fds.size(); ++i) {
                Board &b = *owners[i];
                if ((fds[i].revents & POLLIN) == 0 || b.deviceEnd != fds[i].fd) {
                    continue;
                }
                receive(b);
            }
        }
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<Board>> boards_;
    int wake_[2] = { -1, -1 };
    std::atomic<bool> stop_ { false };
    std::thread pump_;
};

} // namespace rigs
