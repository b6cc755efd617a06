#pragma once
// Test rigs for the device link: virtual boards behind the sim backend. The
// hidraw rig (hid_rigs_hidraw.h) puts the same boards behind the Linux backend.

#include "common/platform_fakes.h"
#include "platform/sim/sim_board.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rigs {

/// The board's report descriptor for the given Windows lengths (0 leaves the kind out).
inline std::vector<std::uint8_t> descriptorFor(
    std::uint16_t inputLength, std::uint16_t outputLength)
{
    std::vector<std::uint8_t> d(USBIO_BOARD_DESCRIPTOR_MAX);
    d.resize(usbio_board_descriptor(inputLength, outputLength, d.data()));
    return d;
}

class Rig
{
public:
    virtual ~Rig() = default;
    virtual platform::HidApi &api() = 0;
    /// Adds a board at the end of the enumeration order.
    virtual platform::sim::SimBoard &addBoard(platform::sim::SimBoardConfig config = {}) = 0;
    /// Runs @p f on board @p index while the board is not serving the host.
    virtual void withBoard(
        std::size_t index, const std::function<void(platform::sim::SimBoard &)> &f) = 0;
    /// Pulls board @p index out.
    virtual void unplug(std::size_t index) = 0;
    /// Plugs board @p index in again; handles opened before stay dead.
    virtual void replug(std::size_t index) = 0;
    /// Times board @p index was opened for I/O.
    virtual std::size_t opens(std::size_t index) = 0;
    virtual std::uint32_t lastWaitMilliseconds() = 0;
    /// The device path under which board @p index is enumerated.
    virtual std::string pathOf(std::size_t index) = 0;
};

class SimRig final : public Rig
{
public:
    platform::HidApi &api() override { return hid; }
    platform::sim::SimBoard &addBoard(platform::sim::SimBoardConfig config = {}) override
    {
        return hid.addBoard(config);
    }
    void withBoard(
        std::size_t index, const std::function<void(platform::sim::SimBoard &)> &f) override
    {
        f(hid.board(index));
    }
    void unplug(std::size_t index) override { hid.board(index).setPlugged(false); }
    void replug(std::size_t index) override { hid.board(index).setPlugged(true); }
    std::size_t opens(std::size_t index) override { return hid.opens(index); }
    std::uint32_t lastWaitMilliseconds() override { return hid.lastWaitMilliseconds(); }
    std::string pathOf(std::size_t index) override { return hid.pathOf(index); }

    platform::sim::SimHid hid;
};

} // namespace rigs
