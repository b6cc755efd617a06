#pragma once
// The HID class service over Linux hidraw: interfaces from /sys/class/hidraw
// (IDs from each device's uevent, so comparing IDs opens nothing), device
// nodes /dev/hidrawN opened non-blocking on first I/O, report lengths from the
// report descriptor in sysfs, overlapped reads emulated with poll().

#include "platform/emulation/hid_emulation.h"
#include "platform/linux/unique_fd.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::linux_hid {

struct HidrawOptions
{
    std::string sysfsRoot = "/sys/class/hidraw";
    std::string devRoot = "/dev";
    /// Opens a device node: open(2) unless replaced (tests hand out a stand-in).
    std::function<int(const std::string &path, int flags)> openNode;
    /// Whether the caller may read and write a device node: access(2) unless replaced.
    std::function<bool(const std::string &path)> nodeAccessible;
    /// Upper bound of a wait in milliseconds (tests shorten time-outs); the
    /// time asked for is still recorded.
    std::optional<std::uint32_t> waitLimitMs;
};

class HidrawHid final : public HidEmulation
{
public:
    explicit HidrawHid(HidrawOptions options = {});
    ~HidrawHid() override;

    /// Device nodes opened so far.
    std::size_t nodeOpens() const { return nodeOpens_; }

    std::uint64_t getTickCount64() override;

protected:
    std::vector<HidInterface> enumerate() override;
    std::unique_ptr<HidDevice> open(
        const std::string &path, bool overlapped, std::uint32_t &error) override;
    void idle(std::uint32_t milliseconds) override;
    /// The system's (errno) text of the matching error.
    std::string messageText(std::uint32_t code) override;

private:
    class Device;
    /// One hidrawN of the class folder and the IDs its uevent gave.
    struct Interface
    {
        std::string name; // hidrawN
        bool idsKnown = false;
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
    };

    /// Reads the IDs of @p i from its uevent, through @p sysfsDir (the open class folder) or,
    /// when it is -1, through the sysfs root path.
    void readIds(Interface &i, int sysfsDir) const;
    /// @p milliseconds cut to the wait limit.
    std::uint32_t limited(std::uint32_t milliseconds) const;

    HidrawOptions options_;
    std::size_t nodeOpens_ = 0;
    UniqueFd devDir_;
    /// The interfaces of the latest enumeration as the folder listed them, so opening one needs
    /// no second look; kept from one search to the next, so a search allocates nothing here.
    std::vector<Interface> seen_;
    /// Node number and index in seen_, in enumeration order: by number, then name.
    using Key = std::pair<long, std::uint32_t>;
    std::vector<Key> order_;
    /// Where in order_ the next open looks first.
    std::size_t next_ = 0;
    bool before(const Key &a, const Key &b) const;
};

/// Win32 error code for an errno value of a device call.
std::uint32_t win32ErrorFromErrno(int error);

/// Parses the HID_ID line of a uevent text: bus, vendor and product.
bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product);

} // namespace platform::linux_hid
