#pragma once
// The sources of one shell file operation: the path as given, or the items
// its wildcards match.

#include "platform/linux/shell_results.h"

#include <string>
#include <vector>

namespace platform::shellop {

/// Names of items being written; a killed writer's are found again by it.
inline constexpr const char *TemporaryPrefix = ".portprobe-part.tmp";

/// The sources @p from names, dot segments resolved: itself when it exists,
/// else the matches of the wildcards in its file-name part, sorted (then
/// @p many is set).
Code expandSources(const std::string &from, std::vector<std::string> &sources, bool &many);

} // namespace platform::shellop
