#pragma once
// The running process: waiting, letting pending window events run, ending.

#include "platform/seam.h"

#include <cstdint>

namespace platform {

class Process
{
public:
    virtual ~Process() = default;

    /// Blocks the calling thread for @p milliseconds (Sleep).
    virtual void sleep(std::int32_t milliseconds) = 0;

    /// Lets pending window events run once (DoEvents). The core's default has
    /// no window system and does nothing; the window layer installs its own.
    virtual void doEvents() = 0;

    /// Ends the process at once with @p exitCode, running no further handlers.
    /// Production implementations do not return; a test's may throw.
    virtual void terminate(int exitCode) = 0;
};

template<> Process &Seam<Process>::defaultInstance();

inline Process &process()
{
    return Seam<Process>::get();
}

} // namespace platform
