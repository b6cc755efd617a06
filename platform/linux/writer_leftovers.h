#pragma once
// Temporary files and folders written beside a final name and renamed into
// place: their names (see writer_names.h), and the leftovers of writers that
// died before the rename.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// A name for a new temporary file of this process (see writer_names.h).
std::string writerTemporaryName(std::string_view prefix);

/// The entries of folder @p dirFd named "<prefix><pid>.<serial>" that belong
/// to this user and whose writer process no longer exists. A live writer's
/// entries (this process's included), and anything else, are never listed.
std::vector<std::string> deadWritersNames(int dirFd, std::string_view prefix);

/// Removes the regular files among deadWritersNames() of @p folder.
void removeDeadWritersFiles(const std::string &folder, std::string_view prefix);

} // namespace platform
