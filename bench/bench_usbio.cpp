// The device link's costs beside the bare system work they stand on:
// gUSBIO_ReadP0 on an open link (virtual board; hidraw backend over a
// socket-pair node) and FindDevice over 256 sysfs interfaces.

#include "usbio/hid_rigs_hidraw.h"

#include "usbio/QuillFunc_USBIO.h"

#include <benchmark/benchmark.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

namespace usbio = QuillFunc_USBIO;

void openLink()
{
    usbio::ResetState();
    TargetVendorID = 0x1352;
    TargetProductID = 0x0100;
    std::int16_t value = 0;
    if (!gUSBIO_ReadP0(value)) {
        std::abort();
    }
}

// ---------------------------------------------------------------- virtual board

void BM_Sim_Bare_BoardExchange(benchmark::State &state)
{
    platform::sim::SimBoard board;
    std::vector<std::uint8_t> out { 0, 3, 0, 0, 0, 0, 0, 0, 0 };
    std::vector<std::uint8_t> in;
    for (auto _ : state) {
        board.receiveOutputReport(out);
        board.takeInputReport(in);
        benchmark::DoNotOptimize(in.data());
    }
}
BENCHMARK(BM_Sim_Bare_BoardExchange);

void BM_Sim_gUSBIO_ReadP0(benchmark::State &state)
{
    platform::sim::SimHid hid;
    hid.addBoard().setPort0(0x5A);
    platform::ScopedSeam<platform::HidApi> seam(hid);
    openLink();
    std::int16_t value = 0;
    for (auto _ : state) {
        gUSBIO_ReadP0(value);
        benchmark::DoNotOptimize(value);
    }
    usbio::ResetState();
}
BENCHMARK(BM_Sim_gUSBIO_ReadP0);

// ---------------------------------------------------------------- hidraw over the stand-in node

void BM_Hidraw_Bare_WritePollRead(benchmark::State &state)
{
    rigs::HidrawRig rig;
    rig.addBoard();
    const int fd = rig.openStandIn(0);
    const std::uint8_t out[9] = { 0, 3 };
    std::uint8_t in[8];
    for (auto _ : state) {
        if (::write(fd, out, sizeof out) != sizeof out) {
            state.SkipWithError("write");
            break;
        }
        pollfd p { fd, POLLIN, 0 };
        ::poll(&p, 1, 6000);
        benchmark::DoNotOptimize(::read(fd, in, sizeof in));
    }
    ::close(fd);
}
BENCHMARK(BM_Hidraw_Bare_WritePollRead)->UseRealTime();

void BM_Hidraw_gUSBIO_ReadP0(benchmark::State &state)
{
    rigs::HidrawRig rig(6000);
    rig.addBoard();
    platform::ScopedSeam<platform::HidApi> seam(rig.api());
    openLink();
    std::int16_t value = 0;
    for (auto _ : state) {
        if (!gUSBIO_ReadP0(value)) {
            state.SkipWithError("read failed");
            break;
        }
    }
    usbio::ResetState();
}
BENCHMARK(BM_Hidraw_gUSBIO_ReadP0)->UseRealTime();

// ---------------------------------------------------------------- search over 256 interfaces

class FakeSysfs
{
public:
    FakeSysfs()
    {
        std::filesystem::create_directories(tmp.path() / "sys");
        std::filesystem::create_directories(tmp.path() / "dev");
        for (int i = 0; i < 256; ++i) {
            const std::string name = "hidraw" + std::to_string(i);
            const auto device = tmp.path() / "sys" / name / "device";
            std::filesystem::create_directories(device);
            char id[64];
            std::snprintf(id, sizeof id, "0003:%08X:%08X", 0x1352, i == 255 ? 0x0100 : 0x0200 + i);
            std::ofstream(device / "uevent")
                << "DRIVER=hid-generic\nHID_ID=" << id << "\nHID_NAME=Some device " << i
                << "\nHID_PHYS=usb-0000:00:14.0-" << i << "/input0\nHID_UNIQ=\n";
            const auto d = rigs::descriptorFor(9, 9);
            std::ofstream(device / "report_descriptor", std::ios::binary)
                .write(reinterpret_cast<const char *>(d.data()),
                    static_cast<std::streamsize>(d.size()));
            std::ofstream(tmp.path() / "dev" / name) << "";
        }
    }
    std::string sys() const { return (tmp.path() / "sys").string(); }
    std::string dev() const { return (tmp.path() / "dev").string(); }
    fakes::TempDir tmp;
};

// The least a search can do: read every hidrawN's uevent, relative to the
// open class folder as the backend does, and look for the target's HID_ID.
// Out of line so that a profiler can count it apart from the set-up.
[[gnu::noinline]] int bareUeventWalk(const std::string &sys)
{
    constexpr char Uevent[] = "/device/uevent";
    char path[NAME_MAX + sizeof Uevent];
    char buffer[4096];
    int found = 0;
    DIR *dir = ::opendir(sys.c_str());
    while (const dirent *e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, "hidraw", 6) != 0) {
            continue;
        }
        const std::size_t length = std::strlen(e->d_name);
        std::memcpy(path, e->d_name, length);
        std::memcpy(path + length, Uevent, sizeof Uevent);
        const int fd = ::openat(::dirfd(dir), path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
        buffer[n > 0 ? n : 0] = 0;
        found += std::strstr(buffer, "HID_ID=0003:00001352:00000100") != nullptr;
    }
    ::closedir(dir);
    return found;
}

void BM_Search_Bare_UeventWalk(benchmark::State &state)
{
    FakeSysfs fs;
    const std::string sys = fs.sys();
    for (auto _ : state) {
        if (bareUeventWalk(sys) != 1) {
            state.SkipWithError("match not found");
            break;
        }
    }
}
BENCHMARK(BM_Search_Bare_UeventWalk);

void BM_Search_FindDevice(benchmark::State &state)
{
    FakeSysfs fs;
    platform::linux_hid::HidrawOptions options;
    options.sysfsRoot = fs.sys();
    options.devRoot = fs.dev();
    platform::linux_hid::HidrawHid hid(options);
    platform::ScopedSeam<platform::HidApi> seam(hid);
    usbio::ResetState();
    TargetVendorID = 0x1352;
    TargetProductID = 0x0100;
    for (auto _ : state) {
        if (!usbio::FindDevice()) {
            state.SkipWithError("match not found");
            break;
        }
        usbio::CloseHandles();
    }
    usbio::ResetState();
}
BENCHMARK(BM_Search_FindDevice);

} // namespace
