#pragma once
// Common ground of the device-link tests: a fresh link and error reports into
// a temporary folder of the test's own, and the backends every scenario runs on.

#include "hid_rigs.h"
#ifdef _WIN32
#include "hid_rigs_driver.h"
#else
#include "hid_rigs_hidraw.h"

#include <csignal>
#endif

#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace usbio = QuillFunc_USBIO;

/// Hidraw: the Linux backend over stand-in nodes. Driver: the Windows backend over
/// boards of the virtual-board driver, when the run installed it (PORTPROBE_VBOARD_INF).
enum class Backend { Sim, Hidraw, Driver };

inline std::string backendName(Backend backend)
{
    return backend == Backend::Sim ? "Sim" : backend == Backend::Hidraw ? "Hidraw" : "Driver";
}

inline void PrintTo(Backend backend, std::ostream *os)
{
    *os << backendName(backend);
}

/// The backends this OS can run the shared scenarios on.
inline std::vector<Backend> linkBackends()
{
#ifdef _WIN32
    if (!rigs::driverInf().empty()) {
        return { Backend::Sim, Backend::Driver };
    }
    return { Backend::Sim };
#else
    return { Backend::Sim, Backend::Hidraw };
#endif
}

/// A rig for @p backend; @p waitLimitMs bounds a real wait where the backend has one.
inline std::unique_ptr<rigs::Rig> makeRig(Backend backend, std::uint32_t waitLimitMs = 1500)
{
#ifdef _WIN32
    if (backend == Backend::Driver) {
        return std::make_unique<rigs::DriverRig>(rigs::driverInf());
    }
#else
    if (backend == Backend::Hidraw) {
        // A board thread that has gone away must not end the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        return std::make_unique<rigs::HidrawRig>(waitLimitMs);
    }
#endif
    (void)backend;
    (void)waitLimitMs;
    return std::make_unique<rigs::SimRig>();
}

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    return { values.begin(), values.end() };
}

class LinkTestBase
{
protected:
    LinkTestBase()
    {
        env.variables["TEMP"] = temp.str();
        gbooHideErrMsg = true;
        Err().Clear();
        usbio::ResetState();
        usbio::SetTraceSink(nullptr);
        usbio::SetReportSink(nullptr);
        TargetVendorID = 0x1352;
        TargetProductID = 0x0100;
    }
    ~LinkTestBase()
    {
        usbio::SetTraceSink(nullptr);
        usbio::SetReportSink(nullptr);
        usbio::ResetState();
        gbooHideErrMsg = false;
        Err().Clear();
    }

    std::string errorLog() const
    {
        std::ifstream in(temp.path() / "PORTPROBE_ErrLog.txt", std::ios::binary);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    /// From now on the trace labels and error texts the link passes collect here.
    void collectLabels()
    {
        usbio::SetTraceSink([this](std::string_view label, std::uint32_t, std::string_view text) {
            labels.emplace_back(label);
            texts.emplace_back(text);
        });
    }

    /// From now on the reports the link passes collect here, as "out"/"in",
    /// "ok"/"failed" and the bytes.
    void collectReports()
    {
        usbio::SetReportSink(
            [this](usbio::ReportDirection direction, std::span<const std::uint8_t> data, bool ok) {
                reports.push_back({ direction == usbio::ReportDirection::Output ? "out" : "in",
                    ok ? "ok" : "failed", { data.begin(), data.end() } });
            });
    }

    usbio::ModuleState &state() { return usbio::State(); }

    struct Report
    {
        std::string direction, outcome;
        std::vector<std::uint8_t> bytes;
        bool operator==(const Report &) const = default;
    };
    std::vector<Report> reports;

    std::int16_t value = 0;
    std::vector<std::string> labels, texts;
    fakes::TempDir temp;
    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
};
