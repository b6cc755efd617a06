#pragma once
// portprobe-io's output: messages to standard error, values as text or JSON to
// standard output, time stamps in local ISO 8601.

#include "cli/io_args.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace portprobe_io {

/// "portprobe-io: <text>" on standard error.
void message(const std::string &text);

/// @p text to standard output, flushed at once. False once any write has
/// failed: the caller ends with outputFailed().
[[nodiscard]] bool out(std::string_view text);
/// The status for a failed output: the reason in one line on standard
/// error, except for a pipe whose reader is gone (EPIPE), which ends quietly.
int outputFailed();
/// Flushes and closes standard output at the end. A failure not reported yet
/// is reported, and turns @p status Done into OutputFailed.
int closeOutput(int status);

/// An ID as at least four upper-case hex digits (a 32-bit target as its
/// bit pattern).
std::string idText(std::int32_t id);
/// Local time now, ISO 8601 to the millisecond with the zone's offset.
std::string stamp();
/// @p text as a JSON string (quotes, backslashes and control characters escaped).
std::string jsonString(std::string_view text);
/// One port value: "166 0xA6 10100110", or its JSON object; Port1 shows four
/// lines, Port0 eight; a time stamp leads when given. Written as out().
[[nodiscard]] bool printValue(
    const Options &o, const char *port, unsigned value, int bits, const std::string &time = {});
/// Bytes as hex pairs separated by blanks.
std::string hexBytes(std::span<const std::uint8_t> bytes);

} // namespace portprobe_io
