#pragma once
// The sysfs side of the hidraw backend: the hidrawN names /sys/class/hidraw
// lists, the vendor and product IDs from each device's uevent, and its report
// descriptor. None of this opens a device node, so comparing IDs never
// disturbs a device another program holds open.

#include "platform/emulation/hid_descriptor.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::linux_hid {

/// One hidrawN of the class folder and the IDs its uevent gave.
struct HidrawInterface
{
    std::string name; // hidrawN
    bool idsKnown = false;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

/// hidrawN -> N; -1 for any other name.
long nodeNumber(std::string_view name);

/// Reads the IDs of @p i from its uevent, through @p sysfsDir (the open class folder) or,
/// when it is -1, through @p sysfsRoot.
void readIds(HidrawInterface &i, const std::string &sysfsRoot, int sysfsDir);

/// The report descriptor of node @p name, parsed; not valid when it cannot be read.
HidReportInfo readReportInfo(const std::string &sysfsRoot, const std::string &name);

/// Parses the HID_ID line of a uevent text: bus, vendor and product.
bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product);

} // namespace platform::linux_hid
