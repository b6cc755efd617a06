// Report descriptors come from the device: any bytes must parse without a
// crash, and the lengths must stay within what a 16-bit caps field holds.

#include "platform/emulation/hid_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto info = platform::parseHidReportDescriptor(std::span(data, size));
    if (!info.valid
        && (info.inputReportByteLength != 0 || info.outputReportByteLength != 0
            || info.featureReportByteLength != 0 || info.numbered)) {
        std::abort();
    }
    return 0;
}
