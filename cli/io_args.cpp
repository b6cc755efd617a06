#include "cli/io_args.h"

#include <array>

namespace portprobe_io {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigit(char c)
{
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view withoutHexPrefix(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    return text;
}

// An argument as it may stand in a one-line message: control bytes escaped,
// long ones cut.
std::string quoted(std::string_view text)
{
    constexpr std::size_t Shown = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < Shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            constexpr char Hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > Shown) {
        out += "...";
    }
    return out + "\"";
}

struct Parser
{
    std::span<const std::string_view> args;
    std::size_t next = 0;
    Options options;
    std::optional<Command> command;
    std::string error;
    bool intervalGiven = false;

    bool fail(std::string message)
    {
        error = std::move(message);
        return false;
    }

    // The value of option @p name: after "=" when given so, else the next argument.
    bool valueOf(
        std::string_view name, std::optional<std::string_view> inline_, std::string_view &value)
    {
        if (inline_) {
            value = *inline_;
            return true;
        }
        if (next >= args.size()) {
            return fail(std::string(name) + " needs a value");
        }
        value = args[next++];
        return true;
    }

    bool option(std::string_view arg)
    {
        std::string_view name = arg;
        std::optional<std::string_view> inline_;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inline_ = arg.substr(eq + 1);
        }
        const auto flag = [&](bool &target) {
            if (inline_) {
                return fail(std::string(name) + " takes no value");
            }
            target = true;
            return true;
        };
        std::string_view value;
        if (name == "--json") {
            return flag(options.json);
        }
        if (name == "--virtual") {
            return flag(options.virtualBoard);
        }
        if (name == "--trace") {
            return flag(options.trace);
        }
        if (name == "--help" || name == "-h") {
            bool help = false;
            return flag(help) && setCommand(Command::Help, true);
        }
        if (name == "--version") {
            bool version = false;
            return flag(version) && setCommand(Command::Version, true);
        }
        if (name == "--vid" || name == "--pid") {
            if (!valueOf(name, inline_, value)) {
                return false;
            }
            const auto id = parseHexId(value);
            if (!id) {
                return fail(std::string(name == "--vid" ? "vendor" : "product") + " ID "
                    + quoted(value) + " is not a hexadecimal ID from 0 to FFFF");
            }
            (name == "--vid" ? options.vendorId : options.productId) = *id;
            return true;
        }
        if (name == "--board") {
            if (!valueOf(name, inline_, value)) {
                return false;
            }
            const auto n = parseDecimal(value, 1, 2147483647u);
            if (!n) {
                return fail("board " + quoted(value) + " is not a number from 1 (see list)");
            }
            options.board = *n;
            return true;
        }
        if (name == "--path") {
            if (!valueOf(name, inline_, value)) {
                return false;
            }
            if (value.empty()) {
                return fail("--path needs a device path (see list)");
            }
            options.path = std::string(value);
            return true;
        }
        if (name == "--interval") {
            if (!valueOf(name, inline_, value)) {
                return false;
            }
            const auto ms = parseDecimal(value, 0, MaxIntervalMs);
            if (!ms) {
                return fail("interval " + quoted(value)
                    + " is not a whole number of milliseconds"
                      " from 0 to 2147483647");
            }
            options.intervalMs = *ms;
            intervalGiven = true;
            return true;
        }
        if (name == "--count") {
            if (!valueOf(name, inline_, value)) {
                return false;
            }
            const auto n = parseDecimal(value, 1, MaxIntervalMs);
            if (!n) {
                return fail(
                    "count " + quoted(value) + " is not a whole number from 1 to 2147483647");
            }
            options.count = *n;
            return true;
        }
        return fail("unknown option " + quoted(name));
    }

    // Help and version win over any command; two commands are an error.
    bool setCommand(Command c, bool fromOption = false)
    {
        if (fromOption) {
            if (!command || (*command != Command::Help && *command != Command::Version)) {
                command = c;
            }
            return true;
        }
        if (command && *command != Command::Help && *command != Command::Version) {
            return fail("more than one command");
        }
        if (!command) {
            command = c;
        }
        return true;
    }

    bool word(std::string_view arg)
    {
        static constexpr std::array<std::pair<std::string_view, Command>, 4> Commands { {
            { "list", Command::List },
            { "write", Command::Write },
            { "read", Command::Read },
            { "watch", Command::Watch },
        } };
        for (const auto &[name, c] : Commands) {
            if (arg == name) {
                if (!setCommand(c)) {
                    return false;
                }
                if (c != Command::Write) {
                    return true;
                }
                if (next >= args.size()) {
                    return fail("write needs a value (0 to 15, 0x0A or four bits such as 1010)");
                }
                const std::string_view text = args[next++];
                const auto value = parsePortValue(text);
                if (!value) {
                    return fail("value " + quoted(text)
                        + " is not 0 to 15, 0x0 to 0xF or four bits such as 1010");
                }
                options.value = *value;
                return true;
            }
        }
        return fail("unknown command " + quoted(arg));
    }

    bool run()
    {
        while (next < args.size()) {
            const std::string_view arg = args[next++];
            const bool ok = arg.size() > 1 && arg[0] == '-' ? option(arg) : word(arg);
            if (!ok) {
                return false;
            }
        }
        if (!command) {
            return fail("no command (list, write, read or watch)");
        }
        options.command = *command;
        if (options.command != Command::Write) {
            options.value = 0; // help or version replaced the write
        }
        if (options.board && options.path) {
            return fail("--board and --path each choose the board; give one");
        }
        if ((intervalGiven || options.count) && options.command != Command::Watch
            && options.command != Command::Help && options.command != Command::Version) {
            return fail("--interval and --count belong to watch");
        }
        return true;
    }
};

} // namespace

std::optional<std::uint16_t> parseHexId(std::string_view text)
{
    text = withoutHexPrefix(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(d);
        if (value > 0xFFFF) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<std::uint8_t> parsePortValue(std::string_view text)
{
    if (text.size() == 4 && text.find_first_not_of("01") == std::string_view::npos) {
        unsigned value = 0;
        for (char c : text) {
            value = value * 2 + static_cast<unsigned>(c - '0');
        }
        return static_cast<std::uint8_t>(value);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        if (digits.size() > 2) {
            return std::nullopt;
        }
        unsigned value = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<unsigned>(d);
        }
        return value <= 15 ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(value))
                           : std::nullopt;
    }
    const auto value = text.size() <= 2 ? parseDecimal(text, 0, 15) : std::nullopt;
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint32_t> parseDecimal(
    std::string_view text, std::uint32_t low, std::uint32_t high)
{
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > high) {
            return std::nullopt;
        }
    }
    if (value < low) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string bitString(unsigned value, int width)
{
    std::string bits;
    for (int bit = width - 1; bit >= 0; --bit) {
        bits += ((value >> bit) & 1u) != 0 ? '1' : '0';
    }
    return bits;
}

ParseResult parseArguments(std::span<const std::string_view> args)
{
    Parser parser;
    parser.args = args;
    if (!parser.run()) {
        return { std::nullopt, parser.error };
    }
    return { parser.options, {} };
}

} // namespace portprobe_io
