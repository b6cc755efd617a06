// portprobe-io: the board from scripts and test rigs. The console's device
// link, unchanged, behind a command line: list the boards, set Port1, read
// Port0 once or at an interval. Data go to standard output, messages to
// standard error, and the exit status says what happened (cli/io_args.h).

#include "cli/io_args.h"
#include "cli/io_boards.h"
#include "cli/io_output.h"
#include "platform/hid.h"
#include "platform/sim/sim_board.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_Common.h"
#include "support/SettingFiles.h"
#include "usbio/QuillFunc_USBIO.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace portprobe_io;
using namespace platform::hidconst;
namespace usbio = QuillFunc_USBIO;

constexpr const char *HelpText =
    "Usage: portprobe-io [OPTION]... COMMAND\n"
    "Drive a USB-IO board (HID class) from scripts: Port1's four outputs, Port0's\n"
    "eight inputs, through the same device link as the PORTPROBE console.\n"
    "\n"
    "Commands:\n"
    "  list                 the HID devices present; the boards with the IDs are\n"
    "                       numbered from 1 and marked *\n"
    "  write VALUE          set Port1: 0 to 15, 0x0A, or four bits P1_3 first (1010)\n"
    "  read                 read Port0 once: decimal, hexadecimal, bits P0_7 first\n"
    "  watch                read Port0 at an interval, one time-stamped line each,\n"
    "                       until interrupted, COUNT readings, or the board is lost\n"
    "\n"
    "Options:\n"
    "  --vid HEX, --pid HEX the board's IDs (default: the console's setting.ini,\n"
    "                       else 1352 and 100)\n"
    "  --board N            the board list numbers N (default: the first)\n"
    "  --path PATH          the board at this device path\n"
    "  --interval MS        watch: time between readings, 0 to 2147483647 (1000)\n"
    "  --count N            watch: stop after N readings\n"
    "  --json               one JSON object per line\n"
    "  --virtual            the virtual board instead of a real one\n"
    "  --trace              the device link's steps and reports on standard error\n"
    "  -h, --help           this text;  --version  the version\n"
    "\n"
    "Exit status: 0 done, 1 board not found, 2 usage, 3 the board stopped\n"
    "answering or was lost, 4 no access to the board, 5 standard output could\n"
    "not be written (quietly when a pipe's reader has gone).\n";

// The console's report trace, to standard error.
void installTrace()
{
    usbio::SetTraceSink([](std::string_view label, std::uint32_t code, std::string_view text) {
        std::fprintf(stderr, "%s \"%.*s\" error %" PRIu32 " (%.*s)\n", stamp().c_str(),
            static_cast<int>(label.size()), label.data(), code, static_cast<int>(text.size()),
            text.data());
    });
}

// ------------------------------------------------------------ settings

// The IDs the console would search for where the command line gives none:
// setting.ini found and read as the console does (support/SettingFiles.h,
// gReadHexId), so a value it takes is taken here, above FFFF too.
bool readSettingIds(Ids &ids, const Options &o)
{
    const SettingFiles files = gSettingFiles();
    const auto take = [&](const char *key, const char *fallback, const char *what,
                          const char *option, std::int32_t &id) {
        std::string from;
        const std::string text = gReadSetting(files, key, fallback, &from);
        if (const auto value = gReadHexId(text)) {
            id = *value;
            return true;
        }
        message(from + ": the " + what + " ID \"" + text
            + "\" is not hexadecimal digits up to FFFFFFFF; give " + option);
        return false;
    };
    if (o.vendorId) {
        ids.vendor = *o.vendorId;
    } else if (!take(VendorIdKey, DefaultVendorIdText, "vendor", "--vid", ids.vendor)) {
        return false;
    }
    if (o.productId) {
        ids.product = *o.productId;
    } else if (!take(ProductIdKey, DefaultProductIdText, "product", "--pid", ids.product)) {
        return false;
    }
    return true;
}

// ------------------------------------------------------------ enumeration
// Why the link found no board: the status and its message.
int notFound(const Options &o, const Ids &ids)
{
    Presence presence(o.virtualBoard);
    for (const Interface &i : enumerate(presence.api())) {
        if (isTarget(i, ids) && (!o.path || i.path == *o.path)) {
            message("no access to board " + idText(ids.vendor) + "/" + idText(ids.product) + " at "
                + i.path + accessHint());
            return NoAccess;
        }
    }
    message("no board " + idText(ids.vendor) + "/" + idText(ids.product)
        + (o.path ? " at " + *o.path : "") + " found");
    return NotFound;
}

// The device path of the board --board chooses, or the status why there is none.
std::optional<std::string> numberedBoard(const Options &o, const Ids &ids, int &status)
{
    Presence presence(o.virtualBoard);
    std::uint32_t n = 0;
    for (const Interface &i : enumerate(presence.api())) {
        if (isTarget(i, ids) && ++n == *o.board) {
            return i.path;
        }
    }
    message("no board " + std::to_string(*o.board) + ": " + std::to_string(n) + " board"
        + (n == 1 ? "" : "s") + " " + idText(ids.vendor) + "/" + idText(ids.product) + " found");
    status = NotFound;
    return std::nullopt;
}

// ------------------------------------------------------------ commands

int runList(const Options &o, const Ids &ids)
{
    Presence presence(o.virtualBoard);
    bool targetFound = false;
    bool targetRefused = false;
    std::uint32_t boards = 0;
    for (const Interface &i : enumerate(presence.api())) {
        const bool target = isTarget(i, ids);
        const std::string number = target ? std::to_string(++boards) : "";
        const bool open = accessible(i.path);
        targetFound = targetFound || (target && open);
        targetRefused = targetRefused || (target && !open);
        const std::string vid = idText(i.attributes.VendorID);
        const std::string pid = idText(i.attributes.ProductID);
        const std::string version = idText(i.attributes.VersionNumber);
        const std::string input = std::to_string(i.caps.InputReportByteLength);
        const std::string output = std::to_string(i.caps.OutputReportByteLength);
        const bool written = o.json
            ? out("{\"vid\":\"" + vid + "\",\"pid\":\"" + pid + "\",\"version\":\"" + version
                + "\",\"input\":" + input + ",\"output\":" + output + ",\"path\":"
                + jsonString(i.path) + ",\"target\":" + (target ? "true" : "false") + ",\"board\":"
                + (target ? number : "null") + ",\"access\":" + (open ? "true" : "false") + "}\n")
            : out((target ? number + " * " : std::string(4, ' ')) + vid + "/" + pid + "  version "
                + version + "  in " + input + "  out " + output + "  " + i.path
                + (open ? "" : "  (no access)") + "\n");
        if (!written) {
            return outputFailed();
        }
    }
    if (targetFound) {
        return Done;
    }
    const std::string name = idText(ids.vendor) + "/" + idText(ids.product);
    if (targetRefused) {
        message("no access to board " + name + accessHint());
        return NoAccess;
    }
    message("no board " + name + " found");
    return NotFound;
}

// The link's report trace, for --trace: each report as hex bytes.
struct ReportTrace
{
    explicit ReportTrace(bool on)
    {
        if (!on) {
            return;
        }
        usbio::SetReportSink(
            [](usbio::ReportDirection direction, std::span<const std::uint8_t> bytes, bool ok) {
                const bool out = direction == usbio::ReportDirection::Output;
                if (!out && !ok) {
                    std::fprintf(stderr, "%s in: no report\n", stamp().c_str());
                    return;
                }
                std::fprintf(stderr, "%s %s %zu bytes%s: %s\n", stamp().c_str(), out ? "out" : "in",
                    bytes.size(), ok ? "" : " (write failed)", hexBytes(bytes).c_str());
            });
    }
    ~ReportTrace() { usbio::SetReportSink(nullptr); }
    ReportTrace(const ReportTrace &) = delete;
    ReportTrace &operator=(const ReportTrace &) = delete;
};

// A failed port operation: the link's read event exists once one of its
// searches succeeded, so without it the board was never found.
int failed(const Options &o, const Ids &ids)
{
    if (usbio::State().ReadEvent == 0) {
        return notFound(o, ids);
    }
    message("board " + idText(ids.vendor) + "/" + idText(ids.product)
        + " stopped answering or was lost");
    return Lost;
}

int runWrite(const Options &o, const Ids &ids)
{
    const ReportTrace trace(o.trace);
    if (!gUSBIO_WriteP1(o.value)) {
        return failed(o, ids);
    }
    gUSBIO_Close();
    return printValue(o, "Port1", o.value, 4) ? Done : outputFailed();
}

int runRead(const Options &o, const Ids &ids)
{
    const ReportTrace trace(o.trace);
    std::int16_t value = 255;
    if (!gUSBIO_ReadP0(value)) {
        return failed(o, ids);
    }
    gUSBIO_Close();
    return printValue(o, "Port0", static_cast<unsigned>(value), 8) ? Done : outputFailed();
}

int runWatch(const Options &o, const Ids &ids)
{
    const ReportTrace trace(o.trace);
    // Readings keep their schedule: a slow read shortens the next pause.
    auto due = std::chrono::steady_clock::now();
    for (std::uint32_t n = 0; !o.count || n < *o.count; ++n) {
        if (n > 0) {
            due += std::chrono::milliseconds(o.intervalMs);
            std::this_thread::sleep_until(due);
        }
        std::int16_t value = 255;
        if (!gUSBIO_ReadP0(value)) {
            return failed(o, ids);
        }
        // A reader gone (EPIPE with SIGPIPE ignored) ends the watch here.
        if (!printValue(o, "Port0", static_cast<unsigned>(value), 8, stamp())) {
            gUSBIO_Close();
            return outputFailed();
        }
    }
    gUSBIO_Close();
    return Done;
}

int run(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParseResult parsed = parseArguments(args);
    if (!parsed.options) {
        message(parsed.error + " (see portprobe-io --help)");
        return Usage;
    }
    const Options &o = *parsed.options;
    if (o.command == Command::Help) {
        return out(HelpText) ? Done : outputFailed();
    }
    if (o.command == Command::Version) {
        return out("portprobe-io " + std::to_string(build::VersionMajor) + "."
                   + std::to_string(build::VersionMinor) + "."
                   + std::to_string(build::VersionRevision) + "\n")
            ? Done
            : outputFailed();
    }
    // Failures are logged as the console logs them; nothing asks on screen.
    gbooHideErrMsg = true;

    std::optional<platform::sim::SimHid> sim;
    std::optional<platform::ScopedSeam<platform::HidApi>> simSeam;
    if (o.virtualBoard) {
        sim.emplace(platform::sim::SimTime::Real);
        sim->addBoard();
        simSeam.emplace(*sim);
    }
    Ids ids;
    if (!readSettingIds(ids, o)) {
        return Usage;
    }
    TargetVendorID = ids.vendor;
    TargetProductID = ids.product;
    if (o.trace) {
        installTrace();
    }
    // A board chosen among several: the link sees only it, and takes it as the first match.
    std::optional<ChosenBoard> chosen;
    std::optional<platform::ScopedSeam<platform::HidApi>> chosenSeam;
    if ((o.board || o.path) && o.command != Command::List) {
        int status = Done;
        const std::optional<std::string> path = o.path ? o.path : numberedBoard(o, ids, status);
        if (!path) {
            return status;
        }
        chosen.emplace(platform::hid(), *path);
        chosenSeam.emplace(*chosen);
    }
    switch (o.command) {
    case Command::List:
        return runList(o, ids);
    case Command::Write:
        return runWrite(o, ids);
    case Command::Read:
        return runRead(o, ids);
    case Command::Watch:
        return runWatch(o, ids);
    default:
        return Usage;
    }
}

} // namespace

int main(int argc, char **argv)
{
    return closeOutput(run(argc, argv));
}
