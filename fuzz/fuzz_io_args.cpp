// portprobe-io's argument parser on arbitrary arguments (NUL-separated):
// never a crash, a one-line message on every refusal, values in range on
// every acceptance, the same answer twice.

#include "cli/io_args.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace portprobe_io;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string_view> args;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const ParseResult r = parseArguments(args);
    const ParseResult again = parseArguments(args);
    check(r.options.has_value() == again.options.has_value() && r.error == again.error);
    if (!r.options) {
        check(!r.error.empty() && r.error.size() < 300);
        for (char c : r.error) {
            check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        }
        return 0;
    }
    const Options &o = *r.options;
    check(r.error.empty());
    check(o.value <= 15 && o.intervalMs <= MaxIntervalMs && (!o.count || *o.count >= 1));
    if (o.command != Command::Write) {
        check(o.value == 0);
    }
    for (std::string_view arg : args) {
        if (const auto v = parsePortValue(arg)) {
            check(*v <= 15 && bitString(*v, 4).size() == 4);
        }
    }
    return 0;
}
