#include "cli/io_output.h"

#include "platform/clock.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace portprobe_io {

constexpr const char *Program = "portprobe-io";

void message(const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", Program, text.c_str());
}

namespace {

int outputError = 0; ///< errno of the first failed output, 0 while none failed

} // namespace

bool out(std::string_view text)
{
    if (outputError != 0) {
        return false;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()
        || std::fflush(stdout) != 0) {
        outputError = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

int outputFailed()
{
    if (outputError != EPIPE) {
        message(std::string("cannot write to standard output: ") + std::strerror(outputError));
    }
    return OutputFailed;
}

int closeOutput(int status)
{
    // The close reports what a file system kept back until then; EBADF only
    // says that nothing was written to a closed descriptor (a write fails first).
    errno = 0;
    bool ok = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    int error = errno;
    if (std::fclose(stdout) != 0 && errno != EBADF) {
        ok = false;
        error = error != 0 ? error : errno;
    }
    if (ok || outputError != 0) {
        return status;
    }
    outputError = error != 0 ? error : EIO;
    const int failed = outputFailed();
    return status == Done ? failed : status;
}

std::string idText(std::int32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<std::uint32_t>(id));
    return text;
}

namespace {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

} // namespace

// ISO 8601 local time to the millisecond with the zone's offset. The offset
// is the platform clock's local time less the UTC second, in whole minutes,
// so a second ticking between the two samples does not show.
std::string stamp()
{
    const auto utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const platform::LocalTime local = platform::clock().now();
    const std::int64_t localSeconds = daysFromCivil(local.year, static_cast<unsigned>(local.month),
                                          static_cast<unsigned>(local.day))
            * 86400
        + local.hour * 3600 + local.minute * 60 + local.second;
    const std::int64_t utcSeconds = utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000;
    const auto offsetMinutes = static_cast<std::int64_t>(
        std::llround(static_cast<double>(localSeconds - utcSeconds) / 60.0));
    const std::int64_t shownMs = utcMs + offsetMinutes * 60000;
    const std::int64_t shownSeconds = shownMs >= 0 ? shownMs / 1000 : (shownMs - 999) / 1000;
    const std::int64_t days =
        shownSeconds >= 0 ? shownSeconds / 86400 : (shownSeconds - 86399) / 86400;
    const std::int64_t secondOfDay = shownSeconds - days * 86400;
    int year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    const std::int64_t offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month,
        day, static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
        static_cast<int>(secondOfDay % 60), static_cast<int>(shownMs - shownSeconds * 1000),
        offsetMinutes < 0 ? '-' : '+', static_cast<int>(offset / 60),
        static_cast<int>(offset % 60));
    return text;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// One port value: "166 0xA6 10100110", or its JSON object. Port1 shows its
// four lines, Port0 its eight; a time stamp leads when given.
bool printValue(
    const Options &o, const char *port, unsigned value, int bits, const std::string &time)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", value);
    const std::string number = std::to_string(value);
    const std::string pattern = bitString(value, bits);
    if (o.json) {
        return out("{" + (time.empty() ? "" : "\"time\":" + jsonString(time) + ",") + "\"port\":\""
            + port + "\",\"value\":" + number + ",\"hex\":\"" + hex + "\",\"bits\":\"" + pattern
            + "\"}\n");
    }
    return out(time + (time.empty() ? "" : " ") + number + " " + hex + " " + pattern + "\n");
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::uint8_t b : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, text.empty() ? "%02X" : " %02X", b);
        text += two;
    }
    return text;
}

} // namespace portprobe_io
