#pragma once
// Local wall-clock time, replaceable so error reports can be checked byte for byte.
//
// Backends: linux/clock_linux (localtime_r, default on Linux), win32/clock_win32
// (GetLocalTime, default on Windows); tests fix the time (FixedClock in
// tests/common/platform_fakes.h).

#include "platform/seam.h"

namespace platform {

/// A local date and time to the second, as SYSTEMTIME counts it.
struct LocalTime
{
    int year = 0; ///< four digits
    int month = 0; ///< 1-12
    int day = 0; ///< 1-31
    int hour = 0; ///< 0-23
    int minute = 0; ///< 0-59
    int second = 0; ///< 0-59 (60 only where the system reports a leap second)
};

class Clock
{
public:
    virtual ~Clock() = default;
    /// The local date and time now, in the user's time zone.
    virtual LocalTime now() const = 0;
};

template<> Clock &Seam<Clock>::defaultInstance();

inline Clock &clock()
{
    return Seam<Clock>::get();
}

} // namespace platform
