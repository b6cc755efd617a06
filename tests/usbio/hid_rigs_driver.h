#pragma once
// The driver rig (Windows): boards of the virtual-board driver vboard.sys in
// the system's own HID stack, reached through SetupAPI, hid.dll and file I/O.
// Each board is a SimBoard model kept in step with the driver's state.

#include "drivers/vboard/vboard_installer.h"
#include "hid_rigs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rigs {

/// The driver's INF (a Windows path) when the test run installed the driver, else "".
inline std::wstring driverInf()
{
    const char *inf = std::getenv("PORTPROBE_VBOARD_INF");
    return inf != nullptr ? std::wstring(inf, inf + std::strlen(inf)) : std::wstring();
}

/// The system's HID service, counting opens per path and keeping the latest wait.
class CountingHid final : public platform::HidApi
{
public:
    std::map<std::string, std::size_t> opens;
    std::uint32_t lastWaitMs = 0;

    void getHidGuid(platform::HidGuid &guid) override { real_.getHidGuid(guid); }
    platform::HidHandle getClassDevs(const platform::HidGuid &guid, std::uint32_t flags) override
    {
        return real_.getClassDevs(guid, flags);
    }
    bool enumDeviceInterfaces(platform::HidHandle set, const platform::HidGuid &guid,
        std::uint32_t index, platform::HidInterfaceData &data) override
    {
        return real_.enumDeviceInterfaces(set, guid, index, data);
    }
    bool getDeviceInterfaceDetail(platform::HidHandle set, const platform::HidInterfaceData &data,
        std::uint8_t *detail, std::uint32_t size, std::uint32_t *required) override
    {
        return real_.getDeviceInterfaceDetail(set, data, detail, size, required);
    }
    bool destroyDeviceInfoList(platform::HidHandle set) override
    {
        return real_.destroyDeviceInfoList(set);
    }
    platform::HidHandle createFile(const std::string &path, std::uint32_t access,
        std::uint32_t share, std::uint32_t creation, std::uint32_t flags) override
    {
        ++opens[path];
        return real_.createFile(path, access, share, creation, flags);
    }
    bool closeHandle(platform::HidHandle h) override { return real_.closeHandle(h); }
    bool getAttributes(platform::HidHandle h, platform::HidAttributes &a) override
    {
        return real_.getAttributes(h, a);
    }
    bool getPreparsedData(platform::HidHandle h, platform::HidPreparsedData &p) override
    {
        return real_.getPreparsedData(h, p);
    }
    std::int32_t getCaps(platform::HidPreparsedData p, platform::HidCaps &caps) override
    {
        return real_.getCaps(p, caps);
    }
    bool freePreparsedData(platform::HidPreparsedData p) override
    {
        return real_.freePreparsedData(p);
    }
    platform::HidHandle createEvent(bool manual, bool initial) override
    {
        return real_.createEvent(manual, initial);
    }
    bool writeFile(platform::HidHandle f, const std::uint8_t *b, std::uint32_t n,
        std::uint32_t *written) override
    {
        return real_.writeFile(f, b, n, written);
    }
    bool readFile(platform::HidHandle f, std::uint8_t *b, std::uint32_t n, std::uint32_t *read,
        platform::HidOverlapped &o) override
    {
        return real_.readFile(f, b, n, read, o);
    }
    std::uint32_t waitForSingleObject(platform::HidHandle e, std::uint32_t ms) override
    {
        lastWaitMs = ms;
        return real_.waitForSingleObject(e, ms);
    }
    bool cancelIo(platform::HidHandle f) override { return real_.cancelIo(f); }
    bool resetEvent(platform::HidHandle e) override { return real_.resetEvent(e); }
    std::uint64_t getTickCount64() override { return real_.getTickCount64(); }
    std::uint32_t getLastError() override { return real_.getLastError(); }
    std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t id, std::uint32_t language,
        char *buffer, std::uint32_t size) override
    {
        return real_.formatMessage(flags, id, language, buffer, size);
    }

private:
    platform::HidApi &real_ = platform::Seam<platform::HidApi>::defaultInstance();
};

class DriverRig final : public Rig
{
public:
    explicit DriverRig(std::wstring inf) : inf_(std::move(inf)) { }
    ~DriverRig() override
    {
        std::string error;
        for (auto &b : boards_) {
            if (b.plugged) {
                vboard::remove(b.instance, error);
            }
        }
    }

    platform::HidApi &api() override { return hid_; }

    platform::sim::SimBoard &addBoard(platform::sim::SimBoardConfig config = {}) override
    {
        std::string error;
        Board b;
        b.instance = vboard::install(specOf(config), inf_, error);
        b.model = std::make_unique<platform::sim::SimBoard>(config);
        EXPECT_FALSE(b.instance.empty()) << error;
        b.path = vboard::interfacePath(b.instance);
        boards_.push_back(std::move(b));
        return *boards_.back().model;
    }

    void withBoard(
        std::size_t index, const std::function<void(platform::sim::SimBoard &)> &f) override
    {
        Board &b = boards_.at(index);
        // The model anew from the driver: what the board took, its switches, its stall.
        platform::sim::SimBoard &m = *b.model;
        m = platform::sim::SimBoard(m.config());
        for (const vboard_info &info : vboard::boards()) {
            if (std::wstring(info.instance) != b.instance) {
                continue;
            }
            const unsigned long kept = std::min<unsigned long>(info.outputs, VBOARD_LOG_REPORTS);
            for (unsigned long i = 0; i < kept; ++i) {
                std::vector<std::uint8_t> report(m.config().outputReportByteLength, 0);
                for (std::size_t j = 1; j < report.size() && j <= VBOARD_LOG_BYTES; ++j) {
                    report[j] = info.log[i][j - 1];
                }
                m.receiveOutputReport(report);
            }
            std::vector<std::uint8_t> answer;
            while (m.takeInputReport(answer)) { }
            m.setPort0(info.port0);
            m.setFault(info.stalled ? platform::sim::SimFault::NeverAnswers
                                    : platform::sim::SimFault::None);
        }
        const std::uint8_t port0 = m.port0();
        const auto fault = m.fault();
        f(m);
        if (m.port0() != port0) {
            EXPECT_TRUE(vboard::setInputs(b.instance, m.port0()));
        }
        if (m.fault() != fault) {
            EXPECT_TRUE(
                vboard::setStalled(b.instance, m.fault() == platform::sim::SimFault::NeverAnswers));
        }
    }

    void unplug(std::size_t index) override
    {
        std::string error;
        Board &b = boards_.at(index);
        EXPECT_TRUE(vboard::remove(b.instance, error)) << error;
        b.plugged = false;
    }

    // A board plugged in again is a new device: a new instance, and its interface path anew.
    void replug(std::size_t index) override
    {
        Board &b = boards_.at(index);
        std::string error;
        b.instance = vboard::install(specOf(b.model->config()), inf_, error);
        EXPECT_FALSE(b.instance.empty()) << error;
        b.path = vboard::interfacePath(b.instance);
        b.plugged = !b.instance.empty();
    }

    std::size_t opens(std::size_t index) override { return hid_.opens[boards_.at(index).path]; }
    std::uint32_t lastWaitMilliseconds() override { return hid_.lastWaitMs; }
    std::string pathOf(std::size_t index) override { return boards_.at(index).path; }

private:
    static vboard::BoardSpec specOf(const platform::sim::SimBoardConfig &config)
    {
        vboard::BoardSpec spec;
        spec.vendorId = config.vendorId;
        spec.productId = config.productId;
        spec.inputLength = config.inputReportByteLength;
        spec.outputLength = config.outputReportByteLength;
        return spec;
    }

    struct Board
    {
        std::wstring instance;
        std::unique_ptr<platform::sim::SimBoard> model;
        std::string path;
        bool plugged = true;
    };

    std::wstring inf_;
    CountingHid hid_;
    std::vector<Board> boards_;
};

} // namespace rigs
