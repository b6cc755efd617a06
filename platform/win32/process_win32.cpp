#include "platform/process.h"

#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

class Win32Process final : public Process
{
public:
    void sleep(std::int32_t milliseconds) override
    {
        if (milliseconds > 0) {
            ::Sleep(static_cast<DWORD>(milliseconds));
        }
    }

    // Dispatches what is waiting in this thread's message queue, then returns.
    void doEvents() override
    {
        MSG msg {};
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit request for the thread's own message loop.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }

    void terminate(int exitCode) override
    {
        std::fflush(nullptr);
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
        ::ExitProcess(static_cast<UINT>(exitCode));
    }
};

} // namespace

template<> Process &Seam<Process>::defaultInstance()
{
    static Win32Process instance;
    return instance;
}

} // namespace platform
