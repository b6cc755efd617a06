#pragma once
// Visual-Basic run-time errors: the numbers, their standard texts and the
// exception that carries them. The lowest layer holds them so that the core and
// the class library raise the same errors without depending on each other.

#include <cstdint>
#include <exception>
#include <string>

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

/// The standard Japanese description of run-time error @p number (VB's Error$);
/// empty for 0, the "application-defined" text for numbers VB does not define.
std::string gErrorText(std::int32_t number);
