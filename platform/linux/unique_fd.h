#pragma once
// The one owner of a POSIX file descriptor in platform/: move-only, closes on
// destruction, so no path out of a function leaks a descriptor.

#include <cerrno>
#include <cstddef>
#include <unistd.h>
#include <utility>

namespace platform {

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) { }
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) { }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    /// Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(fd_, -1); }
    /// Closes the one held (if any) and takes @p fd.
    void reset(int fd = -1) noexcept
    {
        const int old = std::exchange(fd_, fd);
        if (old >= 0) {
            ::close(old);
        }
    }
    /// Closes now and reports whether the close succeeded (a write's last
    /// error can show only here).
    bool close() noexcept { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_ = -1;
};

/// Reads until @p size bytes or the end of the file, going on after short
/// reads and interruptions: the count read, or -1 with errno on failure.
inline ssize_t readFull(int fd, void *data, std::size_t size) noexcept
{
    auto *bytes = static_cast<char *>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

} // namespace platform
