#pragma once
// The driver rig (Windows): boards of the virtual-board driver vboard.sys in
// the system's own HID stack, reached through SetupAPI, hid.dll and file I/O.
// Each board is a SimBoard model kept in step with the driver's state.

#include "drivers/vboard/vboard_installer.h"
#include "hid_rigs.h"
#include "platform/hid_forward.h"

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
class CountingHid final : public platform::HidForward
{
public:
    CountingHid() : HidForward(platform::Seam<platform::HidApi>::defaultInstance()) { }

    std::map<std::string, std::size_t> opens;
    std::uint32_t lastWaitMs = 0;

    platform::HidHandle createFile(const std::string &path, std::uint32_t access,
        std::uint32_t share, std::uint32_t creation, std::uint32_t flags) override
    {
        ++opens[path];
        return HidForward::createFile(path, access, share, creation, flags);
    }
    std::uint32_t waitForSingleObject(platform::HidHandle e, std::uint32_t ms) override
    {
        lastWaitMs = ms;
        return HidForward::waitForSingleObject(e, ms);
    }
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
