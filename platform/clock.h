#pragma once
// Local wall-clock time, replaceable so error reports can be checked byte for byte.

#include "platform/seam.h"

namespace platform {

struct LocalTime
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock
{
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

template<> Clock &Seam<Clock>::defaultInstance();

inline Clock &clock()
{
    return Seam<Clock>::get();
}

} // namespace platform
