#pragma once
// Temporary names of writers that write aside and rename into place:
// "<prefix><pid>.<serial>". What a writer killed before its rename leaves
// behind is found again by the prefix and removed once its process is gone.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// "<prefix><pid>.<serial>": a name no other writer of this process uses.
std::string writersTemporaryName(std::string_view prefix);

/// The entries of folder @p dirFd named "<prefix><pid>.<serial>" whose
/// process no longer exists and that belong to this user: leftovers of dead
/// writers. A live writer's files (this process's included) are never listed.
std::vector<std::string> deadWritersNames(int dirFd, std::string_view prefix);

} // namespace platform
