#pragma once
// Where Wine is known to differ from Windows, a test says so and steps aside.

#include <windows.h>

inline bool runningUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
