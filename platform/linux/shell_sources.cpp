// Expands the source of a shell file operation as the Windows shell does:
// an existing item is itself; otherwise wildcards in the last name only are
// matched in its folder. Items still being written are nobody's yet and
// never match.

#include "platform/linux/shell_sources.h"
#include "platform/linux/file_tree.h"
#include "platform/linux/shell_paths.h"
#include "platform/linux/shell_places.h"
#include "platform/shared/path_join.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace platform::shellop {

Code expandSources(const std::string &from, std::vector<std::string> &sources, bool &many)
{
    many = false;
    if (withoutTrailingSlashes(from).empty()) {
        return FoErrInvalid;
    }
    const std::string path = shellpath::resolveDots(from);
    if (exists(path)) {
        sources.push_back(path);
        return 0;
    }
    const int missing = errno;
    const std::string pattern = nameOf(path);
    const bool bare = path.find('/') == std::string::npos;
    const std::string folder = bare ? "." : folderOf(path);
    if (!shellpath::hasWildcard(pattern) || shellpath::hasWildcard(folder)) {
        return fromErrno(missing);
    }
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> names;
    if (!fd) {
        return fromErrno(errno);
    }
    if (int error = tree::listNames(fd.get(), names)) {
        return fromErrno(error);
    }
    for (const auto &name : names) {
        if (name.rfind(TemporaryPrefix, 0) != 0 && shellpath::wildcardMatch(pattern, name)) {
            sources.push_back(bare ? name : joinFilePath(folder, name));
        }
    }
    std::sort(sources.begin(), sources.end());
    many = true;
    return sources.empty() ? FoErrNotFound : 0;
}

} // namespace platform::shellop
