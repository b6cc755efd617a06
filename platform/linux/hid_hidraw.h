#pragma once
// The HID class service over Linux hidraw: interfaces from /sys/class/hidraw
// (IDs from each device's uevent, so comparing IDs opens nothing), device
// nodes /dev/hidrawN opened non-blocking on first I/O, report lengths from the
// report descriptor in sysfs, overlapped reads emulated with poll().

#include "platform/hid.h"
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

class HidrawHid final : public HidApi
{
public:
    explicit HidrawHid(HidrawOptions options = {});
    ~HidrawHid() override;
    HidrawHid(const HidrawHid &) = delete;
    HidrawHid &operator=(const HidrawHid &) = delete;

    /// Milliseconds asked for by the latest wait.
    std::uint32_t lastWaitMilliseconds() const { return lastWaitMs_; }
    /// Device nodes opened so far.
    std::size_t nodeOpens() const { return nodeOpens_; }

    void getHidGuid(HidGuid &guid) override;
    HidHandle getClassDevs(const HidGuid &guid, std::uint32_t flags) override;
    bool enumDeviceInterfaces(HidHandle deviceInfoSet, const HidGuid &guid,
        std::uint32_t memberIndex, HidInterfaceData &data) override;
    bool getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
        std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize) override;
    bool destroyDeviceInfoList(HidHandle deviceInfoSet) override;
    HidHandle createFile(const std::string &path, std::uint32_t desiredAccess,
        std::uint32_t shareMode, std::uint32_t creationDisposition,
        std::uint32_t flagsAndAttributes) override;
    bool closeHandle(HidHandle handle) override;
    bool getAttributes(HidHandle device, HidAttributes &attributes) override;
    bool getPreparsedData(HidHandle device, HidPreparsedData &preparsedData) override;
    std::int32_t getCaps(HidPreparsedData preparsedData, HidCaps &caps) override;
    bool freePreparsedData(HidPreparsedData preparsedData) override;
    HidHandle createEvent(bool manualReset, bool initialState) override;
    bool writeFile(HidHandle file, const std::uint8_t *buffer, std::uint32_t length,
        std::uint32_t *written) override;
    bool readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length, std::uint32_t *read,
        HidOverlapped &overlapped) override;
    std::uint32_t waitForSingleObject(HidHandle event, std::uint32_t milliseconds) override;
    bool cancelIo(HidHandle file) override;
    bool resetEvent(HidHandle event) override;
    std::uint64_t getTickCount64() override;
    std::uint32_t getLastError() override { return lastError_; }
    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId,
        std::uint32_t languageId, char *buffer, std::uint32_t size) override;

private:
    struct Object;
    struct Interface;

    HidHandle add(std::unique_ptr<Object> object);
    Object *find(HidHandle handle, int kind);
    bool fail(std::uint32_t error);
    bool ensureOpen(Object &file);
    bool ensureDescriptor(Object &file);
    /// One non-blocking read into the pending read of @p event: 1 done, 0 nothing
    /// queued, -1 the device is gone.
    int tryRead(Object &event);
    void cancelReadsOf(HidHandle file);
    /// The IDs of interface @p name, read through @p sysfsDir (the open class folder) or, when
    /// it is -1, through the sysfs root path.
    Interface interfaceOf(const std::string &name, int sysfsDir = -1) const;

    HidrawOptions options_;
    std::map<HidHandle, std::unique_ptr<Object>> objects_;
    HidHandle nextHandle_ = 0x100;
    std::uint32_t lastError_ = 0;
    std::uint32_t lastWaitMs_ = 0;
    std::size_t nodeOpens_ = 0;
    UniqueFd devDir_;
    std::vector<std::uint8_t> scratch_;
    /// Interfaces of the latest enumeration, so opening one needs no second look.
    std::map<std::string, std::pair<bool, std::pair<std::uint16_t, std::uint16_t>>> seen_;
};

/// Win32 error code for an errno value of a device call.
std::uint32_t win32ErrorFromErrno(int error);

/// Parses the HID_ID line of a uevent text: bus, vendor and product.
bool parseHidId(
    std::string_view uevent, std::uint32_t &bus, std::uint16_t &vendor, std::uint16_t &product);

} // namespace platform::linux_hid
