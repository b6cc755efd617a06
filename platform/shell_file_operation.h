#pragma once
// The shell's file operation (SHFileOperationA): copy, move, rename or delete
// one source, which may hold wildcards in its file-name part, with the
// shell's option flags. Windows runs the real call; elsewhere our own
// implementation gives the same results without ever asking the user (see
// docs/stand-ins.md, "Shell file operations on Linux", for what each flag
// changes there).

#include "platform/seam.h"

#include <cstdint>
#include <string>

namespace platform {

// Operation codes (FO_*).
inline constexpr std::uint32_t FoMove = 1;
inline constexpr std::uint32_t FoCopy = 2;
inline constexpr std::uint32_t FoDelete = 3;
inline constexpr std::uint32_t FoRename = 4;

// Option flags (FOF_*).
inline constexpr std::uint16_t FofSilent = 0x0004;
inline constexpr std::uint16_t FofRenameOnCollision = 0x0008;
inline constexpr std::uint16_t FofNoConfirmation = 0x0010;
inline constexpr std::uint16_t FofAllowUndo = 0x0040;
inline constexpr std::uint16_t FofSimpleProgress = 0x0100;
inline constexpr std::uint16_t FofNoConfirmMkDir = 0x0200;

// Failure results besides the system's error codes.
inline constexpr std::int32_t FoErrCancelled = 1223; ///< the shell would have asked: refused
inline constexpr std::int32_t FoErrSameFile = 0x71; ///< source and destination are one file
inline constexpr std::int32_t FoErrDestInsideSource = 0x76; ///< folder into its own subtree
inline constexpr std::int32_t FoErrFolderOntoFile = 0x7E; ///< a folder where a file is
inline constexpr std::int32_t FoErrFileOntoFolder = 0x80; ///< a file where a folder is
inline constexpr std::int32_t FoErrInvalid = 87; ///< bad operation code or missing path
inline constexpr std::int32_t FoErrNotFound = 2; ///< no source (or no wildcard match)

struct FileOperationRequest
{
    std::int32_t ownerWindow = 0; ///< window handle for the shell's dialogs, 0 for none
    std::uint32_t function = 0; ///< FoMove, FoCopy, FoDelete or FoRename
    std::string from; ///< one path (UTF-8)
    std::string to; ///< one path, empty for delete
    std::uint16_t flags = 0;
};

class ShellFileOperation
{
public:
    virtual ~ShellFileOperation() = default;
    /// Runs @p request. @returns 0 on success, non-zero otherwise.
    virtual std::int32_t run(const FileOperationRequest &request) = 0;
};

template<> ShellFileOperation &Seam<ShellFileOperation>::defaultInstance();

inline ShellFileOperation &shellFileOperation()
{
    return Seam<ShellFileOperation>::get();
}

} // namespace platform
