#pragma once
// Joining and splitting paths as text, for every backend (file paths with '/',
// registry key paths with '\\'): no file system is asked, nothing is resolved.

#include <string>
#include <string_view>

namespace platform {

/// @p name under @p parent with one @p separator between them: an empty parent
/// gives the name alone; a parent already ending in the separator gets none added.
std::string joinPath(std::string_view parent, std::string_view name, char separator);

/// A file path: joinPath with '/', where the current folder "." also gives the
/// name alone (a bare name stays bare).
std::string joinFilePath(std::string_view folder, std::string_view name);

/// The folder of a file path: "." when it has none, "/" for a name at the root.
std::string folderOf(std::string_view path);

/// The last name of a file path: what follows its last '/' (all of it without one).
std::string nameOf(std::string_view path);

/// A file path without the slashes it ends in; "/" stays "/".
std::string withoutTrailingSlashes(std::string_view path);

} // namespace platform
