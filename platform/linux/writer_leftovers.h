#pragma once
// Temporary files and folders written beside a final name and renamed into
// place: their names and marks (see writer_names.h), and the leftovers of
// writers that died before the rename. The mark is an extended attribute
// set on the descriptor right after the exclusive create; an item without
// one (a user's own, or one on a file system without user attributes) is
// never removed.

#include "platform/shared/writer_names.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

/// The extended attribute holding a WriterMark's text.
inline constexpr const char *WriterMarkAttribute = "user.portprobe.writer";

/// A name for a new temporary file of this process (see writer_names.h).
std::string writerTemporaryName(std::string_view prefix);

/// The mark that running process @p pid (as this process sees it) gives its
/// items; nothing where /proc does not tell its start time.
std::optional<WriterMark> runningWriter(pid_t pid);

/// Marks the temporary file or folder just created as @p fd as this
/// process's. Where that cannot be done (a file system without user
/// attributes: ENOTSUP) it stays unmarked, and so in place if left over.
void markTemporary(int fd);

/// Creates temporary file @p name in folder @p folder of @p dirFd (may be
/// AT_FDCWD; "." for @p dirFd itself), open for writing, never over anything
/// (EEXIST). The file is made unnamed, marked and only then linked in, so a
/// writer killed at any instant leaves no unmarked file; where the file system
/// cannot (no O_TMPFILE, no /proc) it is created by name and marked at once.
/// The descriptor, or -1 with errno.
int createMarkedFile(int dirFd, const char *folder, const char *name, mode_t mode);

/// Takes the mark off finished temporary item @p name of @p dirFd (may be
/// AT_FDCWD) before it
/// goes in place, as far as this user still may (a read-only item keeps it;
/// its final name is never swept anyway).
void unmarkTemporary(int dirFd, const char *name);

/// Removes the regular files of @p folder named "<prefix><pid>.<serial>"
/// that belong to this user and carry the mark of a writer with that process
/// ID that is no longer running (see deadWriterItem in the source).
void removeDeadWritersFiles(const std::string &folder, std::string_view prefix);

/// The same for the files and whole folders of @p dirFd. A marked folder
/// itself is made writable to be emptied; nothing inside it has its mode
/// changed: what only that would let go stays, and so does the folder.
void removeDeadWritersItems(int dirFd, std::string_view prefix);

} // namespace platform
