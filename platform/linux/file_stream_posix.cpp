#include "platform/file_stream.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/writer_leftovers.h"
#include "platform/shared/path_join.h"
#include "platform/shared/writer_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

/// Folder ("." for none) and name of @p path.
std::pair<std::string, std::string> splitPath(std::string_view path)
{
    return { folderOf(path), nameOf(path) };
}

void syncFolder(const std::string &folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        ::fsync(fd.get());
    }
}

// Paths go to the system unchanged. Linux has no hidden or system attribute,
// so every regular file (also behind a link) is listed.
class PosixFileStreams final : public FileStreams
{
public:
    bool listed(std::string_view path) override
    {
        struct stat st
        { };
        return !path.empty() && ::stat(std::string(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    FileStreamHandle openRead(std::string_view path) override
    {
        UniqueFd fd(::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd) {
            return InvalidFileStream;
        }
        struct stat st
        { };
        if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
            return InvalidFileStream;
        }
        // The caller owns the handle from here on and closes it through close().
        return fd.release();
    }

    FileStreamHandle createTemporary(
        std::string_view finalPath, std::string &temporaryPath) override
    {
        auto [folder, name] = splitPath(finalPath);
        if (name.empty() || name == "." || name == ".."
            || finalPath.find('\0') != std::string_view::npos) {
            return InvalidFileStream;
        }
        const std::string prefix = hiddenTemporaryPrefix(name);
        removeDeadWritersFiles(folder, prefix);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string temporaryName = writerTemporaryName(prefix);
            temporaryPath = (folder == "/" ? folder : folder + "/") + temporaryName;
            const int fd = createMarkedFile(AT_FDCWD, folder.c_str(), temporaryName.c_str(), 0666);
            if (fd >= 0) {
                return fd;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        temporaryPath.clear();
        return InvalidFileStream;
    }

    bool moveNew(std::string_view from, std::string_view to) override
    {
        const std::string source(from);
        const std::string target(to);
        if (source.find('\0') != std::string::npos || target.find('\0') != std::string::npos) {
            return false;
        }
        unmarkTemporary(AT_FDCWD, source.c_str());
        bool moved =
            ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
        // A file system without RENAME_NOREPLACE: a hard link fails as well when
        // the name is taken, and the temporary name then goes.
        if (!moved && (errno == EINVAL || errno == ENOSYS)
            && ::link(source.c_str(), target.c_str()) == 0) {
            ::unlink(source.c_str());
            moved = true;
        }
        if (moved) {
            syncFolder(splitPath(target).first);
        }
        return moved;
    }

    bool read(FileStreamHandle handle, std::uint8_t *data, std::uint32_t size,
        std::uint32_t &done) override
    {
        const ssize_t n = readFull(static_cast<int>(handle), data, size);
        done = n < 0 ? 0 : static_cast<std::uint32_t>(n);
        return n >= 0;
    }

    bool write(FileStreamHandle handle, const std::uint8_t *data, std::uint32_t size) override
    {
        std::uint32_t done = 0;
        while (done < size) {
            ssize_t n = ::write(static_cast<int>(handle), data + done, size - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::uint32_t>(n);
        }
        return true;
    }

    bool size(FileStreamHandle handle, std::uint64_t &bytes) override
    {
        struct stat st
        { };
        if (::fstat(static_cast<int>(handle), &st) != 0) {
            return false;
        }
        bytes = static_cast<std::uint64_t>(st.st_size);
        return true;
    }

    bool flush(FileStreamHandle handle) override { return ::fsync(static_cast<int>(handle)) == 0; }

    bool close(FileStreamHandle handle) override { return ::close(static_cast<int>(handle)) == 0; }

    bool remove(std::string_view path) override { return ::unlink(std::string(path).c_str()) == 0; }
};

} // namespace

template<> FileStreams &Seam<FileStreams>::defaultInstance()
{
    static PosixFileStreams instance;
    return instance;
}

} // namespace platform
