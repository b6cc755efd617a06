#pragma once
// The run-time error model: Visual-Basic-style error numbers carried by an
// exception, one pending error, and the trap that turns a failure into a
// report under the procedure's own name.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

/// Visual-Basic run-time error numbers the program raises or maps to.
namespace vberr {
inline constexpr std::int32_t None = 0;
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t BadFileNameOrNumber = 52;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t BadFileMode = 54;
inline constexpr std::int32_t FileAlreadyOpen = 55;
inline constexpr std::int32_t DeviceIOError = 57;
inline constexpr std::int32_t FileAlreadyExists = 58;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t InputPastEndOfFile = 62;
inline constexpr std::int32_t DeviceUnavailable = 68;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathFileAccessError = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t InvalidPropertyValue = 380;
} // namespace vberr

/// A run-time error: what Err.Raise throws.
class RuntimeError : public std::exception
{
public:
    explicit RuntimeError(
        std::int32_t number, std::string source = {}, std::string description = {});
    std::int32_t number() const noexcept { return number_; }
    const std::string &source() const noexcept { return source_; }
    const std::string &description() const noexcept { return description_; }
    const char *what() const noexcept override { return description_.c_str(); }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

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

/// The standard Japanese description of run-time error @p number (VB's Error$);
/// empty for 0, the "application-defined" text for numbers VB does not define.
std::string gErrorText(std::int32_t number);

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

/// The library trap: runs @p body; when it fails, records the error, reports
/// it through gProcErrLog under @p procName and answers false.
template<class Body> bool gTrap(std::string_view procName, Body &&body);

/// The window trap: like gTrap, but the report goes to gProcFatalError, which
/// does not return.
template<class Body> void gTrapFatal(std::string_view procName, Body &&body);

// gProcErrLog and gProcFatalError live in QuillFunc_Common.
void gProcErrLog(std::string_view procName, std::string_view extraText);
[[noreturn]] void gProcFatalError(std::string_view procName, std::string_view extraText);

template<class Body> bool gTrap(std::string_view procName, Body &&body)
{
    try {
        body();
        return true;
    } catch (...) {
        gCaptureCurrentError();
    }
    gProcErrLog(procName, "");
    return false;
}

template<class Body> void gTrapFatal(std::string_view procName, Body &&body)
{
    try {
        body();
        return;
    } catch (...) {
        gCaptureCurrentError();
    }
    gProcFatalError(procName, "");
}
