#pragma once
// Installs, removes, lists and drives the virtual boards of vboard.sys
// through SetupAPI and the driver's control device. Each board is a
// root-enumerated device; its HID interface comes and goes with it.

#include "drivers/vboard/vboard_control.h"
#include "platform/emulation/usbio_board.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vboard {

struct BoardSpec
{
    std::uint16_t vendorId = USBIO_BOARD_VENDOR_ID;
    std::uint16_t productId = USBIO_BOARD_PRODUCT_ID;
    /// Windows report lengths (report-ID byte included); others than the board's are for tests.
    std::uint16_t inputLength = USBIO_BOARD_REPORT_LENGTH;
    std::uint16_t outputLength = USBIO_BOARD_REPORT_LENGTH;
};

/// The boards present, in the order they were added (empty when the driver is not loaded).
std::vector<vboard_info> boards();

/// Adds a board with the driver of @p inf and waits until its HID interface is present.
/// Gives its device instance ID, or "" and the reason in @p error.
std::wstring install(const BoardSpec &spec, const std::wstring &inf, std::string &error);

/// Unplugs the board of device instance @p instance and waits until its interface is gone.
bool remove(const std::wstring &instance, std::string &error);

/// Sets board @p instance's eight switches.
bool setInputs(const std::wstring &instance, std::uint8_t value);
/// Makes board @p instance stop answering (true) or answer again.
bool setStalled(const std::wstring &instance, bool stalled);

/// The interface path of board @p instance as SetupAPI lists it, or "".
std::string interfacePath(const std::wstring &instance);

/// The INF beside this program.
std::wstring infBesideProgram();

} // namespace vboard
