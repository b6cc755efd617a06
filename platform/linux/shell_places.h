#pragma once
// Where the shell's file operation reads and writes: items named by path,
// free names for collisions, and the parent folders it makes. A made folder
// goes again only while empty, so nothing others put there is ever removed.

#include "platform/linux/shell_results.h"
#include "platform/linux/unique_fd.h"

#include <string>
#include <vector>

namespace platform::shellop {

/// Whether anything (a dangling link too) is at @p path; errno tells why not.
bool exists(const std::string &path);

/// "name (2).ext", "name (3).ext", ...: the first name not taken in the
/// folder of @p path; empty when none is free.
std::string freeName(const std::string &path);

/// Whether @p target, once made, lies in folder @p folder or is it: links in
/// the existing part of either resolved.
bool isInside(const std::string &folder, const std::string &target);

/// Whether the current folder is @p path or lies inside it.
bool holdsCurrentFolder(const std::string &path);

/// An item named by a path: the folder it is in, open (O_PATH), and its name there.
struct Place
{
    UniqueFd folder;
    std::string name;

    Code open(const std::string &path);
};

/// Made parent folders: removed again, deepest first, unless kept.
class MadeFolders
{
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders &) = delete;
    MadeFolders &operator=(const MadeFolders &) = delete;
    ~MadeFolders();

    /// Makes folder @p path with its missing parents.
    Code make(const std::string &path);
    /// The operation succeeded: what was made stays.
    void keep() { keep_ = true; }

private:
    std::vector<std::string> made_;
    bool keep_ = false;
};

} // namespace platform::shellop
