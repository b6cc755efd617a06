#include "platform/shell.h"

#include "platform/codepage.h"
#include "platform/win32/win32util.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

namespace platform {
namespace {

bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

class Win32Shell final : public Shell
{
public:
    std::int32_t open(std::string_view file, std::int32_t showCommand) override
    {
        if (hasNul(file)) {
            return SeErrFileNotFound;
        }
        // Shell extensions that handle the verb may be COM objects; the thread
        // needs COM (a thread that already has it keeps its own model).
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        std::string target = toAnsi(file);
        HINSTANCE result =
            ::ShellExecuteA(nullptr, "open", target.c_str(), "", nullptr, showCommand);
        return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(result));
    }

    std::string startControlPanel(std::string_view applet) override
    {
        if (hasNul(applet)) {
            return "invalid applet name";
        }
        std::string commandLine = "rundll32.exe shell32.dll,Control_RunDLL " + toAnsi(applet);
        // The program itself comes from the system folder, never from the current
        // folder, whatever the command line's first word would find.
        char systemDir[MAX_PATH] = {};
        UINT n = ::GetSystemDirectoryA(systemDir, MAX_PATH);
        std::string program;
        if (n > 0 && n < MAX_PATH) {
            program = std::string(systemDir, n) + "\\rundll32.exe";
        }
        STARTUPINFOA startup {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION info {};
        if (!::CreateProcessA(program.empty() ? nullptr : program.c_str(), commandLine.data(),
                nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            return "rundll32.exe could not be started: " + win32::systemMessage(::GetLastError());
        }
        // Let the applet's window take the focus from ours.
        ::AllowSetForegroundWindow(info.dwProcessId);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        return {};
    }
};

} // namespace

template<> Shell &Seam<Shell>::defaultInstance()
{
    static Win32Shell instance;
    return instance;
}

} // namespace platform
