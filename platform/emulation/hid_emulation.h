#pragma once
// The Win32 HID semantics for backends that are not Windows: one handle table
// (information sets, files, events, preparsed data), manual- and auto-reset
// events, overlapped reads and their waits, CancelIo, CloseHandle, the error
// codes and FormatMessage. A backend supplies only the devices: it enumerates
// and opens them, and an open device writes, reads what is ready and waits.

#include "platform/hid.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

/// HID class calls, counted by HidEmulation.
enum class HidCall {
    GetHidGuid,
    GetClassDevs,
    EnumDeviceInterfaces,
    GetDeviceInterfaceDetail,
    DestroyDeviceInfoList,
    CreateFile,
    CloseHandle,
    GetAttributes,
    GetPreparsedData,
    GetCaps,
    FreePreparsedData,
    CreateEvent,
    WriteFile,
    ReadFile,
    WaitForSingleObject,
    CancelIo,
    ResetEvent,
    Count
};

/// One enumerated interface.
struct HidInterface
{
    std::string path;
    /// The size the detail query reports; 0 for the path's own (header, path, NUL).
    std::uint32_t detailSize = 0;
};

/// The caller's buffer of an overlapped read.
struct HidReadRequest
{
    std::uint8_t *buffer = nullptr;
    std::uint32_t length = 0;
    std::uint32_t *read = nullptr;
};

/// How a device read or wait ended.
struct HidIoResult
{
    enum Status { Done, Pending, Failed } status = Pending;
    std::uint32_t error = 0; ///< Failed: the Win32 error code
    bool readEnds = true; ///< Failed: the pending read ends with the failure

    static HidIoResult done() { return { Done, 0, true }; }
    static HidIoResult pending() { return { Pending, 0, true }; }
    static HidIoResult failed(std::uint32_t error, bool readEnds = true)
    {
        return { Failed, error, readEnds };
    }
};

/// An open device behind a file handle. Each call returns ERROR_SUCCESS or the
/// Win32 error code of the failure.
class HidDevice
{
public:
    virtual ~HidDevice() = default;
    virtual std::uint32_t attributes(HidAttributes &attributes) = 0;
    /// The capabilities HidP_GetCaps answers for this device's preparsed data.
    virtual std::uint32_t caps(HidCaps &caps) = 0;
    /// Sends one output report (Windows layout); blocks until it is sent.
    virtual std::uint32_t write(const std::uint8_t *buffer, std::uint32_t length) = 0;
    /// Completes @p request with an input report that is ready, without waiting.
    virtual HidIoResult readReady(const HidReadRequest &request) = 0;
    /// Waits up to @p milliseconds for an input report to complete @p request.
    virtual HidIoResult wait(const HidReadRequest &request, std::uint32_t milliseconds) = 0;
};

class HidEmulation : public HidApi
{
public:
    HidEmulation() = default;
    ~HidEmulation() override = default;
    HidEmulation(const HidEmulation &) = delete;
    HidEmulation &operator=(const HidEmulation &) = delete;

    std::size_t calls(HidCall call) const { return calls_[static_cast<std::size_t>(call)]; }
    void resetCalls() { calls_.fill(0); }
    /// Open file handles (not events, not information sets).
    std::size_t openFileHandles() const;
    /// Milliseconds asked for by the latest wait.
    std::uint32_t lastWaitMilliseconds() const { return lastWaitMs_; }

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
    std::uint32_t getLastError() override { return lastError_; }
    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId,
        std::uint32_t languageId, char *buffer, std::uint32_t size) override;

protected:
    /// The present interfaces of the HID class, in enumeration order.
    virtual std::vector<HidInterface> enumerate() = 0;
    /// Opens the device at @p path, or sets @p error and returns nothing.
    virtual std::unique_ptr<HidDevice> open(
        const std::string &path, bool overlapped, std::uint32_t &error) = 0;
    /// A wait on an event no read can signal: only time passes.
    virtual void idle(std::uint32_t milliseconds) = 0;
    /// The system text of a Win32 error code with its CR LF; empty for none.
    virtual std::string messageText(std::uint32_t code);
    /// Closes every handle (backends call it first in their destructor).
    void closeAll() { objects_.clear(); }
    /// The interface list of the latest information set destroyed, for enumerate to write
    /// over: its paths keep their storage, so a search need not allocate one per interface.
    std::vector<HidInterface> spareMembers() { return std::move(spareMembers_); }

private:
    enum class Kind { InfoSet, File, Event, Preparsed };
    struct PendingRead
    {
        HidHandle file = 0;
        HidReadRequest request;
        std::uint32_t error = 0; // the read failed: the wait fails with it
    };
    struct Object
    {
        Kind kind = Kind::File;
        std::vector<HidInterface> members; // InfoSet
        std::unique_ptr<HidDevice> device; // File
        HidCaps caps; // Preparsed
        bool signalled = false; // Event
        bool manualReset = true; // Event
        std::optional<PendingRead> pending; // Event: the read it completes
    };

    /// A new object of @p kind under the next handle, which @p handle receives.
    Object &add(Kind kind, HidHandle &handle);
    using Objects = std::vector<std::pair<HidHandle, Object>>;
    /// The entry of @p handle, or end().
    Objects::iterator lookup(HidHandle handle);
    Object *find(HidHandle handle, Kind kind);
    bool fail(std::uint32_t error);
    bool succeed();
    void count(HidCall call) { ++calls_[static_cast<std::size_t>(call)]; }
    void cancelReadsOf(HidHandle file);

    /// The open objects in handle order. A flat table: few are open at a time, and a search
    /// makes and ends a file handle per interface.
    Objects objects_;
    HidHandle nextHandle_ = 0x100;
    std::uint32_t lastError_ = 0;
    std::uint32_t lastWaitMs_ = 0;
    std::array<std::size_t, static_cast<std::size_t>(HidCall::Count)> calls_ {};
    std::vector<HidInterface> spareMembers_;
};

/// The English system text of a Win32 error code the backends produce, with
/// its CR LF; empty for other codes.
std::string win32MessageText(std::uint32_t code);

} // namespace platform
