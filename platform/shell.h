#pragma once
// Handing files, addresses and system-settings applets to the desktop shell.

#include "platform/seam.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Show commands (the Windows SW_ values).
inline constexpr std::int32_t SwShowNormal = 1;
inline constexpr std::int32_t SwShowMinimized = 2;
inline constexpr std::int32_t SwShowMaximized = 3;

// Failure codes of ShellExecuteA (values <= 32 are failures).
inline constexpr std::int32_t SeErrOutOfMemory = 0;
inline constexpr std::int32_t SeErrFileNotFound = 2;
inline constexpr std::int32_t SeErrPathNotFound = 3;
inline constexpr std::int32_t SeErrAccessDenied = 5;
inline constexpr std::int32_t SeErrNoAssociation = 31;
/// A success value (any value above 32 means success).
inline constexpr std::int32_t SeSuccess = 42;

class Shell
{
public:
    virtual ~Shell() = default;

    /// Performs the verb "open" on @p file (ShellExecuteA with no owner window,
    /// empty parameters and the current directory) and returns at once.
    /// @returns the shell's return value: above 32 on success, else a failure code.
    virtual std::int32_t open(std::string_view file, std::int32_t showCommand) = 0;

    /// Starts the system-settings applet @p applet ("sysdm.cpl") as a new process
    /// whose window opens normally and takes the focus, without waiting for it.
    /// @returns an empty text on success, else a description of the failure.
    virtual std::string startControlPanel(std::string_view applet) = 0;
};

template<> Shell &Seam<Shell>::defaultInstance();

inline Shell &shell()
{
    return Seam<Shell>::get();
}

} // namespace platform
