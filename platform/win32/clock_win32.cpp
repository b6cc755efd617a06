#include "platform/clock.h"

#include <windows.h>

namespace platform {
namespace {

class SystemClock final : public Clock
{
public:
    LocalTime now() const override
    {
        SYSTEMTIME t {};
        ::GetLocalTime(&t);
        return { t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond };
    }
};

} // namespace

template<> Clock &Seam<Clock>::defaultInstance()
{
    static SystemClock instance;
    return instance;
}

} // namespace platform
