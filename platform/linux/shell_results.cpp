// Maps errno values onto the Win32 codes the shell's file operation returns,
// so a failure reads the same whichever OS ran it.

#include "platform/linux/shell_results.h"

#include <cerrno>

namespace platform::shellop {

Code fromErrno(int error)
{
    switch (error) {
    case 0:
        return ErrFunctionFailed;
    case ENOENT:
        return FoErrNotFound;
    case ENOTDIR:
        return ErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrAccessDenied;
    case EEXIST:
        return ErrAlreadyExists;
    case ENOSPC:
    case EDQUOT:
        return ErrDiskFull;
    case EFBIG:
        return ErrFileTooLarge;
    case ENAMETOOLONG:
        return ErrFilenameTooLong;
    case ELOOP:
        return ErrCantResolveFilename;
    case EXDEV:
        return ErrNotSameDevice;
    case EBUSY:
    case EAGAIN:
        return ErrSharingViolation;
    case EINVAL:
        return FoErrInvalid;
    case ENOTEMPTY:
        return ErrDirNotEmpty;
    case EISDIR:
        return FoErrFileOntoFolder;
    case EOPNOTSUPP:
        return ErrNotSupported;
    default:
        return ErrFunctionFailed;
    }
}

} // namespace platform::shellop
