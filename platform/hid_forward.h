#pragma once
// A HID service that passes every call on to another: the base of services
// that change a call or two of the one underneath (a filter of the search, a
// counter, a clock of their own) and leave the rest as it is.

#include "platform/hid.h"

namespace platform {

class HidForward : public HidApi
{
public:
    explicit HidForward(HidApi &inner) : inner_(inner) { }

    void getHidGuid(HidGuid &guid) override { inner_.getHidGuid(guid); }
    HidHandle getClassDevs(const HidGuid &guid, std::uint32_t flags) override
    {
        return inner_.getClassDevs(guid, flags);
    }
    bool enumDeviceInterfaces(
        HidHandle set, const HidGuid &guid, std::uint32_t index, HidInterfaceData &data) override
    {
        return inner_.enumDeviceInterfaces(set, guid, index, data);
    }
    bool getDeviceInterfaceDetail(HidHandle set, const HidInterfaceData &data, std::uint8_t *detail,
        std::uint32_t size, std::uint32_t *required) override
    {
        return inner_.getDeviceInterfaceDetail(set, data, detail, size, required);
    }
    bool destroyDeviceInfoList(HidHandle set) override { return inner_.destroyDeviceInfoList(set); }
    HidHandle createFile(const std::string &path, std::uint32_t access, std::uint32_t share,
        std::uint32_t creation, std::uint32_t flags) override
    {
        return inner_.createFile(path, access, share, creation, flags);
    }
    bool closeHandle(HidHandle handle) override { return inner_.closeHandle(handle); }
    bool getAttributes(HidHandle device, HidAttributes &attributes) override
    {
        return inner_.getAttributes(device, attributes);
    }
    bool getPreparsedData(HidHandle device, HidPreparsedData &data) override
    {
        return inner_.getPreparsedData(device, data);
    }
    std::int32_t getCaps(HidPreparsedData data, HidCaps &caps) override
    {
        return inner_.getCaps(data, caps);
    }
    bool freePreparsedData(HidPreparsedData data) override
    {
        return inner_.freePreparsedData(data);
    }
    HidHandle createEvent(bool manualReset, bool initialState) override
    {
        return inner_.createEvent(manualReset, initialState);
    }
    bool writeFile(HidHandle file, const std::uint8_t *buffer, std::uint32_t length,
        std::uint32_t *written) override
    {
        return inner_.writeFile(file, buffer, length, written);
    }
    bool readFile(HidHandle file, std::uint8_t *buffer, std::uint32_t length, std::uint32_t *read,
        HidOverlapped &overlapped) override
    {
        return inner_.readFile(file, buffer, length, read, overlapped);
    }
    std::uint32_t waitForSingleObject(HidHandle event, std::uint32_t milliseconds) override
    {
        return inner_.waitForSingleObject(event, milliseconds);
    }
    bool cancelIo(HidHandle file) override { return inner_.cancelIo(file); }
    bool resetEvent(HidHandle event) override { return inner_.resetEvent(event); }
    std::uint64_t getTickCount64() override { return inner_.getTickCount64(); }
    std::uint32_t getLastError() override { return inner_.getLastError(); }
    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId,
        std::uint32_t languageId, char *buffer, std::uint32_t size) override
    {
        return inner_.formatMessage(flags, messageId, languageId, buffer, size);
    }

protected:
    HidApi &inner() { return inner_; }

private:
    HidApi &inner_;
};

} // namespace platform
