#pragma once
// The HID class service over Linux hidraw: interfaces from /sys/class/hidraw
// (IDs from each device's uevent, so comparing IDs opens nothing), device
// nodes /dev/hidrawN opened non-blocking on first I/O, report lengths from the
// report descriptor in sysfs, overlapped reads emulated with poll().

#include "platform/hid_emulation.h"
#include "platform/linux/unique_fd.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
    struct Interface;

    /// The IDs of interface @p name, read through @p sysfsDir (the open class folder) or, when
    /// it is -1, through the sysfs root path.
    Interface interfaceOf(const std::string &name, int sysfsDir = -1) const;
    /// @p milliseconds cut to the wait limit.
    std::uint32_t limited(std::uint32_t milliseconds) const;

    HidrawOptions options_;
    std::size_t nodeOpens_ = 0;
    UniqueFd devDir_;
    /// Interfaces of the latest enumeration, so opening one needs no second look.
    std::map<std::string, std::pair<bool, std::pair<std::uint16_t, std::uint16_t>>> seen_;
};

/// Win32 error code for an errno value of a device call.
std::uint32_t win32ErrorFromErrno(int error);

/// Parses the HID_ID line of a uevent text: bus, vendor and product.
bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product);

} // namespace platform::linux_hid
