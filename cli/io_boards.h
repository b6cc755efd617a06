#pragma once
// The HID interfaces portprobe-io can see, apart from the device link's own
// search: listed for "list", and asked again when the link finds no board, to
// tell "no access" from "not found".

#include "platform/hid.h"
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
class ChosenBoard final : public platform::HidApi
{
public:
    ChosenBoard(platform::HidApi &api, std::string path) : api_(api), path_(std::move(path)) { }

    bool enumDeviceInterfaces(platform::HidHandle set, const platform::HidGuid &guid,
        std::uint32_t index, platform::HidInterfaceData &data) override;

    void getHidGuid(platform::HidGuid &guid) override { api_.getHidGuid(guid); }
    platform::HidHandle getClassDevs(const platform::HidGuid &guid, std::uint32_t flags) override
    {
        return api_.getClassDevs(guid, flags);
    }
    bool getDeviceInterfaceDetail(platform::HidHandle set, const platform::HidInterfaceData &data,
        std::uint8_t *detail, std::uint32_t size, std::uint32_t *required) override
    {
        return api_.getDeviceInterfaceDetail(set, data, detail, size, required);
    }
    bool destroyDeviceInfoList(platform::HidHandle set) override
    {
        return api_.destroyDeviceInfoList(set);
    }
    platform::HidHandle createFile(const std::string &path, std::uint32_t access,
        std::uint32_t share, std::uint32_t creation, std::uint32_t flags) override
    {
        return api_.createFile(path, access, share, creation, flags);
    }
    bool closeHandle(platform::HidHandle h) override { return api_.closeHandle(h); }
    bool getAttributes(platform::HidHandle h, platform::HidAttributes &a) override
    {
        return api_.getAttributes(h, a);
    }
    bool getPreparsedData(platform::HidHandle h, platform::HidPreparsedData &p) override
    {
        return api_.getPreparsedData(h, p);
    }
    std::int32_t getCaps(platform::HidPreparsedData p, platform::HidCaps &caps) override
    {
        return api_.getCaps(p, caps);
    }
    bool freePreparsedData(platform::HidPreparsedData p) override
    {
        return api_.freePreparsedData(p);
    }
    platform::HidHandle createEvent(bool manual, bool initial) override
    {
        return api_.createEvent(manual, initial);
    }
    bool writeFile(platform::HidHandle f, const std::uint8_t *b, std::uint32_t n,
        std::uint32_t *written) override
    {
        return api_.writeFile(f, b, n, written);
    }
    bool readFile(platform::HidHandle f, std::uint8_t *b, std::uint32_t n, std::uint32_t *read,
        platform::HidOverlapped &o) override
    {
        return api_.readFile(f, b, n, read, o);
    }
    std::uint32_t waitForSingleObject(platform::HidHandle e, std::uint32_t ms) override
    {
        return api_.waitForSingleObject(e, ms);
    }
    bool cancelIo(platform::HidHandle f) override { return api_.cancelIo(f); }
    bool resetEvent(platform::HidHandle e) override { return api_.resetEvent(e); }
    std::uint64_t getTickCount64() override { return api_.getTickCount64(); }
    std::uint32_t getLastError() override { return api_.getLastError(); }
    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t id, std::uint32_t language,
        char *buffer, std::uint32_t size) override
    {
        return api_.formatMessage(flags, id, language, buffer, size);
    }

private:
    platform::HidApi &api_;
    std::string path_;
};

/// Whether the link could open @p path for reading and writing.
bool accessible(const std::string &path);

/// What a user can do about a board this user may not open.
std::string accessHint();

} // namespace portprobe_io
