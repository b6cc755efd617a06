#include "platform/window_handles.h"

#include <windows.h>

namespace platform {
namespace {

class Win32WindowHandles final : public WindowHandles
{
public:
    bool isWindow(std::int32_t handle) const override
    {
        return ::IsWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(handle))) != FALSE;
    }
    // Window handles carry 32 significant bits on 64-bit Windows too.
    std::int32_t desktopWindow() const override
    {
        return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(::GetDesktopWindow()));
    }
};

} // namespace

template<> WindowHandles &Seam<WindowHandles>::defaultInstance()
{
    static Win32WindowHandles instance;
    return instance;
}

} // namespace platform
