// portprobe-io: the board from scripts and test rigs. The console's device
// link, unchanged, behind a command line: list the boards, set Port1, read
// Port0 once or at an interval. Data go to standard output, messages to
// standard error, and the exit status says what happened (cli/io_args.h).

#include "cli/io_args.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/hid.h"
#include "platform/sim/sim_board.h"
#include "portprobe_build.h"
#include "support/QuillFunc_Common.h"
#include "support/QuillFunc_INI.h"
#include "support/SettingFiles.h"
#include "usbio/QuillFunc_USBIO.h"

#ifdef __linux__
#include "platform/linux/hid_hidraw.h"
#endif

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace portprobe_io;
using namespace platform::hidconst;
namespace usbio = QuillFunc_USBIO;

constexpr const char *Program = "portprobe-io";
constexpr std::uint16_t DefaultVendorId = 0x1352;
constexpr std::uint16_t DefaultProductId = 0x0100;

constexpr const char *HelpText =
    "Usage: portprobe-io [OPTION]... COMMAND\n"
    "Drive a USB-IO board (HID class) from scripts: Port1's four outputs, Port0's\n"
    "eight inputs, through the same device link as the PORTPROBE console.\n"
    "\n"
    "Commands:\n"
    "  list                 the HID devices present (* marks the target board)\n"
    "  write VALUE          set Port1: 0 to 15, 0x0A, or four bits P1_3 first (1010)\n"
    "  read                 read Port0 once: decimal, hexadecimal, bits P0_7 first\n"
    "  watch                read Port0 at an interval, one time-stamped line each,\n"
    "                       until interrupted, COUNT readings, or the board is lost\n"
    "\n"
    "Options:\n"
    "  --vid HEX, --pid HEX the board's IDs (default: the console's setting.ini,\n"
    "                       else 1352 and 100)\n"
    "  --interval MS        watch: time between readings, 0 to 2147483647 (1000)\n"
    "  --count N            watch: stop after N readings\n"
    "  --json               one JSON object per line\n"
    "  --virtual            the virtual board instead of a real one\n"
    "  --trace              the device link's steps and reports on standard error\n"
    "  -h, --help           this text;  --version  the version\n"
    "\n"
    "Exit status: 0 done, 1 board not found, 2 usage, 3 the board stopped\n"
    "answering or was lost, 4 no access to the board.\n";

// ------------------------------------------------------------ output

void message(const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", Program, text.c_str());
}

std::string idText(std::uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", id);
    return text;
}

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// ISO 8601 local time to the millisecond with the zone's offset. The offset
// is the platform clock's local time less the UTC second, in whole minutes,
// so a second ticking between the two samples does not show.
std::string stamp()
{
    const auto utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const platform::LocalTime local = platform::clock().now();
    const std::int64_t localSeconds = daysFromCivil(local.year, static_cast<unsigned>(local.month),
                                          static_cast<unsigned>(local.day))
            * 86400
        + local.hour * 3600 + local.minute * 60 + local.second;
    const std::int64_t utcSeconds = utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000;
    const auto offsetMinutes = static_cast<std::int64_t>(
        std::llround(static_cast<double>(localSeconds - utcSeconds) / 60.0));
    const std::int64_t shownMs = utcMs + offsetMinutes * 60000;
    const std::int64_t shownSeconds = shownMs >= 0 ? shownMs / 1000 : (shownMs - 999) / 1000;
    const std::int64_t days =
        shownSeconds >= 0 ? shownSeconds / 86400 : (shownSeconds - 86399) / 86400;
    const std::int64_t secondOfDay = shownSeconds - days * 86400;
    int year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    const std::int64_t offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month,
        day, static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
        static_cast<int>(secondOfDay % 60), static_cast<int>(shownMs - shownSeconds * 1000),
        offsetMinutes < 0 ? '-' : '+', static_cast<int>(offset / 60),
        static_cast<int>(offset % 60));
    return text;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// One port value: "166 0xA6 10100110", or its JSON object. Port1 shows its
// four lines, Port0 its eight; a time stamp leads when given.
void printValue(
    const Options &o, const char *port, unsigned value, int bits, const std::string &time = {})
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", value);
    const std::string pattern = bitString(value, bits);
    if (o.json) {
        std::printf("{%s\"port\":\"%s\",\"value\":%u,\"hex\":\"%s\",\"bits\":\"%s\"}\n",
            time.empty() ? "" : ("\"time\":" + jsonString(time) + ",").c_str(), port, value, hex,
            pattern.c_str());
    } else {
        std::printf(
            "%s%s%u %s %s\n", time.c_str(), time.empty() ? "" : " ", value, hex, pattern.c_str());
    }
    std::fflush(stdout);
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::uint8_t b : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, text.empty() ? "%02X" : " %02X", b);
        text += two;
    }
    return text;
}

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

struct Ids
{
    std::uint16_t vendor = DefaultVendorId;
    std::uint16_t product = DefaultProductId;
};

// The IDs stored by the console (support/SettingFiles.h); a key found nowhere
// keeps the default.
bool readSettingIds(Ids &ids, const Options &o)
{
    const std::vector<std::string> files = gSettingFiles().readOrder();
    const auto take = [&](const char *key, const char *what, std::uint16_t &id) {
        for (const std::string &file : files) {
            const std::string text = gGetIniString(file, SettingSection, key, "");
            if (text.empty()) {
                continue;
            }
            if (const auto value = parseHexId(text)) {
                id = *value;
                return true;
            }
            message(file + ": the " + what + " ID \"" + text
                + "\" is not a hexadecimal ID from 0 to FFFF; give --"
                + (what[0] == 'v' ? "vid" : "pid"));
            return false;
        }
        return true;
    };
    if (!o.vendorId && !take(VendorIdKey, "vendor", ids.vendor)) {
        return false;
    }
    if (!o.productId && !take(ProductIdKey, "product", ids.product)) {
        return false;
    }
    if (o.vendorId) {
        ids.vendor = *o.vendorId;
    }
    if (o.productId) {
        ids.product = *o.productId;
    }
    return true;
}

// ------------------------------------------------------------ enumeration

struct Interface
{
    std::string path;
    platform::HidAttributes attributes;
    platform::HidCaps caps;
};

// Every HID interface @p api can examine, its IDs and report lengths, opened
// for queries only (no read or write access asked).
std::vector<Interface> enumerate(platform::HidApi &api)
{
    std::vector<Interface> found;
    platform::HidGuid guid;
    api.getHidGuid(guid);
    const platform::HidHandle set = api.getClassDevs(guid, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == platform::InvalidHidHandle) {
        return found;
    }
    for (std::uint32_t index = 0;; ++index) {
        platform::HidInterfaceData data;
        data.cbSize = 28;
        if (!api.enumDeviceInterfaces(set, guid, index, data)) {
            break;
        }
        std::uint32_t needed = 0;
        api.getDeviceInterfaceDetail(set, data, nullptr, 0, &needed);
        if (needed < 5 || needed > 0x10000) {
            continue;
        }
        std::vector<std::uint8_t> detail(needed + 1, 0);
        const std::uint32_t header = 5;
        std::memcpy(detail.data(), &header, sizeof header);
        if (!api.getDeviceInterfaceDetail(set, data, detail.data(), needed, &needed)) {
            continue;
        }
        Interface entry;
        const char *path = reinterpret_cast<const char *>(detail.data() + 4);
        entry.path.assign(path, strnlen(path, detail.size() - 4));
        const platform::HidHandle file =
            api.createFile(entry.path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
        if (file == platform::InvalidHidHandle) {
            continue;
        }
        entry.attributes.Size = 12;
        const bool known = api.getAttributes(file, entry.attributes);
        platform::HidPreparsedData preparsed = 0;
        if (known && api.getPreparsedData(file, preparsed)) {
            api.getCaps(preparsed, entry.caps);
            api.freePreparsedData(preparsed);
        }
        api.closeHandle(file);
        if (known) {
            found.push_back(std::move(entry));
        }
    }
    api.destroyDeviceInfoList(set);
    return found;
}

bool isTarget(const Interface &i, const Ids &ids)
{
    return i.attributes.VendorID == ids.vendor && i.attributes.ProductID == ids.product;
}

// What the query enumeration sees. On Linux the hidraw backend asks for the
// node's rights before it will even give IDs, so a second instance that
// skips that check (and opens no node) also sees the boards we may not use.
struct Presence
{
#ifdef __linux__
    explicit Presence(bool virtualBoard)
    {
        if (!virtualBoard) {
            platform::linux_hid::HidrawOptions o;
            o.nodeAccessible = [](const std::string &) { return true; };
            o.openNode = [](const std::string &, int) { return -1; };
            probe.emplace(std::move(o));
        }
    }
    std::optional<platform::linux_hid::HidrawHid> probe;
    platform::HidApi &api()
    {
        return probe ? static_cast<platform::HidApi &>(*probe) : platform::hid();
    }
#else
    explicit Presence(bool) { }
    platform::HidApi &api()
    {
        return platform::hid();
    }
#endif
};

// Whether the link could open @p path for reading and writing.
bool accessible(const std::string &path)
{
    platform::HidApi &api = platform::hid();
    const platform::HidHandle file = api.createFile(
        path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (file == platform::InvalidHidHandle) {
        return false;
    }
    api.closeHandle(file);
    return true;
}

std::string accessHint()
{
#ifdef __linux__
    return "; install the udev rule 70-portprobe.rules (for other IDs copy it to "
           "/etc/udev/rules.d with them), or give the node to the plugdev group "
           "(GROUP=\"plugdev\", MODE=\"0660\") and join it, then plug the board in again";
#else
    return "; another program may hold it";
#endif
}

// Why the link found no board: the status and its message.
int notFound(const Options &o, const Ids &ids)
{
    Presence presence(o.virtualBoard);
    for (const Interface &i : enumerate(presence.api())) {
        if (isTarget(i, ids)) {
            message("no access to board " + idText(ids.vendor) + "/" + idText(ids.product) + " at "
                + i.path + accessHint());
            return NoAccess;
        }
    }
    message("no board " + idText(ids.vendor) + "/" + idText(ids.product) + " found");
    return NotFound;
}

// ------------------------------------------------------------ commands

int runList(const Options &o, const Ids &ids)
{
    Presence presence(o.virtualBoard);
    bool targetFound = false;
    bool targetRefused = false;
    for (const Interface &i : enumerate(presence.api())) {
        const bool target = isTarget(i, ids);
        const bool open = accessible(i.path);
        targetFound = targetFound || (target && open);
        targetRefused = targetRefused || (target && !open);
        if (o.json) {
            std::printf("{\"vid\":\"%s\",\"pid\":\"%s\",\"version\":\"%s\",\"input\":%u,"
                        "\"output\":%u,\"path\":%s,\"target\":%s,\"access\":%s}\n",
                idText(i.attributes.VendorID).c_str(), idText(i.attributes.ProductID).c_str(),
                idText(i.attributes.VersionNumber).c_str(), i.caps.InputReportByteLength,
                i.caps.OutputReportByteLength, jsonString(i.path).c_str(),
                target ? "true" : "false", open ? "true" : "false");
        } else {
            std::printf("%c %s/%s  version %s  in %u  out %u  %s%s\n", target ? '*' : ' ',
                idText(i.attributes.VendorID).c_str(), idText(i.attributes.ProductID).c_str(),
                idText(i.attributes.VersionNumber).c_str(), i.caps.InputReportByteLength,
                i.caps.OutputReportByteLength, i.path.c_str(), open ? "" : "  (no access)");
        }
    }
    std::fflush(stdout);
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
    printValue(o, "Port1", o.value, 4);
    return Done;
}

int runRead(const Options &o, const Ids &ids)
{
    const ReportTrace trace(o.trace);
    std::int16_t value = 255;
    if (!gUSBIO_ReadP0(value)) {
        return failed(o, ids);
    }
    gUSBIO_Close();
    printValue(o, "Port0", static_cast<unsigned>(value), 8);
    return Done;
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
        printValue(o, "Port0", static_cast<unsigned>(value), 8, stamp());
    }
    gUSBIO_Close();
    return Done;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParseResult parsed = parseArguments(args);
    if (!parsed.options) {
        message(parsed.error + " (see portprobe-io --help)");
        return Usage;
    }
    const Options &o = *parsed.options;
    if (o.command == Command::Help) {
        std::fputs(HelpText, stdout);
        return Done;
    }
    if (o.command == Command::Version) {
        std::printf("portprobe-io %d.%d.%d\n", build::VersionMajor, build::VersionMinor,
            build::VersionRevision);
        return Done;
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
