#pragma once
// Temporary files written beside a final name and renamed into place: their
// names, and the removal of those whose writer died before the rename.
//
// A temporary name is "<prefix><pid>.<serial>"; the writer's process ID says
// whether the file may still be in use.

#include <string>
#include <string_view>

namespace platform {

/// A name for a new temporary file of this process (see writer_names.h).
std::string writerTemporaryName(std::string_view prefix);

/// Removes the regular files in @p folder named "<prefix><pid>.<serial>"
/// that belong to this user and whose writer process no longer exists. Files
/// of live writers (and of this process), and anything else, stay.
void removeDeadWritersFiles(const std::string &folder, std::string_view prefix);

} // namespace platform
