// Executable images come from any file on disk: whatever the bytes, the
// version reader and the program check must end without a crash, a hang or
// an oversized allocation.

#include "platform/emulation/binary_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const platform::MemoryImage image(std::span(data, size));
    const auto info = platform::readPeVersionInfo(image);
    if (info && size < 64 + 52) {
        std::abort(); // a fixed block cannot come from fewer bytes than the headers and itself
    }
    platform::isExecutableImage(image);
    return 0;
}
