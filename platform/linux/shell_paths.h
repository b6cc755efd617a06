#pragma once
// Paths as the Windows shell reads them: dot segments resolved by their
// text, and its wildcards.

#include <string>

namespace platform::shellpath {

/// @p path with "." and ".." segments resolved by their text, as the Windows
/// shell resolves them ("d/." is d, "x/.." is x's parent, "//" and "/.." are
/// "/"); "." for the current folder itself. A leading ".." of a relative path
/// stays.
std::string resolveDots(const std::string &path);

bool hasWildcard(const std::string &text);

/// Whether file name @p name matches @p pattern: "*" any run of characters,
/// "?" one character or none at the end of the name or before a dot, "*.*"
/// every name, a pattern ending in "." only names without an extension.
/// Case-sensitive, as names are here.
bool wildcardMatch(const std::string &pattern, const std::string &name);

} // namespace platform::shellpath
