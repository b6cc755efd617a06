#pragma once
// Modal message boxes. The window layer installs a real dialog; the core's
// default writes the box to standard error so a head-less run loses nothing.

#include "platform/seam.h"

#include <cstdint>
#include <string>

namespace platform {

// Button and icon flags, with the values of the Windows message box.
inline constexpr std::int32_t MbOkOnly = 0;
inline constexpr std::int32_t MbIconNone = 0;
inline constexpr std::int32_t MbIconCritical = 16;
inline constexpr std::int32_t MbIconQuestion = 32;
inline constexpr std::int32_t MbIconExclamation = 48;
inline constexpr std::int32_t MbIconInformation = 64;

inline constexpr std::int32_t IdOk = 1;

struct MessageBoxRequest
{
    std::string text;
    std::string caption;
    std::int32_t buttons = MbOkOnly;
    std::int32_t icon = MbIconNone;
    std::string helpFile;
    std::int32_t helpContext = 0;
};

class MessageBox
{
public:
    virtual ~MessageBox() = default;
    /// Shows @p request and waits for the user; returns the button pressed (IdOk, ...).
    virtual std::int32_t show(const MessageBoxRequest &request) = 0;
};

template<> MessageBox &Seam<MessageBox>::defaultInstance();

inline MessageBox &messageBox()
{
    return Seam<MessageBox>::get();
}

} // namespace platform
