// portprobe-vboard: virtual USB-IO boards in Windows' own HID stack, for
// tests, demonstrations and a desk without the board. Installs and removes
// boards of vboard.sys and sets or shows their ports.

#include "drivers/vboard/vboard_installer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char *Usage =
    "usage: portprobe-vboard COMMAND [--board N]\n"
    "  install [--vid HEX] [--pid HEX]  add a board (another install adds another)\n"
    "  remove                           unplug board N (without --board: every board)\n"
    "  inputs VALUE                     set board N's eight switches (0-255, 0x00-0xFF)\n"
    "  outputs                          board N's four LEDs as bits, P1_3 first\n"
    "  stall on|off                     board N stops answering, or answers again\n"
    "  list                             the boards, numbered from 1 in the order added\n"
    "Board N defaults to 1. Exit status: 0 done, 1 failed or no such board, 2 usage.\n";

int usage()
{
    std::fputs(Usage, stderr);
    return 2;
}

std::optional<unsigned long> number(const char *text, int base, unsigned long max)
{
    if (text == nullptr || *text == '\0' || *text == '-' || *text == '+') {
        return std::nullopt;
    }
    char *end = nullptr;
    const unsigned long value = std::strtoul(text, &end, base);
    if (*end != '\0' || value > max) {
        return std::nullopt;
    }
    return value;
}

std::string bits(unsigned value)
{
    std::string out;
    for (int bit = 3; bit >= 0; --bit) {
        out.push_back((value >> bit) & 1u ? '1' : '0');
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> words;
    vboard::BoardSpec spec;
    std::optional<unsigned long> board;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--vid" || arg == "--pid" || arg == "--board") {
            const char *value = i + 1 < argc ? argv[++i] : nullptr;
            const auto n =
                arg == "--board" ? number(value, 10, VBOARD_MAX_BOARDS) : number(value, 16, 0xFFFF);
            if (!n) {
                std::fprintf(stderr, "portprobe-vboard: bad value for %s\n", arg.c_str());
                return usage();
            }
            if (arg == "--vid") {
                spec.vendorId = static_cast<std::uint16_t>(*n);
            } else if (arg == "--pid") {
                spec.productId = static_cast<std::uint16_t>(*n);
            } else {
                if (*n == 0) {
                    std::fprintf(stderr, "portprobe-vboard: boards count from 1\n");
                    return usage();
                }
                board = *n - 1;
            }
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        return usage();
    }
    const std::string &command = words[0];
    std::string error;

    if (command == "install" && words.size() == 1) {
        const std::wstring instance = vboard::install(spec, vboard::infBesideProgram(), error);
        if (instance.empty()) {
            std::fprintf(stderr, "portprobe-vboard: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", vboard::interfacePath(instance).c_str());
        return 0;
    }

    const std::vector<vboard_info> present = vboard::boards();
    if (command == "list" && words.size() == 1) {
        for (std::size_t i = 0; i < present.size(); ++i) {
            const vboard_info &b = present[i];
            std::printf("%zu  %04X/%04X  in %u  out %u  inputs 0x%02X  outputs %s%s  %s\n", i + 1,
                b.vendor_id, b.product_id, b.input_length, b.output_length, b.port0,
                bits(b.port1).c_str(), b.stalled ? "  stalled" : "",
                vboard::interfacePath(b.instance).c_str());
        }
        return 0;
    }
    if (command == "remove" && words.size() == 1) {
        if (present.empty() || (board && *board >= present.size())) {
            std::fprintf(stderr, "portprobe-vboard: no such board\n");
            return 1;
        }
        for (std::size_t i = 0; i < present.size(); ++i) {
            if ((!board || *board == i) && !vboard::remove(present[i].instance, error)) {
                std::fprintf(stderr, "portprobe-vboard: %s\n", error.c_str());
                return 1;
            }
        }
        return 0;
    }

    const std::size_t index = board.value_or(0);
    const bool known = command == "inputs" || command == "outputs" || command == "stall";
    if (!known) {
        return usage();
    }
    const std::size_t arguments = command == "outputs" ? 1 : 2;
    if (words.size() != arguments) {
        return usage();
    }
    if (index >= present.size()) {
        std::fprintf(stderr, "portprobe-vboard: no board %zu\n", index + 1);
        return 1;
    }
    const vboard_info &b = present[index];
    if (command == "outputs") {
        std::printf("%s\n", bits(b.port1).c_str());
        return 0;
    }
    if (command == "inputs") {
        const char *text = words[1].c_str();
        const bool hex = std::strncmp(text, "0x", 2) == 0 || std::strncmp(text, "0X", 2) == 0;
        const auto value = number(hex ? text + 2 : text, hex ? 16 : 10, 255);
        if (!value) {
            std::fprintf(stderr, "portprobe-vboard: value \"%s\" is not 0 to 255\n", text);
            return 2;
        }
        return vboard::setInputs(b.instance, static_cast<std::uint8_t>(*value)) ? 0 : 1;
    }
    if (words[1] != "on" && words[1] != "off") {
        return usage();
    }
    return vboard::setStalled(b.instance, words[1] == "on") ? 0 : 1;
}
