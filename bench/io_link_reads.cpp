// gUSBIO_ReadP0 on an open link, N readings of board 1352/0100 timed in the
// process: the C++ baseline of bench/python_read.sh. Prints the mean in ns.

#include "support/QuillFunc_Common.h"
#include "usbio/QuillFunc_USBIO.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000;
    gbooHideErrMsg = true;
    TargetVendorID = 0x1352;
    TargetProductID = 0x0100;
    std::int16_t value = 0;
    if (n <= 0 || !gUSBIO_ReadP0(value)) {
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) {
        if (!gUSBIO_ReadP0(value)) {
            return 1;
        }
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    std::printf("%.0f\n", spent.count() / static_cast<double>(n));
    gUSBIO_Close();
    return 0;
}
