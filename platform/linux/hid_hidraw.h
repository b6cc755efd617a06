#pragma once
// The HID class service over Linux hidraw: the backend's entry points. A
// search lists /sys/class/hidraw and remembers what it found, so the opens
// that follow it need no second look; the sysfs reading is hidraw_sysfs's,
// the device nodes are hidraw_node's.

#include "platform/emulation/hid_emulation.h"
#include "platform/linux/hidraw_node.h"
#include "platform/linux/hidraw_sysfs.h"
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
    using Interface = HidrawInterface;
    /// The interface @p name of the latest search, found the way a search opens them: the one
    /// after the last found first; nullptr when the search did not list it.
    const Interface *known(std::string_view name);

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

} // namespace platform::linux_hid
