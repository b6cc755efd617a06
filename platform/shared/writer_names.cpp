#include "platform/shared/writer_names.h"

#include <algorithm>
#include <atomic>

namespace platform {
namespace {

constexpr std::size_t KeptNameBytes = 200;

bool isDecimal(std::string_view s, std::size_t maxDigits = 10)
{
    return !s.empty() && s.size() <= maxDigits
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::uint64_t decimal(std::string_view s)
{
    std::uint64_t value = 0;
    for (char c : s) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
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
    return decimal(name.substr(0, dot));
}

std::string WriterMark::text() const
{
    return std::to_string(pid) + " " + std::to_string(started) + " " + std::to_string(space);
}

std::optional<WriterMark> WriterMark::parse(std::string_view text)
{
    std::uint64_t fields[3] = {};
    for (int i = 0; i < 3; ++i) {
        const auto end = i < 2 ? text.find(' ') : text.size();
        // 19 digits always fit 64 bits.
        if (end == std::string_view::npos || !isDecimal(text.substr(0, end), 19)) {
            return std::nullopt;
        }
        fields[i] = decimal(text.substr(0, end));
        text.remove_prefix(i < 2 ? end + 1 : end);
    }
    return WriterMark { fields[0], fields[1], fields[2] };
}

} // namespace platform
