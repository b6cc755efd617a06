#pragma once
// Whole-file byte streams: the CreateFileA / ReadFile / WriteFile /
// GetFileSize / CloseHandle steps of the class library, the VB directory
// listing of one name, and removing a file.

#include "platform/seam.h"

#include <cstdint>
#include <string_view>

namespace platform {

using FileStreamHandle = std::intptr_t;
inline constexpr FileStreamHandle InvalidFileStream = -1;

class FileStreams
{
public:
    virtual ~FileStreams() = default;

    /// True when the directory listing with normal attributes gives a name for
    /// @p path: an existing file that is no folder (on Windows also neither
    /// hidden nor a system file).
    virtual bool listed(std::string_view path) = 0;

    /// Opens an existing file for reading, others may read it too.
    virtual FileStreamHandle openRead(std::string_view path) = 0;

    /// Creates @p path for writing, others may read it; fails when anything
    /// already has that name, so no file is ever replaced.
    virtual FileStreamHandle createNew(std::string_view path) = 0;

    /// Reads up to @p size bytes; fewer only at the end of the file.
    virtual bool read(
        FileStreamHandle handle, std::uint8_t *data, std::uint32_t size, std::uint32_t &done) = 0;

    /// Writes all @p size bytes or fails (a full disk is a failure).
    virtual bool write(FileStreamHandle handle, const std::uint8_t *data, std::uint32_t size) = 0;

    /// The file's size in bytes, 64 bits wide.
    virtual bool size(FileStreamHandle handle, std::uint64_t &bytes) = 0;

    virtual bool close(FileStreamHandle handle) = 0;

    virtual bool remove(std::string_view path) = 0;
};

template<> FileStreams &Seam<FileStreams>::defaultInstance();

inline FileStreams &fileStreams()
{
    return Seam<FileStreams>::get();
}

} // namespace platform
