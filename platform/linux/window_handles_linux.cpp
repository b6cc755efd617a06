#include "platform/window_handles.h"

namespace platform {
namespace {

// No window system of our own below the window layer: nothing is a window
// until that layer installs its own answer.
class NoWindows final : public WindowHandles
{
public:
    bool isWindow(std::int32_t) const override { return false; }
    std::int32_t desktopWindow() const override { return 0; }
};

} // namespace

template<> WindowHandles &Seam<WindowHandles>::defaultInstance()
{
    static NoWindows instance;
    return instance;
}

} // namespace platform
