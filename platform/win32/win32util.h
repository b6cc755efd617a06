#pragma once
// Small helpers shared by the Win32 services; not part of the platform interface.

#include "platform/codepage.h"

#include <string>
#include <windows.h>

namespace platform::win32 {

/// The system's message for error @p code as UTF-8, without its line end;
/// "error <code>" when the system has no text for it.
inline std::string systemMessage(DWORD code)
{
    char buffer[512] = {};
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "error " + std::to_string(code);
    }
    return fromAnsi(text);
}

} // namespace platform::win32
