#pragma once
// Names of files written aside and renamed into place when complete:
// "<prefix><pid>.<serial>", where the writer's process ID tells a later writer
// whether the file may still be in use. The same rule on every OS.

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

} // namespace platform
