#pragma once
// Report lengths of a HID device from its report descriptor, computed the way
// HidP_GetCaps reports them. The descriptor comes from the device, so any
// byte sequence is accepted: malformed input gives valid == false, never a
// crash or an overflow.

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

struct HidReportInfo
{
    bool valid = false; ///< the descriptor parsed without error
    bool numbered = false; ///< the device uses report IDs
    std::uint16_t usagePage = 0; ///< usage page of the first top-level collection
    std::uint16_t usage = 0; ///< usage of the first top-level collection
    /// Largest report of each kind in bytes, report-ID byte included (0 when
    /// the kind never appears), saturated at 65535.
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
};

/// Largest report descriptor the kernel hands out (HID_MAX_DESCRIPTOR_SIZE).
inline constexpr std::size_t MaxHidDescriptorSize = 4096;

/// Parses @p descriptor. On malformed input (truncated item, unbalanced
/// Push/Pop or collections, report ID 0 or above 255, nesting too deep) the
/// result has valid == false and all lengths 0.
HidReportInfo parseHidReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace platform
