#pragma once
// Facts read from executable images without running them: the fixed block of
// a Windows version resource (PE32 and PE32+) and whether an image is a
// program rather than a library. Images come from arbitrary files, so every
// offset and count is checked: malformed input gives "nothing found", never a
// crash, a loop or an oversized read.

#include "platform/file_system.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

/// Random access to an image's bytes (a file on disk, or memory).
class ImageSource
{
public:
    virtual ~ImageSource() = default;
    virtual std::uint64_t size() const = 0;
    /// Reads exactly @p out.size() bytes at @p offset; false when they are not all there.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

/// An image held in memory.
class MemoryImage final : public ImageSource
{
public:
    explicit MemoryImage(std::span<const std::uint8_t> bytes) : bytes_(bytes) { }
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

/// The fixed file information of the first version resource (RT_VERSION,
/// preferring name 1, first language) of a PE32 or PE32+ image, as
/// VerQueryValue returns it for the root block; std::nullopt when the image is
/// not PE, has no version resource, or the resource holds no fixed block.
std::optional<FixedFileInfo> readPeVersionInfo(const ImageSource &image);

/// True for what GetBinaryTypeA accepts as a program: a PE image that is not a
/// DLL, an MS-DOS program, and on the ELF side an executable (ET_EXEC, or
/// ET_DYN with a program interpreter, as position-independent programs are).
/// Shared libraries, DLLs, scripts and data give false.
bool isExecutableImage(const ImageSource &image);

} // namespace platform
