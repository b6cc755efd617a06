#pragma once
// The run-time error model: Visual-Basic-style error numbers carried by an
// exception, one pending error, and the trap that turns a failure into a
// report under the procedure's own name, through the report registered for it.

#include "platform/runtime/runtime_error.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

/// What a logical failure knows of its cause: a run-time error number that
/// describes it and a detail (a file's path) for the report.
struct FailureCause
{
    std::int32_t Number = 0;
    std::string Detail;
};

/// The pending error (VB's Err object).
struct ErrObject
{
    std::int32_t Number = 0;
    std::string Source;
    std::string Description;
    std::string HelpFile;
    std::int32_t HelpContext = 0;
    /// The cause a logical failure gave when it jumped to the handler; the
    /// report shows it in place of number 0.
    FailureCause Cause;

    /// Back to number 0 and empty texts.
    void Clear();
    /// Throws a RuntimeError; an omitted description becomes the standard one.
    [[noreturn]] void Raise(
        std::int32_t number, std::string source = {}, std::string description = {});
};

/// The one pending error of the program (single user-interface thread).
ErrObject &Err();

/// Thrown by a procedure that jumps to its error handler on a logical failure
/// (a helper answered False); it leaves the pending error as it is.
struct ErrHandlerJump
{
    FailureCause Cause;
};

[[noreturn]] inline void gGotoErrHandler(FailureCause cause = {})
{
    throw ErrHandlerJump { std::move(cause) };
}

/// Inside a catch block: records the exception in flight as the pending error.
/// Standard-library failures map to their run-time numbers (bad_alloc 7,
/// out_of_range 9, overflow 6, anything else 5).
void gCaptureCurrentError();

/// Where the trap sends a caught error, registered once (gRegisterErrorReport).
/// The error log registers itself at start-up; plain function pointers, so the
/// calls are valid before any static constructor has run.
struct ErrorReportCalls
{
    /// Reports the pending error under the procedure's name and clears it.
    /// Empty: the report goes to standard error.
    void (*errLog)(std::string_view procName, std::string_view extraText) = nullptr;
    /// Reports the pending error and ends the program; should it return, the
    /// trap ends the process with status 1. Empty: standard error, then that end.
    void (*fatalError)(std::string_view procName, std::string_view extraText) = nullptr;
};

/// Registers @p calls in place of any registered before.
void gRegisterErrorReport(ErrorReportCalls calls);

/// The calls registered last; both empty before the first registration.
const ErrorReportCalls &gRegisteredErrorReport();

/// Reports the pending error under @p procName through the registered errLog.
void gReportTrappedError(std::string_view procName);

/// Reports the pending error under @p procName through the registered
/// fatalError and ends the process.
[[noreturn]] void gReportTrappedFatalError(std::string_view procName);

/// The library trap: runs @p body; when it fails, records the error, reports
/// it under @p procName (gReportTrappedError) and answers false.
template<class Body> bool gTrap(std::string_view procName, Body &&body)
{
    try {
        body();
        return true;
    } catch (...) {
        gCaptureCurrentError();
    }
    gReportTrappedError(procName);
    return false;
}

/// The window trap: like gTrap, but the report is fatal
/// (gReportTrappedFatalError) and does not return.
template<class Body> void gTrapFatal(std::string_view procName, Body &&body)
{
    try {
        body();
        return;
    } catch (...) {
        gCaptureCurrentError();
    }
    gReportTrappedFatalError(procName);
}
