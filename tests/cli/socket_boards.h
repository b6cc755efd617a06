#pragma once
// Virtual boards another process reaches as hidraw devices: a stand-in sysfs
// tree (uevent IDs, report descriptor) and, for each board, a listening
// SOCK_SEQPACKET socket as its node. Programs run with the preloaded shim
// (hidraw_shim.cpp) that leads /sys/class/hidraw and /dev/hidrawN there. A
// thread serves the boards: output reports in, answers to every open file.

#include "platform/sim/sim_board.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rigs {

/// The board's report descriptor for the given Windows lengths.
inline std::vector<std::uint8_t> socketBoardDescriptor(std::uint16_t input, std::uint16_t output)
{
    std::vector<std::uint8_t> d(USBIO_BOARD_DESCRIPTOR_MAX);
    d.resize(usbio_board_descriptor(input, output, d.data()));
    return d;
}

class SocketBoards
{
public:
    /// The tree goes under @p root (sys/ and dev/).
    explicit SocketBoards(std::filesystem::path root) : root_(std::move(root))
    {
        std::filesystem::create_directories(root_ / "sys");
        std::filesystem::create_directories(root_ / "dev");
        (void)::pipe2(wake_, O_CLOEXEC | O_NONBLOCK);
        pump_ = std::thread([this] { serve(); });
    }
    ~SocketBoards()
    {
        stop_ = true;
        wake();
        pump_.join();
        for (auto &b : boards_) {
            closeBoard(*b);
        }
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    SocketBoards(const SocketBoards &) = delete;
    SocketBoards &operator=(const SocketBoards &) = delete;

    std::string sysfs() const { return (root_ / "sys").string(); }
    std::string dev() const { return (root_ / "dev").string(); }

    /// Adds hidrawN, N counting from 0. With @p loopback the board's Port0
    /// follows Port1, as with its outputs wired to its inputs.
    std::size_t add(platform::sim::SimBoardConfig config = {}, bool loopback = false)
    {
        std::lock_guard lock(mutex_);
        auto b = std::make_unique<Board>(config);
        b->loopback = loopback;
        b->name = "hidraw" + std::to_string(boards_.size());
        const auto device = root_ / "sys" / b->name / "device";
        std::filesystem::create_directories(device);
        char id[64];
        std::snprintf(id, sizeof id, "0003:%08X:%08X", config.vendorId, config.productId);
        std::ofstream(device / "uevent")
            << "DRIVER=hid-generic\nHID_ID=" << id << "\nHID_NAME=USB-IO\n";
        const auto descriptor =
            socketBoardDescriptor(config.inputReportByteLength, config.outputReportByteLength);
        std::ofstream(device / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char *>(descriptor.data()),
                static_cast<std::streamsize>(descriptor.size()));
        b->listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::snprintf(
            address.sun_path, sizeof address.sun_path, "%s", (root_ / "dev" / b->name).c_str());
        (void)::bind(b->listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        (void)::listen(b->listener, 16);
        boards_.push_back(std::move(b));
        wake();
        return boards_.size() - 1;
    }

    /// Runs @p f on board @p index's model while it is not serving.
    template<class F> auto with(std::size_t index, F &&f)
    {
        std::lock_guard lock(mutex_);
        return f(boards_.at(index)->model);
    }

    /// Pulls board @p index out: its node and sysfs entry go, open files end.
    void unplug(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        unplugLocked(*boards_.at(index));
    }

private:
    struct Board
    {
        explicit Board(platform::sim::SimBoardConfig c) : model(c) { }
        platform::sim::SimBoard model;
        std::string name;
        bool loopback = false;
        int listener = -1;
        std::vector<int> files;
    };

    void wake()
    {
        char c = 0;
        (void)::write(wake_[1], &c, 1);
    }

    static void closeBoard(Board &b)
    {
        for (int fd : b.files) {
            ::close(fd);
        }
        b.files.clear();
        if (b.listener >= 0) {
            ::close(b.listener);
            b.listener = -1;
        }
    }

    void unplugLocked(Board &b)
    {
        b.model.setPlugged(false);
        closeBoard(b);
        std::error_code ec;
        std::filesystem::remove(root_ / "dev" / b.name, ec);
        std::filesystem::remove_all(root_ / "sys" / b.name, ec);
    }

    // An output report in (Windows layout: byte 0 the report ID, as hidraw
    // takes it); the answers out to every open file, without the report-ID
    // byte hidraw leaves out for unnumbered reports.
    void receive(Board &b, const std::uint8_t *data, std::size_t size)
    {
        if (!b.model.countOperation()) {
            unplugLocked(b);
            return;
        }
        b.model.receiveOutputReport({ data, size });
        if (b.loopback) {
            b.model.setPort0(b.model.port1());
        }
        std::vector<std::uint8_t> report;
        while (b.model.takeInputReport(report)) {
            for (int fd : b.files) {
                (void)::send(fd, report.data() + 1, report.size() - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
        }
    }

    void serve()
    {
        while (!stop_) {
            std::vector<pollfd> fds { { wake_[0], POLLIN, 0 } };
            std::vector<std::pair<Board *, int>> owners { { nullptr, -1 } };
            {
                std::lock_guard lock(mutex_);
                for (auto &b : boards_) {
                    if (b->listener >= 0) {
                        fds.push_back({ b->listener, POLLIN, 0 });
                        owners.emplace_back(b.get(), -1);
                    }
                    for (int fd : b->files) {
                        fds.push_back({ fd, POLLIN, 0 });
                        owners.emplace_back(b.get(), fd);
                    }
                }
            }
            if (::poll(fds.data(), fds.size(), 200) <= 0) {
                continue;
            }
            char drain[16];
            while (::read(wake_[0], drain, sizeof drain) > 0) { }
            std::lock_guard lock(mutex_);
            for (std::size_t i = 1; i < fds.size(); ++i) {
                auto [b, file] = owners[i];
                if (fds[i].revents == 0) {
                    continue;
                }
                if (file < 0) {
                    if (b->listener == fds[i].fd) {
                        const int fd = ::accept4(b->listener, nullptr, nullptr, SOCK_CLOEXEC);
                        if (fd >= 0) {
                            b->files.push_back(fd);
                        }
                    }
                    continue;
                }
                auto it = std::find(b->files.begin(), b->files.end(), file);
                if (it == b->files.end()) {
                    continue; // unplugged meanwhile
                }
                std::uint8_t buffer[4096];
                const ssize_t n = ::recv(file, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    receive(*b, buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    ::close(file);
                    b->files.erase(it);
                }
            }
        }
    }

    std::filesystem::path root_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Board>> boards_;
    int wake_[2] = { -1, -1 };
    std::atomic<bool> stop_ { false };
    std::thread pump_;
};

} // namespace rigs
