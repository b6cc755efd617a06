#include "platform/file_stream.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

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

    FileStreamHandle createNew(std::string_view path) override
    {
        int fd = ::open(
            std::string(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return fd < 0 ? InvalidFileStream : fd;
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
