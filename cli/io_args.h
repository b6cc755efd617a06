#pragma once
// portprobe-io's command line, read by a pure function: no I/O, no state, so
// every malformed argument ends in a message and the usage status, and the
// fuzzer can drive it directly.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace portprobe_io {

enum class Command { Help, Version, List, Write, Read, Watch };

/// Exit statuses a script can branch on.
enum Status : int {
    Done = 0,
    NotFound = 1,
    Usage = 2,
    Lost = 3, ///< the board stopped answering or went away
    NoAccess = 4,
    OutputFailed = 5, ///< standard output could not be written (quiet for a closed pipe)
};

/// The interval's upper bound, as the console's timer allows.
inline constexpr std::uint32_t MaxIntervalMs = 2147483647u;
inline constexpr std::uint32_t DefaultIntervalMs = 1000;

struct Options
{
    Command command = Command::Help;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    bool json = false;
    bool virtualBoard = false;
    bool trace = false;
    std::uint8_t value = 0; ///< write: Port1, 0 to 15
    std::uint32_t intervalMs = DefaultIntervalMs; ///< watch
    std::optional<std::uint32_t> count; ///< watch: readings before it ends
    std::optional<std::uint32_t> board; ///< the board numbered so by list, from 1
    std::optional<std::string> path; ///< the board at this device path
};

/// The options, or the one-line reason they are not usable.
struct ParseResult
{
    std::optional<Options> options;
    std::string error;
};

/// Reads the arguments after the program name. Options may stand before or
/// after the command, as "--name value" or "--name=value".
ParseResult parseArguments(std::span<const std::string_view> args);

/// A USB ID: hexadecimal digits (an "0x" prefix allowed), at most FFFF.
std::optional<std::uint16_t> parseHexId(std::string_view text);

/// A Port1 value: decimal 0 to 15, "0x" and one or two hexadecimal digits, or
/// exactly four binary digits, P1_3 first ("1010" is 10).
std::optional<std::uint8_t> parsePortValue(std::string_view text);

/// Decimal digits only, within [@p low, @p high].
std::optional<std::uint32_t> parseDecimal(
    std::string_view text, std::uint32_t low, std::uint32_t high);

/// @p value's @p width bits, most significant first.
std::string bitString(unsigned value, int width);

} // namespace portprobe_io
