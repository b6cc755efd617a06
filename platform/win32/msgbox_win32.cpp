#include "platform/msgbox.h"

#include "platform/codepage.h"

#include <cstdio>
#include <windows.h>
#undef MessageBox // the service's name, not the ANSI/wide switch

namespace platform {
namespace {

// The help file of the box on screen; MessageBoxIndirectA's callback gets only
// the context number.
thread_local std::string tHelpFile;

void CALLBACK showHelp(LPHELPINFO info)
{
    if (info && !tHelpFile.empty()) {
        ::WinHelpA(static_cast<HWND>(info->hItemHandle), tHelpFile.c_str(), HELP_CONTEXT,
            info->dwContextId);
    }
}

class Win32MessageBox final : public MessageBox
{
public:
    std::int32_t show(const MessageBoxRequest &request) override
    {
        std::string text = toAnsi(request.text);
        std::string caption = toAnsi(request.caption);
        MSGBOXPARAMSA params {};
        params.cbSize = sizeof params;
        params.hwndOwner = ::GetActiveWindow();
        params.lpszText = text.c_str();
        params.lpszCaption = caption.c_str();
        params.dwStyle = static_cast<DWORD>(request.buttons | request.icon);
        params.dwContextHelpId = static_cast<DWORD_PTR>(request.helpContext);
        if (!request.helpFile.empty()) {
            // A help file adds the Help button, which opens it at the context.
            tHelpFile = toAnsi(request.helpFile);
            params.dwStyle |= MB_HELP;
            params.lpfnMsgBoxCallback = showHelp;
        }
        int answer = ::MessageBoxIndirectA(&params);
        tHelpFile.clear();
        if (answer > 0) {
            return answer;
        }
        // No desktop to show it on (a service, a head-less session): keep the
        // text on standard error, as the window-less default does elsewhere.
        std::fprintf(stderr, "[%s]\n%s\n", request.caption.c_str(), request.text.c_str());
        std::fflush(stderr);
        return IdOk;
    }
};

} // namespace

template<> MessageBox &Seam<MessageBox>::defaultInstance()
{
    static Win32MessageBox instance;
    return instance;
}

} // namespace platform
