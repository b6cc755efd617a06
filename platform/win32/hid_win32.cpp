// The HID class service on Windows: SetupAPI, hid.dll and kernel32 as they are.
// The callers' records carry the published 32-bit layouts; where the 64-bit
// native record differs (the two size fields), the values are translated here.

#include "platform/hid.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>
#include <windows.h>
// windows.h first: the SetupAPI and HID headers rely on its types. MinGW's
// HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

namespace platform {
namespace {

static_assert(sizeof(HidOverlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(HidOverlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(HidOverlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(HidOverlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4);

// Size fields the callers write: the 32-bit Windows record sizes.
constexpr std::uint32_t InterfaceDataSize32 = 28;
constexpr std::uint32_t DetailHeaderSize32 = 5;

HANDLE toHandle(HidHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}
HidHandle fromHandle(HANDLE handle)
{
    return reinterpret_cast<HidHandle>(handle);
}

GUID toGuid(const HidGuid &guid)
{
    GUID native { guid.Data1, guid.Data2, guid.Data3, {} };
    std::memcpy(native.Data4, guid.Data4, sizeof native.Data4);
    return native;
}

HidGuid fromGuid(const GUID &native)
{
    HidGuid guid;
    guid.Data1 = native.Data1;
    guid.Data2 = native.Data2;
    guid.Data3 = native.Data3;
    std::memcpy(guid.Data4, native.Data4, sizeof guid.Data4);
    return guid;
}

HidCaps fromCaps(const HIDP_CAPS &native)
{
    HidCaps caps;
    caps.Usage = native.Usage;
    caps.UsagePage = native.UsagePage;
    caps.InputReportByteLength = native.InputReportByteLength;
    caps.OutputReportByteLength = native.OutputReportByteLength;
    caps.FeatureReportByteLength = native.FeatureReportByteLength;
    std::memcpy(caps.Reserved, native.Reserved, sizeof caps.Reserved);
    caps.NumberLinkCollectionNodes = native.NumberLinkCollectionNodes;
    caps.NumberInputButtonCaps = native.NumberInputButtonCaps;
    caps.NumberInputValueCaps = native.NumberInputValueCaps;
    caps.NumberInputDataIndices = native.NumberInputDataIndices;
    caps.NumberOutputButtonCaps = native.NumberOutputButtonCaps;
    caps.NumberOutputValueCaps = native.NumberOutputValueCaps;
    caps.NumberOutputDataIndices = native.NumberOutputDataIndices;
    caps.NumberFeatureButtonCaps = native.NumberFeatureButtonCaps;
    caps.NumberFeatureValueCaps = native.NumberFeatureValueCaps;
    caps.NumberFeatureDataIndices = native.NumberFeatureDataIndices;
    return caps;
}

SP_DEVICE_INTERFACE_DATA toNative(const HidInterfaceData &data)
{
    SP_DEVICE_INTERFACE_DATA native {};
    native.cbSize = data.cbSize == InterfaceDataSize32 ? sizeof native : data.cbSize;
    native.InterfaceClassGuid = toGuid(data.InterfaceClassGuid);
    native.Flags = data.Flags;
    native.Reserved = data.Reserved;
    return native;
}

// Keeps the thread's last error across the bookkeeping after a system call.
class LastErrorKept
{
public:
    LastErrorKept() : code_(::GetLastError()) { }
    ~LastErrorKept() { ::SetLastError(code_); }
    LastErrorKept(const LastErrorKept &) = delete;
    LastErrorKept &operator=(const LastErrorKept &) = delete;

private:
    DWORD code_;
};

class Win32Hid final : public HidApi
{
public:
    void getHidGuid(HidGuid &guid) override
    {
        GUID native {};
        ::HidD_GetHidGuid(&native);
        guid = fromGuid(native);
    }

    HidHandle getClassDevs(const HidGuid &guid, std::uint32_t flags) override
    {
        GUID native = toGuid(guid);
        return fromHandle(::SetupDiGetClassDevsA(&native, nullptr, nullptr, flags));
    }

    bool enumDeviceInterfaces(HidHandle deviceInfoSet, const HidGuid &guid,
        std::uint32_t memberIndex, HidInterfaceData &data) override
    {
        GUID nativeGuid = toGuid(guid);
        SP_DEVICE_INTERFACE_DATA native = toNative(data);
        BOOL ok = ::SetupDiEnumDeviceInterfaces(
            toHandle(deviceInfoSet), nullptr, &nativeGuid, memberIndex, &native);
        if (ok) {
            data.InterfaceClassGuid = fromGuid(native.InterfaceClassGuid);
            data.Flags = native.Flags;
            data.Reserved = native.Reserved;
        }
        return ok != FALSE;
    }

    bool getDeviceInterfaceDetail(HidHandle deviceInfoSet, const HidInterfaceData &data,
        std::uint8_t *detail, std::uint32_t detailSize, std::uint32_t *requiredSize) override
    {
        SP_DEVICE_INTERFACE_DATA native = toNative(data);
        DWORD required = 0;
        BOOL ok = FALSE;
        if (detail == nullptr) {
            ok = ::SetupDiGetDeviceInterfaceDetailA(
                toHandle(deviceInfoSet), &native, nullptr, detailSize, &required, nullptr);
        } else {
            // The native header is 8 bytes on 64-bit Windows (padding after the one
            // character): an aligned copy of at least that size takes the call.
            std::uint32_t callerHeader = 0;
            if (detailSize >= 4) {
                std::memcpy(&callerHeader, detail, 4);
            }
            std::size_t bytes = detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                : detailSize;
            std::vector<DWORD> aligned((bytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
            auto *nativeDetail =
                reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(aligned.data());
            nativeDetail->cbSize = callerHeader == DetailHeaderSize32
                ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                : callerHeader;
            ok = ::SetupDiGetDeviceInterfaceDetailA(
                toHandle(deviceInfoSet), &native, nativeDetail, detailSize, &required, nullptr);
            LastErrorKept kept;
            if (ok && detailSize > 4) {
                std::memcpy(detail + 4, reinterpret_cast<const std::uint8_t *>(aligned.data()) + 4,
                    detailSize - 4);
            }
        }
        if (requiredSize) {
            *requiredSize = required;
        }
        return ok != FALSE;
    }

    bool destroyDeviceInfoList(HidHandle deviceInfoSet) override
    {
        return ::SetupDiDestroyDeviceInfoList(toHandle(deviceInfoSet)) != FALSE;
    }

    HidHandle createFile(const std::string &path, std::uint32_t desiredAccess,
        std::uint32_t shareMode, std::uint32_t creationDisposition,
        std::uint32_t flagsAndAttributes) override
    {
        return fromHandle(::CreateFileA(path.c_str(), desiredAccess, shareMode, nullptr,
            creationDisposition, flagsAndAttributes, nullptr));
    }

    bool closeHandle(HidHandle handle) override
    {
        finishPendingRead(handle);
        return ::CloseHandle(toHandle(handle)) != FALSE;
    }

    bool getAttributes(HidHandle device, HidAttributes &attributes) override
    {
        HIDD_ATTRIBUTES native {};
        native.Size = attributes.Size;
        BOOLEAN ok = ::HidD_GetAttributes(toHandle(device), &native);
        if (ok) {
            attributes.VendorID = native.VendorID;
            attributes.ProductID = native.ProductID;
            attributes.VersionNumber = native.VersionNumber;
        }
        return ok != FALSE;
    }

    bool getPreparsedData(HidHandle device, HidPreparsedData &preparsedData) override
    {
        PHIDP_PREPARSED_DATA native = nullptr;
        BOOLEAN ok = ::HidD_GetPreparsedData(toHandle(device), &native);
        if (ok) {
            preparsedData = reinterpret_cast<HidPreparsedData>(native);
        }
        return ok != FALSE;
    }

    std::int32_t getCaps(HidPreparsedData preparsedData, HidCaps &caps) override
    {
        HIDP_CAPS native {};
        NTSTATUS status =
            ::HidP_GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsedData), &native);
        if (status == HIDP_STATUS_SUCCESS) {
            caps = fromCaps(native);
        }
        return static_cast<std::int32_t>(status);
    }

    bool freePreparsedData(HidPreparsedData preparsedData) override
    {
        return ::HidD_FreePreparsedData(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsedData))
            != FALSE;
    }

    HidHandle createEvent(bool manualReset, bool initialState) override
    {
        return fromHandle(::CreateEventA(nullptr, manualReset, initialState, nullptr));
    }

    bool writeFile(HidHandle file, const std::uint8_t *buffer, std::uint32_t length,
        std::uint32_t *written) override
    {
        DWORD count = 0;
        BOOL ok = ::WriteFile(toHandle(file), buffer, length, &count, nullptr);
        if (written) {
            *written = count;
        }
        return ok != FALSE;
    }

    bool readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length, std::uint32_t *read,
        HidOverlapped &overlapped) override
    {
        // The caller's record has OVERLAPPED's layout and stays in place, as the
        // system needs it to until the read has finished.
        auto *native = reinterpret_cast<OVERLAPPED *>(&overlapped);
        finishPendingRead(file);
        DWORD count = 0;
        BOOL ok = ::ReadFile(toHandle(file), buffer, length, &count, native);
        LastErrorKept kept;
        if (read) {
            *read = count;
        }
        if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
            std::lock_guard lock(mutex_);
            pending_[file] = native;
        }
        return ok != FALSE;
    }

    std::uint32_t waitForSingleObject(HidHandle event, std::uint32_t milliseconds) override
    {
        return ::WaitForSingleObject(toHandle(event), milliseconds);
    }

    bool cancelIo(HidHandle file) override
    {
        BOOL ok = ::CancelIo(toHandle(file));
        LastErrorKept kept;
        // CancelIo only asks; the buffer is safe once the read has really ended.
        finishPendingRead(file);
        return ok != FALSE;
    }

    bool resetEvent(HidHandle event) override { return ::ResetEvent(toHandle(event)) != FALSE; }

    std::uint64_t getTickCount64() override { return ::GetTickCount64(); }
    std::uint32_t getLastError() override { return ::GetLastError(); }

    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId,
        std::uint32_t languageId, char *buffer, std::uint32_t size) override
    {
        // Without arguments to insert, a message with inserts must not look for them.
        if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
            flags |= FORMAT_MESSAGE_IGNORE_INSERTS;
        }
        return ::FormatMessageA(flags & ~FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, messageId,
            languageId, buffer, size, nullptr);
    }

private:
    // Waits until the read pending on @p file (if any) has ended: completed, or
    // cancelled here, so its buffer and record are no longer written to.
    void finishPendingRead(HidHandle file)
    {
        LastErrorKept kept;
        OVERLAPPED *native = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto it = pending_.find(file);
            if (it == pending_.end()) {
                return;
            }
            native = it->second;
            pending_.erase(it);
        }
        if (!HasOverlappedIoCompleted(native)) {
            ::CancelIoEx(toHandle(file), native);
        }
        DWORD count = 0;
        ::GetOverlappedResult(toHandle(file), native, &count, TRUE);
    }

    std::mutex mutex_;
    std::map<HidHandle, OVERLAPPED *> pending_;
};

} // namespace

template<> HidApi &Seam<HidApi>::defaultInstance()
{
    static Win32Hid instance;
    return instance;
}

} // namespace platform
