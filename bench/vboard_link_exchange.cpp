// One Port0 exchange through the device link (gUSBIO_ReadP0) on the first
// board 1352/0100 that Windows' HID stack shows: N exchanges after the one
// that searches and opens, timed one by one. Prints the median and the 90th
// percentile in milliseconds, as bench/vboard_bare_exchange.c does.

#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    gbooHideErrMsg = true;
    TargetVendorID = 0x1352;
    TargetProductID = 0x0100;
    std::int16_t value = 0;
    if (n < 1 || !gUSBIO_ReadP0(value)) {
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!gUSBIO_ReadP0(value)) {
            return 1;
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    gUSBIO_Close();
    std::sort(times.begin(), times.end());
    std::printf("the link %d exchanges: median %.3f ms, p90 %.3f ms\n", n,
        times[static_cast<std::size_t>(n / 2)], times[static_cast<std::size_t>(n * 9 / 10)]);
    return 0;
}
