#pragma once
// QuillFunc_Common (Qt-free part): the error log, the fatal path's core,
// the environment and help helpers, and rounding. The window helpers of the
// same module (gDspForm, gSetFormCaption, ...) are in forms/QuillFunc_CommonWindow.

#include "support/ErrObject.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// While false, gProcErrLog also shows each report in a message box.
extern bool gbooHideErrMsg;

/// True once the session ends the program (a signal, a log-out): nobody is
/// left to answer a box, so the error routines log without showing any.
extern bool gbooSessionEnding;

/// Reports the pending error under @p procName to the error log (and a
/// message box while gbooHideErrMsg is false), then clears it. Never raises.
/// Registered as the trap's report (ErrorReportCalls) before main runs.
void gProcErrLog(std::string_view procName, std::string_view extraText);

/// Appends one record (empty line, report, CR LF, trailer, CR LF) to the log.
/// @returns true when the record was written. Never raises.
bool gSetErrLog(std::string_view report, std::string_view trailer);

/// Builds the error log's path into @p path.
/// @returns true when built; on false @p path is left as it was. Never raises.
bool gGetErrLogFileName(std::string &path);

/// Tells the user, logs, opens the log, and ends the program through
/// gProcEndProgram. While gbooSessionEnding, it only logs and ends. Never
/// returns.
[[noreturn]] void gProcFatalError(std::string_view procName, std::string_view extraText);

/// Opens the error log minimised in its associated viewer.
/// @returns true when the viewer was started.
bool gDspErrLog();

/// The calls the end sequence needs from the layers above it, registered once
/// at start-up (gRegisterEndProgram). Qt-free, so that a program without
/// windows leaves them all empty and ends at once.
struct EndProgramCalls
{
    /// Ends the program after a fatal error: the end window, with status 1.
    /// Empty: gProcFatalError ends the process at once.
    std::function<void()> endAfterFatalError;
    /// Shows the end window modal, creating it when there is none.
    /// @returns false when it could not be shown (already reported). Empty:
    /// gProcEndProgram reports an unset object and ends the process at once.
    std::function<bool()> showEndWindow;
    /// The program's last clean-up step, run by the end window before the
    /// process ends; false ends the process there. Empty: skipped.
    std::function<bool()> endProcess;
};

/// Registers @p calls in place of any registered before.
void gRegisterEndProgram(EndProgramCalls calls);

/// The calls registered last; all empty before the first registration.
const EndProgramCalls &gRegisteredEndProgram();

/// Appends the directory separator unless @p text already ends in it.
std::string gAddBackslash(std::string_view text);

/// Opens @p helpFile (relative to the application folder) maximised.
bool gDspHelp(std::string_view helpFile);

/// Opens the maker's web site's top page maximised.
bool gDspHP();

/// Starts the system-settings applet @p applet without waiting for it.
bool gDspControlPanel(std::string_view applet);

/// The system's version texts. Outs are left unchanged on failure.
bool gGetWinVersion(std::string &platform, std::string &major, std::string &minor,
    std::string &build, std::string &servicePack, std::string &subVersion, std::string &version);

/// The browser's version texts from the registry ("Can'tGet" where missing).
bool gGetIeVersion(std::string &version, std::string &build, std::string &versionVector);

/// Rounds @p value to @p digits decimal places: mode 0 truncates toward zero,
/// 1 rounds half away from zero, 2 rounds up. Any other mode reports and gives 0.
double gROUNDOFF(double value, std::int32_t digits, std::int32_t mode);

/// The same for a numeric text; a text that is not a number reports and gives 0.
double gROUNDOFF(std::string_view value, std::int32_t digits, std::int32_t mode);
