#include "drivers/vboard/vboard_installer.h"

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}
#include <newdev.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace vboard {

namespace {

constexpr DWORD DeviceIdChars = 200;

std::string lastError(const char *what)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (%lu)", what, GetLastError());
    return text;
}

std::wstring lower(std::wstring s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
    return s;
}

std::wstring widen(const std::string &s)
{
    return { s.begin(), s.end() };
}

bool control(DWORD code, const void *in, DWORD inSize, void *out, DWORD outSize, DWORD &got)
{
    HANDLE h = CreateFileW(VBOARD_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    const BOOL ok =
        DeviceIoControl(h, code, const_cast<void *>(in), inSize, out, outSize, &got, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

bool setBoard(const std::wstring &instance, unsigned long what, std::uint8_t port0, bool stalled)
{
    vboard_set set {};
    if (instance.size() >= VBOARD_ID_CHARS) {
        return false;
    }
    std::copy(instance.begin(), instance.end(), set.instance);
    set.what = what;
    set.port0 = port0;
    set.stalled = stalled ? 1 : 0;
    DWORD got = 0;
    return control(VBOARD_IOCTL_SET, &set, sizeof set, nullptr, 0, got);
}

// Polls @p done every 5 ms for up to 20 s.
template<class F> bool waitFor(F done)
{
    for (int i = 0; i < 4000; ++i) {
        if (done()) {
            return true;
        }
        Sleep(5);
    }
    return false;
}

} // namespace

std::vector<vboard_info> boards()
{
    std::vector<vboard_info> out(VBOARD_MAX_BOARDS);
    DWORD got = 0;
    if (!control(VBOARD_IOCTL_LIST, nullptr, 0, out.data(),
            static_cast<DWORD>(out.size() * sizeof(vboard_info)), got)) {
        return {};
    }
    out.resize(got / sizeof(vboard_info));
    return out;
}

std::string interfacePath(const std::wstring &instance)
{
    // hidclass names the interface HID\<root device name>\<instance>.
    const std::size_t first = instance.find(L'\\');
    const std::size_t last = instance.rfind(L'\\');
    if (first == std::wstring::npos || first == last) {
        return {};
    }
    const std::wstring key = lower(L"hid#" + instance.substr(first + 1, last - first - 1) + L"#"
        + instance.substr(last + 1) + L"#");
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set =
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string found;
    SP_DEVICE_INTERFACE_DATA data { sizeof data, {}, 0, 0 };
    for (DWORD i = 0; found.empty() && SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data);
         ++i) {
        union
        {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char bytes[1024];
        } buffer {};
        buffer.detail.cbSize = sizeof buffer.detail;
        if (!SetupDiGetDeviceInterfaceDetailA(
                set, &data, &buffer.detail, sizeof buffer, nullptr, nullptr)) {
            continue;
        }
        const std::string path = buffer.detail.DevicePath;
        if (lower(widen(path)).find(key) != std::wstring::npos) {
            found = path;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::wstring install(const BoardSpec &spec, const std::wstring &inf, std::string &error)
{
    GUID classGuid;
    wchar_t className[64];
    if (!SetupDiGetINFClassW(inf.c_str(), &classGuid, className, 64, nullptr)) {
        error = lastError("reading the INF");
        return {};
    }
    wchar_t name[64];
    if (spec.inputLength == USBIO_BOARD_REPORT_LENGTH
        && spec.outputLength == USBIO_BOARD_REPORT_LENGTH) {
        std::swprintf(name, 64, L"VID_%04X&PID_%04X", spec.vendorId, spec.productId);
    } else {
        std::swprintf(name, 64, L"VID_%04X&PID_%04X&IN_%u&OUT_%u", spec.vendorId, spec.productId,
            spec.inputLength, spec.outputLength);
    }
    HDEVINFO set = SetupDiCreateDeviceInfoList(&classGuid, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        error = lastError("SetupDiCreateDeviceInfoList");
        return {};
    }
    SP_DEVINFO_DATA device { sizeof device, {}, 0, 0 };
    wchar_t instance[DeviceIdChars] = {};
    static const wchar_t hardwareIds[] = VBOARD_HARDWARE_ID L"\0";
    bool ok =
        SetupDiCreateDeviceInfoW(set, name, &classGuid, nullptr, nullptr, DICD_GENERATE_ID, &device)
        && SetupDiGetDeviceInstanceIdW(set, &device, instance, DeviceIdChars, nullptr)
        && SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
            reinterpret_cast<const BYTE *>(hardwareIds), sizeof hardwareIds)
        && SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
    if (!ok) {
        error = lastError("registering the device");
    }
    SetupDiDestroyDeviceInfoList(set);
    if (!ok) {
        return {};
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(
            nullptr, VBOARD_HARDWARE_ID, inf.c_str(), INSTALLFLAG_FORCE, &reboot)) {
        error = lastError("installing the driver");
        std::string ignored;
        remove(instance, ignored);
        return {};
    }
    if (!waitFor([&] { return !interfacePath(instance).empty(); })) {
        error = "the board's HID interface did not appear";
        std::string ignored;
        remove(instance, ignored);
        return {};
    }
    return instance;
}

bool remove(const std::wstring &instance, std::string &error)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        error = lastError("SetupDiCreateDeviceInfoList");
        return false;
    }
    SP_DEVINFO_DATA device { sizeof device, {}, 0, 0 };
    const bool ok = SetupDiOpenDeviceInfoW(set, instance.c_str(), nullptr, 0, &device)
        && SetupDiCallClassInstaller(DIF_REMOVE, set, &device);
    if (!ok) {
        error = lastError("removing the device");
    }
    SetupDiDestroyDeviceInfoList(set);
    if (ok && !waitFor([&] { return interfacePath(instance).empty(); })) {
        error = "the board's HID interface did not go";
        return false;
    }
    return ok;
}

bool setInputs(const std::wstring &instance, std::uint8_t value)
{
    return setBoard(instance, VBOARD_SET_PORT0, value, false);
}

bool setStalled(const std::wstring &instance, bool stalled)
{
    return setBoard(instance, VBOARD_SET_STALL, 0, stalled);
}

std::wstring infBesideProgram()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring inf(path, n);
    const std::size_t slash = inf.find_last_of(L"\\/");
    inf.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return inf + L"vboard.inf";
}

} // namespace vboard
