#pragma once
// Whole-file byte streams: the CreateFileA / ReadFile / WriteFile /
// GetFileSize / CloseHandle steps of the class library, the VB directory
// listing of one name, and removing a file.
//
// A new file is written under a temporary name beside its final one and
// moved there only when complete, so no one ever sees a partial file under
// the final name, even after a crash or a kill.

#include "platform/seam.h"

#include <cstdint>
#include <string>
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

    /// Creates a new hidden file for writing in the folder of @p finalPath,
    /// under a name no one else uses, and gives that name in @p temporaryPath.
    /// Files left there for @p finalPath by writers that are gone are removed
    /// first.
    virtual FileStreamHandle createTemporary(
        std::string_view finalPath, std::string &temporaryPath) = 0;

    /// Gives the closed file @p from the name @p to in the same folder, visible
    /// and whole; fails when anything already has that name, so no file is
    /// ever replaced. The new name is on the disk when this returns true.
    virtual bool moveNew(std::string_view from, std::string_view to) = 0;

    /// Reads up to @p size bytes; fewer only at the end of the file.
    virtual bool read(
        FileStreamHandle handle, std::uint8_t *data, std::uint32_t size, std::uint32_t &done) = 0;

    /// Writes all @p size bytes or fails (a full disk is a failure).
    virtual bool write(FileStreamHandle handle, const std::uint8_t *data, std::uint32_t size) = 0;

    /// The file's size in bytes, 64 bits wide.
    virtual bool size(FileStreamHandle handle, std::uint64_t &bytes) = 0;

    /// Puts the bytes written so far on the disk (fsync, FlushFileBuffers).
    virtual bool flush(FileStreamHandle handle) = 0;

    /// Closes the handle; false when a write's error shows only now.
    virtual bool close(FileStreamHandle handle) = 0;

    virtual bool remove(std::string_view path) = 0;
};

template<> FileStreams &Seam<FileStreams>::defaultInstance();

inline FileStreams &fileStreams()
{
    return Seam<FileStreams>::get();
}

} // namespace platform
