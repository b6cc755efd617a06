#include "cli/io_boards.h"

#include <cstring>

namespace portprobe_io {

using namespace platform::hidconst;

namespace {

// The device path of one enumerated interface, "" when it cannot be had.
std::string pathOf(
    platform::HidApi &api, platform::HidHandle set, const platform::HidInterfaceData &data)
{
    std::uint32_t needed = 0;
    api.getDeviceInterfaceDetail(set, data, nullptr, 0, &needed);
    if (needed < 5 || needed > 0x10000) {
        return {};
    }
    std::vector<std::uint8_t> detail(needed + 1, 0);
    const std::uint32_t header = 5;
    std::memcpy(detail.data(), &header, sizeof header);
    if (!api.getDeviceInterfaceDetail(set, data, detail.data(), needed, &needed)) {
        return {};
    }
    const char *path = reinterpret_cast<const char *>(detail.data() + 4);
    return { path, strnlen(path, detail.size() - 4) };
}

} // namespace

bool ChosenBoard::enumDeviceInterfaces(platform::HidHandle set, const platform::HidGuid &guid,
    std::uint32_t index, platform::HidInterfaceData &data)
{
    if (index > 0) {
        // Past the one interface: the service's own end of the list and its code.
        return api_.enumDeviceInterfaces(set, guid, 0xFFFFFFFFu, data);
    }
    for (std::uint32_t i = 0; api_.enumDeviceInterfaces(set, guid, i, data); ++i) {
        if (pathOf(api_, set, data) == path_) {
            return true;
        }
    }
    return false;
}

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
        Interface entry;
        entry.path = pathOf(api, set, data);
        if (entry.path.empty()) {
            continue;
        }
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

} // namespace portprobe_io
