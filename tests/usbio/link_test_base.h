#pragma once
// Common ground of the device-link tests: a fresh link and error reports into
// a temporary folder of the test's own, and the backends every scenario runs on.

#include "hid_rigs.h"

#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace usbio = QuillFunc_USBIO;

enum class Backend { Sim, Hidraw };

/// The backends this OS can run the shared scenarios on.
std::vector<Backend> linkBackends();
/// A rig for @p backend; @p waitLimitMs bounds a real wait where the backend has one.
std::unique_ptr<rigs::Rig> makeRig(Backend backend, std::uint32_t waitLimitMs = 1500);
std::string backendName(Backend backend);

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

/// Common ground: a fresh link, error reports into a temporary folder.
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
        TargetVendorID = 0x1352;
        TargetProductID = 0x0100;
    }
    ~LinkTestBase()
    {
        usbio::SetTraceSink(nullptr);
        usbio::ResetState();
        gbooHideErrMsg = false;
        Err().Clear();
    }

    std::string errorLog() const
    {
        std::ifstream in(temp.path() / "PORTPROBE_ErrLog.txt", std::ios::binary);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    usbio::ModuleState &state() { return usbio::State(); }

    fakes::TempDir temp;
    fakes::FakeEnvironment env;
    fakes::FixedClock clock;
    fakes::RecordingMessageBox boxes;
    fakes::FakeVersion version;
    fakes::FakeRegistry registry;
};
