#pragma once
// Which 32-bit handles name windows (IsWindow) and the desktop's own handle.
// On Windows it is the system's answer. Elsewhere there are no system window
// handles: the window layer installs its own WindowHandles through the seam to
// vouch for its windows; without it no handle is a window and the desktop is 0.

#include "platform/seam.h"

#include <cstdint>

namespace platform {

class WindowHandles
{
public:
    virtual ~WindowHandles() = default;
    /// True when @p handle names an existing window.
    virtual bool isWindow(std::int32_t handle) const = 0;
    /// The desktop window (GetDesktopWindow), the owner of shell dialogs.
    virtual std::int32_t desktopWindow() const = 0;
};

template<> WindowHandles &Seam<WindowHandles>::defaultInstance();

inline WindowHandles &windowHandles()
{
    return Seam<WindowHandles>::get();
}

} // namespace platform
