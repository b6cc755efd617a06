// Reading the hidraw class folder in sysfs: node names, uevent IDs and
// report descriptors. An enumeration reads one uevent per interface, so each
// is opened relative to the open class folder and parsed without allocating.

#include "platform/linux/hidraw_sysfs.h"

#include "platform/linux/unique_fd.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace platform::linux_hid {
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

} // namespace

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

bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product)
{
    bool ended = false;
    const std::string_view line = hidIdLine(uevent, ended);
    return !line.empty() && parseHidIdLine(line, bus, vendor, product);
}

void readIds(HidrawInterface &i, const std::string &sysfsRoot, int sysfsDir)
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
        fd.reset(
            ::open((sysfsRoot + "/" + i.name + std::string(Uevent)).c_str(), O_RDONLY | O_CLOEXEC));
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

HidReportInfo readReportInfo(const std::string &sysfsRoot, const std::string &name)
{
    std::vector<std::uint8_t> bytes;
    if (!readSmallFile(
            sysfsRoot + "/" + name + "/device/report_descriptor", bytes, MaxHidDescriptorSize)) {
        return {};
    }
    return parseHidReportDescriptor(bytes);
}

} // namespace platform::linux_hid
