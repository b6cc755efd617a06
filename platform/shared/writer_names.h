#pragma once
// Names of files written aside and renamed into place when complete:
// "<prefix><pid>.<serial>", and the mark each such item gets when it is made.
// A name alone proves nothing (a user may choose it): a later writer removes
// only items marked by a writer that is no longer running. The same rule on
// every OS.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// ".<name>.tmp": hidden, with at most the first 200 bytes of a long @p name
/// (never cut inside a UTF-8 character), so that with the process ID and the
/// serial number the whole name stays within 255 bytes.
std::string hiddenTemporaryPrefix(std::string_view name);

/// "<prefix><pid>.<serial>" with a serial number never given out before in
/// this process.
std::string writerTemporaryName(std::string_view prefix, std::uint64_t pid);

/// The writer's process ID when @p name is "<prefix><pid>.<serial>" (both
/// decimal), else nothing.
std::optional<std::uint64_t> temporaryNameWriter(std::string_view name, std::string_view prefix);

/// What marks a temporary item as made by a writer: its process ID, when the
/// process started (a reused ID is then told apart) and, where the OS has
/// them, its namespace of process IDs (0 for none).
struct WriterMark
{
    std::uint64_t pid = 0;
    std::uint64_t started = 0;
    std::uint64_t space = 0;

    /// "<pid> <started> <space>", in decimal.
    std::string text() const;
    /// The mark written as @p text, else nothing.
    static std::optional<WriterMark> parse(std::string_view text);
    bool operator==(const WriterMark &) const = default;
};

} // namespace platform
