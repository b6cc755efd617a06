#pragma once
// Detecting another running copy of the program.

#include "platform/seam.h"

#include <memory>
#include <optional>
#include <string_view>

namespace platform {

class InstanceLock
{
public:
    virtual ~InstanceLock() = default;

    /// Takes the current user's lock named @p name and keeps it for the rest of
    /// this object's life; asking again after it was taken answers false.
    /// The lock is released by the system when the holder ends in any way, a
    /// crash included, so a dead copy never blocks the next start.
    /// @returns true when another running copy holds the lock, false when this
    /// one holds it now, std::nullopt when the lock cannot be checked.
    virtual std::optional<bool> anotherInstanceRunning(std::string_view name) = 0;
};

/// A lock object of its own, independent of the default one (each behaves as
/// a separate copy of the program).
std::unique_ptr<InstanceLock> createInstanceLock();

template<> InstanceLock &Seam<InstanceLock>::defaultInstance();

inline InstanceLock &instanceLock()
{
    return Seam<InstanceLock>::get();
}

} // namespace platform
