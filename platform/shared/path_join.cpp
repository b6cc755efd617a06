#include "platform/shared/path_join.h"

namespace platform {

std::string joinPath(std::string_view parent, std::string_view name, char separator)
{
    std::string path(parent);
    if (!path.empty() && path.back() != separator) {
        path += separator;
    }
    path += name;
    return path;
}

std::string joinFilePath(std::string_view folder, std::string_view name)
{
    return joinPath(folder == "." ? std::string_view() : folder, name, '/');
}

std::string folderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

std::string nameOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string withoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

} // namespace platform
