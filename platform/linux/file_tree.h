#pragma once
// Walks over folder trees by descriptor: each folder is opened relative to its
// parent's descriptor with O_NOFOLLOW | O_DIRECTORY and each entry is named
// relative to its folder's, so a folder swapped for a link meanwhile is never
// entered and nothing outside the tree is read, written or removed. The walks
// keep their own stack and a few descriptors, whatever the depth.
// Results are errno values, 0 for success.

#include "platform/linux/unique_fd.h"

#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace platform::tree {

/// Folder @p name of @p dirFd opened for reading, never through a link.
UniqueFd openFolder(int dirFd, const char *name);

/// The names in folder @p folderFd, "." and ".." left out.
int listNames(int folderFd, std::vector<std::string> &names);

/// Whether item @p name of @p dirFd can be removed with everything in it,
/// checked before anything is touched: EBUSY for the file-system root, a mount
/// point (a file's included) or the current folder anywhere in the tree;
/// EACCES or EPERM where this user may not remove an entry, EPERM for an
/// immutable or append-only entry or folder; the errno of a folder that
/// cannot be read.
int checkRemovable(int dirFd, const char *name);

/// For moving item @p name of @p dirFd away whole (the trash): EBUSY for the
/// root, a mount point or the current folder itself; EACCES or EPERM where
/// this user may not take it from its folder (EPERM: it or its folder is
/// immutable or append-only); the errno of a failed look.
int checkMovable(int dirFd, const char *name);

/// Removes @p name of @p dirFd and, for a folder, everything in it; links are
/// removed, never followed. @p ours: a tree this process made, whose folders
/// may be made writable to empty them.
int removeTree(int dirFd, const char *name, bool ours = false);

/// The source entries a copy took, each as it was when copied.
class CopyRecord
{
public:
    void add(const struct stat &st);
    /// The entry is one that was copied and has not changed since (size,
    /// write and change times; a folder: the same folder, whatever it holds
    /// now).
    bool unchanged(const struct stat &st) const;

private:
    struct Seen
    {
        bool folder;
        bool changedMeanwhile; // taken twice (hard links), different the second time
        off_t size;
        timespec written;
        timespec changed;
    };
    std::map<std::pair<dev_t, ino_t>, Seen> seen_;
};

/// A new regular file @p name of folder @p dirFd, open for writing, never
/// over anything (EEXIST): made unnamed (O_TMPFILE), given to @p prepare (if
/// set; its non-zero errno ends it), and only then linked in, so the name
/// never shows the file without what @p prepare gave it. Where the file
/// system cannot (no O_TMPFILE, no /proc), created by name and prepared at
/// once. The descriptor, or -1 with errno.
int createFile(int dirFd, const char *name, mode_t mode, const std::function<int(int)> &prepare);

/// Copies item @p fromName of @p fromDir (its lstat @p st) to @p toName of
/// @p toDir, which must not exist (EEXIST, nothing made): folders with
/// everything in them, each given its mode once its content is complete;
/// links as links; regular files' bytes in the kernel, holes kept, with mode
/// and write time; files linked more than once inside the item linked alike
/// in the copy; owner and group where this user may give them, else no
/// set-user-ID or set-group-ID bit; anything else EOPNOTSUPP. What it took
/// goes into @p record (may be null). @p created gets the top item's
/// descriptor (a link's: -1) right after this call made it, before anything
/// is written (a file's: before it has its name, see createFile); a non-zero
/// answer ends the copy with that errno. On failure
/// what was made stays under @p toName for the caller to remove.
int copyNew(int fromDir, const char *fromName, const struct stat &st, int toDir, const char *toName,
    CopyRecord *record, const std::function<int(int)> &created = {});

/// Removes item @p name of @p dirFd as far as @p record holds it unchanged:
/// new or changed entries stay, and so do the folders holding them.
/// ENOTEMPTY when anything stayed.
int removeCopied(int dirFd, const char *name, const CopyRecord &record);

} // namespace platform::tree
