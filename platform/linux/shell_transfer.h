#pragma once
// Copying, moving and renaming one item for the shell's file operation, with
// the shell's rules for collisions and merges.

#include "platform/linux/file_tree.h"
#include "platform/linux/shell_results.h"

#include <cstdint>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>

namespace platform::shellop {

class Transfer
{
public:
    /// @p function: FoCopy, FoMove or FoRename; @p flags: the request's Fof* flags.
    Transfer(std::uint32_t function, std::uint16_t flags) : function_(function), flags_(flags) { }

    /// Puts @p source at @p target, whose folder exists. An existing target
    /// is a collision: renamed around, refused, or (without confirmation)
    /// replaced, a folder merged into a folder.
    Code run(const std::string &source, std::string target);

private:
    bool flag(std::uint16_t bit) const { return (flags_ & bit) != 0; }
    Code collision(const struct stat &source, std::string &target, bool &overwrite) const;
    void removeLeftovers(int dirFd);
    Code copyItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
        const std::string &to, bool overwrite, tree::CopyRecord *record);
    Code mergeCopy(int fromDir, const std::string &from, int toDir, const std::string &to,
        tree::CopyRecord *record);
    Code moveItem(int fromDir, const std::string &from, const struct stat &st, int toDir,
        const std::string &to, bool overwrite);
    Code mergeMove(int fromDir, const std::string &from, int toDir, const std::string &to);

    std::uint32_t function_;
    std::uint16_t flags_;
    std::set<std::pair<dev_t, ino_t>> cleaned_; // destination folders rid of leftovers
    int mergeLevels_ = 0; // merges entered and not yet left, one per folder level
};

} // namespace platform::shellop
