#include "platform/shared/writer_names.h"

#include <algorithm>
#include <atomic>

namespace platform {
namespace {

constexpr std::size_t KeptNameBytes = 200;

bool isDecimal(std::string_view s)
{
    return !s.empty() && s.size() < 11
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string hiddenTemporaryPrefix(std::string_view name)
{
    std::size_t keep = std::min(name.size(), KeptNameBytes);
    while (
        keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return "." + std::string(name.substr(0, keep)) + ".tmp";
}

std::string writerTemporaryName(std::string_view prefix, std::uint64_t pid)
{
    static std::atomic<unsigned> serial { 0 };
    return std::string(prefix) + std::to_string(pid) + "." + std::to_string(serial++);
}

std::optional<std::uint64_t> temporaryNameWriter(std::string_view name, std::string_view prefix)
{
    if (name.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    name.remove_prefix(prefix.size());
    const auto dot = name.find('.');
    if (dot == std::string_view::npos || !isDecimal(name.substr(0, dot))
        || !isDecimal(name.substr(dot + 1))) {
        return std::nullopt;
    }
    std::uint64_t pid = 0;
    for (char c : name.substr(0, dot)) {
        pid = pid * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return pid;
}

} // namespace platform
