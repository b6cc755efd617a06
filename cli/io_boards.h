#pragma once
// The HID interfaces portprobe-io can see, apart from the device link's own
// search: listed for "list", and asked again when the link finds no board, to
// tell "no access" from "not found".

#include "platform/hid.h"
#include "platform/hid_forward.h"
#include "usbio/QuillFunc_USBIO.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#ifdef __linux__
#include "platform/linux/hid_hidraw.h"
#endif

namespace portprobe_io {

/// The IDs searched for: from the command line (16 bits) or the console's
/// setting.ini (as the console reads them, up to 32 bits).
struct Ids
{
    std::int32_t vendor = 0;
    std::int32_t product = 0;
};

struct Interface
{
    std::string path;
    platform::HidAttributes attributes;
    platform::HidCaps caps;
};

/// Every HID interface @p api can examine, its IDs and report lengths, opened
/// for queries only (no read or write access asked).
std::vector<Interface> enumerate(platform::HidApi &api);

/// Whether the device link's search would take @p i.
inline bool isTarget(const Interface &i, const Ids &ids)
{
    return QuillFunc_USBIO::IdMatches(ids.vendor, i.attributes.VendorID)
        && QuillFunc_USBIO::IdMatches(ids.product, i.attributes.ProductID);
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

/// The HID service with one board chosen: every call goes to the service
/// underneath, but a search finds only the interface at the chosen path, so the
/// device link takes that board as the first match.
class ChosenBoard final : public platform::HidForward
{
public:
    ChosenBoard(platform::HidApi &api, std::string path)
        : HidForward(api), api_(api), path_(std::move(path))
    { }

    bool enumDeviceInterfaces(platform::HidHandle set, const platform::HidGuid &guid,
        std::uint32_t index, platform::HidInterfaceData &data) override;

private:
    platform::HidApi &api_;
    std::string path_;
};

/// Whether the link could open @p path for reading and writing.
bool accessible(const std::string &path);

/// What a user can do about a board this user may not open.
std::string accessHint();

} // namespace portprobe_io
