/* The least a Windows program does for one Port0 exchange: the baseline of
 * bench/vboard_exchange.sh. It finds the first HID interface 1352/0100
 * through SetupAPI, opens it twice as the device link does (writes, and
 * overlapped reads), then times N exchanges of WriteFile (command 3) and an
 * overlapped ReadFile waited for up to 6 s. Prints the median and the 90th
 * percentile in milliseconds; status 1 when no board answered. */
#include <windows.h>

#include <hidsdi.h>
#include <setupapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int by_value(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static int find_board(char *path, size_t size)
{
    GUID guid;
    HDEVINFO set;
    SP_DEVICE_INTERFACE_DATA data = { sizeof data };
    DWORD i;
    int found = 0;
    HidD_GetHidGuid(&guid);
    set = SetupDiGetClassDevsA(&guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    for (i = 0; !found && SetupDiEnumDeviceInterfaces(set, NULL, &guid, i, &data); i++) {
        union
        {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char bytes[1024];
        } buffer;
        HIDD_ATTRIBUTES attributes = { sizeof attributes };
        HANDLE h;
        buffer.detail.cbSize = sizeof buffer.detail;
        if (!SetupDiGetDeviceInterfaceDetailA(
                set, &data, &buffer.detail, sizeof buffer, NULL, NULL))
            continue;
        h = CreateFileA(buffer.detail.DevicePath, GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        if (HidD_GetAttributes(h, &attributes) && attributes.VendorID == 0x1352
            && attributes.ProductID == 0x0100 && strlen(buffer.detail.DevicePath) < size) {
            strcpy(path, buffer.detail.DevicePath);
            found = 1;
        }
        CloseHandle(h);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

int main(int argc, char **argv)
{
    int n = argc > 1 ? atoi(argv[1]) : 1000, i;
    char path[1024];
    HANDLE writer, reader, event;
    LARGE_INTEGER frequency, t0, t1;
    double *times;
    if (n < 1 || !find_board(path, sizeof path))
        return 1;
    writer = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        NULL, OPEN_EXISTING, 0, NULL);
    reader = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    event = CreateEventA(NULL, TRUE, FALSE, NULL);
    times = malloc(sizeof *times * (size_t)n);
    if (writer == INVALID_HANDLE_VALUE || reader == INVALID_HANDLE_VALUE || !event || !times)
        return 1;
    QueryPerformanceFrequency(&frequency);
    for (i = 0; i < n; i++) {
        unsigned char out[9] = { 0, 3 }, in[9];
        OVERLAPPED overlapped;
        DWORD count = 0;
        QueryPerformanceCounter(&t0);
        if (!WriteFile(writer, out, sizeof out, &count, NULL))
            return 1;
        do {
            memset(&overlapped, 0, sizeof overlapped);
            overlapped.hEvent = event;
            ResetEvent(event);
            if (!ReadFile(reader, in, sizeof in, NULL, &overlapped)
                && GetLastError() != ERROR_IO_PENDING)
                return 1;
            if (WaitForSingleObject(event, 6000) != WAIT_OBJECT_0)
                return 1;
        } while (in[1] != 3); /* a stale echo: read on */
        QueryPerformanceCounter(&t1);
        times[i] = (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / (double)frequency.QuadPart;
    }
    qsort(times, (size_t)n, sizeof *times, by_value);
    printf(
        "bare C   %d exchanges: median %.3f ms, p90 %.3f ms\n", n, times[n / 2], times[n * 9 / 10]);
    return 0;
}
