#pragma once
// Screen metrics of the window system (GetSystemMetrics).

#include "platform/seam.h"

#include <cstdint>
#include <optional>

namespace platform {

inline constexpr std::int32_t SmCxScreen = 0; ///< primary screen width in pixels
inline constexpr std::int32_t SmCyScreen = 1; ///< primary screen height in pixels

class ScreenMetrics
{
public:
    virtual ~ScreenMetrics() = default;
    /// The metric @p index (SmCxScreen, SmCyScreen); std::nullopt when the
    /// window system cannot answer or does not know the index.
    virtual std::optional<std::int32_t> systemMetric(std::int32_t index) const = 0;
};

template<> ScreenMetrics &Seam<ScreenMetrics>::defaultInstance();

inline ScreenMetrics &screenMetrics()
{
    return Seam<ScreenMetrics>::get();
}

} // namespace platform
