#include "platform/file_system.h"

#include "platform/emulation/binary_image.h"
#include "platform/linux/spawn.h"
#include "platform/linux/unique_fd.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {
namespace {

// System and archive have no POSIX counterpart; they live in this extended
// attribute as the decimal value of those two bits ("36" for both).
constexpr const char *DosAttributesXattr = "user.portprobe.attributes";
constexpr std::uint32_t XattrBits = AttrSystem | AttrArchive;
// The list of hidden names desktop file managers read, one per line.
constexpr const char *HiddenList = ".hidden";
// GetShortPathNameA's buffer in the Windows backend, in characters with the NUL.
constexpr std::size_t ShortPathChars = 512;

std::string str(std::string_view text)
{
    return std::string(text);
}

/// A path the system can take as it is: not empty, and no NUL that would cut
/// it short to another file's name.
bool usable(std::string_view path)
{
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

/// Folder and name of @p path ("." for a bare name).
std::pair<std::string, std::string> splitPath(const std::string &path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return { ".", trimmed };
    }
    return { slash == 0 ? "/" : trimmed.substr(0, slash), trimmed.substr(slash + 1) };
}

class FdImage final : public ImageSource
{
public:
    explicit FdImage(const std::string &path)
    {
        fd_.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat st
        { };
        if (fd_ && ::fstat(fd_.get(), &st) == 0 && S_ISREG(st.st_mode)) {
            size_ = static_cast<std::uint64_t>(st.st_size);
            regular_ = true;
        }
    }
    FdImage(const FdImage &) = delete;
    FdImage &operator=(const FdImage &) = delete;
    bool usable() const { return regular_; }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (!regular_ || offset > size_ || out.size() > size_ - offset) {
            return false;
        }
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::pread(
                fd_.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    bool regular_ = false;
};

std::optional<CalendarTime> localTime(const struct statx_timestamp &t)
{
    std::time_t seconds = static_cast<std::time_t>(t.tv_sec);
    std::tm tm {};
    if (::localtime_r(&seconds, &tm) == nullptr) {
        return std::nullopt;
    }
    return CalendarTime { tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_wday, tm.tm_mday, tm.tm_hour,
        tm.tm_min, tm.tm_sec };
}

std::vector<std::string> readLines(const std::string &file, bool &ok)
{
    std::vector<std::string> lines;
    ok = true;
    std::FILE *f = std::fopen(file.c_str(), "rbe");
    if (f == nullptr) {
        ok = errno == ENOENT;
        return lines;
    }
    std::string line;
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    ok = !std::ferror(f);
    std::fclose(f);
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

bool listedHidden(const std::string &folder, const std::string &name)
{
    bool ok = false;
    for (const auto &line : readLines(folder + "/" + HiddenList, ok)) {
        if (line == name) {
            return true;
        }
    }
    return false;
}

/// Adds @p name to the folder's hidden list or removes it, replacing the list
/// atomically so a failure leaves the old one whole.
bool setListedHidden(const std::string &folder, const std::string &name, bool hidden)
{
    if (name.find('\n') != std::string::npos) {
        return false;
    }
    const std::string list = folder + "/" + HiddenList;
    bool ok = false;
    auto lines = readLines(list, ok);
    if (!ok) {
        return false;
    }
    std::erase(lines, name);
    if (hidden) {
        lines.push_back(name);
    }
    std::string text;
    for (const auto &line : lines) {
        text += line + "\n";
    }
    struct stat st
    { };
    mode_t mode = ::stat(list.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    const std::string temp = list + ".tmp" + std::to_string(::getpid());
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd) {
        return false;
    }
    bool written = ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size())
        && ::fsync(fd.get()) == 0;
    written = fd.close() && written;
    if (!written || ::rename(temp.c_str(), list.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::uint32_t xattrBits(const std::string &path)
{
    char value[16] = {};
    ssize_t n = ::getxattr(path.c_str(), DosAttributesXattr, value, sizeof value - 1);
    if (n <= 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10)) & XattrBits;
}

bool setXattrBits(const std::string &path, std::uint32_t bits)
{
    if (bits == xattrBits(path)) {
        return true;
    }
    if (bits == 0) {
        return ::removexattr(path.c_str(), DosAttributesXattr) == 0 || errno == ENODATA;
    }
    std::string value = std::to_string(bits);
    return ::setxattr(path.c_str(), DosAttributesXattr, value.data(), value.size(), 0) == 0;
}

/// Starts @p args without a shell and waits a moment for its answer.
bool runQuickly(const std::vector<std::string> &args)
{
    const pid_t pid = spawnOnPath(args);
    if (pid < 0) {
        return false;
    }
    // lp only queues the job; one that has not answered in time is left running.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Left running: waited for on a thread of its own, so it never stays a zombie.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    }).detach();
    return true;
}

class LinuxFileSystem final : public FileSystem
{
public:
    bool canOpenForReading(std::string_view path) const override
    {
        if (!usable(path)) {
            return false;
        }
        const UniqueFd fd(::open(str(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (!fd) {
            return false;
        }
        struct stat st
        { };
        return ::fstat(fd.get(), &st) == 0 && !S_ISDIR(st.st_mode);
    }

    std::optional<std::int64_t> length(std::string_view path) const override
    {
        if (!usable(path)) {
            return std::nullopt;
        }
        struct stat st
        { };
        if (::stat(str(path).c_str(), &st) != 0) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(st.st_size);
    }

    std::optional<std::uint32_t> attributes(std::string_view path) const override
    {
        if (!usable(path)) {
            return std::nullopt;
        }
        const std::string p = str(path);
        struct stat st
        { };
        if (::stat(p.c_str(), &st) != 0) {
            return std::nullopt;
        }
        std::uint32_t bits = xattrBits(p);
        if ((st.st_mode & 0222) == 0) {
            bits |= AttrReadOnly;
        }
        if (S_ISDIR(st.st_mode)) {
            bits |= AttrDirectory;
        }
        auto [folder, name] = splitPath(p);
        if ((!name.empty() && name.front() == '.') || listedHidden(folder, name)) {
            bits |= AttrHidden;
        }
        return bits;
    }

    bool setAttributes(std::string_view path, std::uint32_t bits) override
    {
        const std::string p = str(path);
        auto current = attributes(path);
        struct stat st
        { };
        if (!current || ::stat(p.c_str(), &st) != 0) {
            return false;
        }
        // Only what differs is written: unchanged attributes touch nothing.
        if ((bits & AttrReadOnly) != (*current & AttrReadOnly)) {
            mode_t mode = st.st_mode & 07777;
            mode = (bits & AttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
            if (::chmod(p.c_str(), mode) != 0) {
                return false;
            }
        }
        if ((bits & AttrHidden) != (*current & AttrHidden)) {
            auto [folder, name] = splitPath(p);
            // A leading dot hides for good: it cannot be unset without renaming.
            if (name.empty() || name.front() == '.'
                || !setListedHidden(folder, name, (bits & AttrHidden) != 0)) {
                return false;
            }
        }
        if ((bits & XattrBits) != (*current & XattrBits)) {
            return setXattrBits(p, bits & XattrBits);
        }
        return true;
    }

    bool isExecutable(std::string_view path) const override
    {
        if (!usable(path)) {
            return false;
        }
        FdImage image(str(path));
        return image.usable() && isExecutableImage(image);
    }

    std::string shortPathName(std::string_view path) const override
    {
        // No short names here: an existing path is its own short form, within
        // the Windows backend's buffer of ShortPathChars (with its NUL).
        struct stat st
        { };
        return usable(path) && path.size() < ShortPathChars && ::stat(str(path).c_str(), &st) == 0
            ? str(path)
            : std::string();
    }

    std::optional<FileInformation> information(std::string_view path) const override
    {
        if (!usable(path)) {
            return std::nullopt;
        }
        struct statx stx
        { };
        if (::statx(AT_FDCWD, str(path).c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) {
            return std::nullopt;
        }
        FileInformation info;
        info.links = stx.stx_nlink;
        if (stx.stx_mask & STATX_BTIME) {
            info.creation = localTime(stx.stx_btime);
        }
        info.lastAccess = localTime(stx.stx_atime);
        info.lastWrite = localTime(stx.stx_mtime);
        return info;
    }

    std::optional<FixedFileInfo> versionInfo(std::string_view path) const override
    {
        if (!usable(path)) {
            return std::nullopt;
        }
        FdImage image(str(path));
        if (!image.usable()) {
            return std::nullopt;
        }
        return readPeVersionInfo(image);
    }

    std::int64_t compressedSize(std::string_view path) const override
    {
        struct stat st
        { };
        if (!usable(path) || ::stat(str(path).c_str(), &st) != 0) {
            return -1;
        }
        return static_cast<std::int64_t>(st.st_blocks) * 512;
    }

    bool moveFile(std::string_view from, std::string_view to) override
    {
        const std::string f = str(from);
        const std::string t = str(to);
        if (!usable(from) || !usable(to)) {
            return false;
        }
        if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return false;
        }
        // A file system without RENAME_NOREPLACE: check, then rename.
        struct stat st
        { };
        return ::lstat(t.c_str(), &st) != 0 && errno == ENOENT
            && ::rename(f.c_str(), t.c_str()) == 0;
    }

    bool sameDrive(std::string_view from, std::string_view to) const override
    {
        struct stat source
        { };
        struct stat target
        { };
        if (!usable(from) || !usable(to) || ::lstat(str(from).c_str(), &source) != 0) {
            return false;
        }
        // A destination folder that does not exist yet would be made on the
        // file system of its nearest existing parent.
        std::string folder = splitPath(str(to)).first;
        while (::stat(folder.c_str(), &target) != 0) {
            if ((errno != ENOENT && errno != ENOTDIR) || folder == "/" || folder == ".") {
                return false;
            }
            folder = splitPath(folder).first;
        }
        return source.st_dev == target.st_dev;
    }

    bool print(std::string_view path) override
    {
        std::string file = str(path);
        if (!usable(path)) {
            return false;
        }
        // lp would take a leading "-" as an option.
        if (file.front() == '-') {
            file = "./" + file;
        }
        return runQuickly({ "lp", file });
    }
};

} // namespace

template<> FileSystem &Seam<FileSystem>::defaultInstance()
{
    static LinuxFileSystem instance;
    return instance;
}

} // namespace platform
