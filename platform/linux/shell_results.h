#pragma once
// The results of the shell's file operation: the Win32 error codes Windows
// gives for the same failures, so callers see one set of numbers on every OS.

#include "platform/shell_file_operation.h"

#include <cstdint>

namespace platform::shellop {

using Code = std::int32_t;

inline constexpr Code ErrPathNotFound = 3;
inline constexpr Code ErrAccessDenied = 5;
inline constexpr Code ErrNotSameDevice = 17;
inline constexpr Code ErrSharingViolation = 32;
inline constexpr Code ErrNotSupported = 50;
inline constexpr Code ErrDiskFull = 112;
inline constexpr Code ErrDirNotEmpty = 145;
inline constexpr Code ErrAlreadyExists = 183;
inline constexpr Code ErrFilenameTooLong = 206;
inline constexpr Code ErrFileTooLarge = 223;
inline constexpr Code ErrCantResolveFilename = 1921;
inline constexpr Code ErrFunctionFailed = 1627;

/// The result for a failed system call's @p error (0: a failure without one).
Code fromErrno(int error);

} // namespace platform::shellop
