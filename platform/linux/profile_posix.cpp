// The profile service on POSIX systems: our INI engine over real files.
//
// File names are the system's own bytes and are used as they come; only the
// files' contents are in the ANSI code page.
//
// A write never edits the file in place: the new contents go to a fresh file
// beside it, which is flushed and then renamed over the old one, so a crash,
// a full disk or a refused write leaves the previous file whole.

#include "platform/codepage.h"
#include "platform/emulation/profile_engine.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/writer_leftovers.h"
#include "platform/profile.h"
#include "platform/shared/path_join.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

enum class LoadStatus { Loaded, Missing, Failed };

// The run time's error numbers a failed write reports.
constexpr std::int32_t InvalidRequest = 5;
constexpr std::int32_t DeviceIOError = 57;
constexpr std::int32_t DiskFull = 61;
constexpr std::int32_t PermissionDenied = 70;
constexpr std::int32_t PathFileAccessError = 75;
constexpr std::int32_t PathNotFound = 76;

std::int32_t errorNumberOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
        return PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return DiskFull;
    case ENOENT:
    case ENOTDIR:
        return PathNotFound;
    case EIO:
        return DeviceIOError;
    default:
        return PathFileAccessError;
    }
}

struct LoadedFile
{
    LoadStatus status = LoadStatus::Missing;
    int error = 0; // errno of a failed load; 0 for a file that is not a regular one
    std::string bytes;
    bool cut = false; // larger than ini::MaxFileBytes; bytes hold the start only
    struct stat info = {};
};

// Reads at most ini::MaxFileBytes (+1 to notice a larger file). Anything but
// a regular file (a folder, a FIFO, a device) is refused without reading it.
LoadedFile load(const std::string &path)
{
    LoadedFile file;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        file.error = errno;
        file.status = errno == ENOENT ? LoadStatus::Missing : LoadStatus::Failed;
        return file;
    }
    UniqueFd guard(fd);
    if (::fstat(fd, &file.info) != 0) {
        file.error = errno;
        file.status = LoadStatus::Failed;
        return file;
    }
    if (!S_ISREG(file.info.st_mode)) {
        file.status = LoadStatus::Failed;
        return file;
    }
    std::size_t wanted = ini::MaxFileBytes + 1;
    if (file.info.st_size >= 0 && static_cast<std::uintmax_t>(file.info.st_size) < wanted) {
        wanted = static_cast<std::size_t>(file.info.st_size) + 1;
    }
    file.bytes.resize(wanted);
    std::size_t got = 0;
    for (;;) {
        const ssize_t n = readFull(fd, file.bytes.data() + got, file.bytes.size() - got);
        if (n < 0) {
            file.error = errno;
            file.status = LoadStatus::Failed;
            file.bytes.clear();
            return file;
        }
        got += static_cast<std::size_t>(n);
        if (got < file.bytes.size() || got > ini::MaxFileBytes) {
            break;
        }
        file.bytes.resize(std::min(got * 2, ini::MaxFileBytes + 1)); // file grew meanwhile
    }
    file.bytes.resize(got);
    if (got > ini::MaxFileBytes) {
        file.cut = true;
        file.bytes.resize(ini::MaxFileBytes);
    }
    file.status = LoadStatus::Loaded;
    return file;
}

// Windows reads and writes a file that starts with the UTF-16LE byte-order
// mark in UTF-16, keeping it so; it knows no other mark.
constexpr std::string_view Utf16Mark = "\xFF\xFE";

bool isUtf16(std::string_view bytes)
{
    return bytes.substr(0, 2) == Utf16Mark;
}

void appendUtf8(std::string &out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE (after the mark) to UTF-8; an unpaired surrogate or an odd last
// byte becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes)
{
    std::string out;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]))
            | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c);
    }
    if (i < bytes.size()) {
        appendUtf8(out, 0xFFFD);
    }
    return out;
}

// Valid UTF-8 to UTF-16LE (without the mark).
std::string utf8ToUtf16(std::string_view text)
{
    std::string out;
    auto put = [&](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k < n && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += n;
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// What a reader sees of a file: nothing when it cannot be read, of a file
// above the limit only the complete lines before it, and of a UTF-16 file
// its text in the code page (as the ANSI functions give it).
std::string readable(std::string_view fileName)
{
    LoadedFile file = load(std::string(fileName));
    if (file.status != LoadStatus::Loaded) {
        return {};
    }
    std::string text = std::move(file.bytes);
    if (isUtf16(text)) {
        if (file.cut) {
            text.resize(text.size() & ~std::size_t { 1 });
        }
        text = toAnsi(utf16ToUtf8(std::string_view(text).substr(2)));
    }
    if (file.cut) {
        auto lastBreak = text.find_last_of("\r\n");
        text.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }
    return text;
}

// A writer's view of a UTF-16 file's text in the code page, when the file
// converts there and back without loss; otherwise rewriting it would damage
// it.
std::optional<std::string> writableText(std::string_view bytes)
{
    const std::string text = utf16ToUtf8(bytes.substr(2));
    std::string ansi = toAnsi(text);
    if (utf8ToUtf16(text) != bytes.substr(2) || fromAnsi(ansi) != text) {
        return std::nullopt;
    }
    return ansi;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void syncFolder(const std::string &folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        ::fsync(fd.get());
    }
}

// Replaces @p path with @p bytes through a new file renamed into place. An
// existing file's permissions (and, where allowed, owner) carry over; a new
// file gets the usual 0666 less the umask.
// On failure @p error holds the errno of the step that failed.
bool replaceFile(
    const std::string &path, std::string_view bytes, const struct stat *existing, int &error)
{
    mode_t mode = existing ? (existing->st_mode & 07777) : 0666;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = writerTemporaryName(path + ".tmp");
        fd = createMarkedFile(
            AT_FDCWD, folderOf(temporary).c_str(), nameOf(temporary).c_str(), mode);
        if (fd < 0 && errno != EEXIST) {
            error = errno;
            return false;
        }
    }
    if (fd < 0) {
        error = EEXIST;
        return false;
    }
    UniqueFd guard(fd);
    bool ok = true;
    if (existing) {
        // open() applied the umask; restore the old file's exact permissions.
        if (::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
            // Not ours to give away: the file stays with us, as on any rewrite.
        }
        ok = ::fchmod(fd, mode) == 0;
    }
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok) {
        error = errno;
    }
    if (!guard.close() && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        unmarkTemporary(AT_FDCWD, temporary.c_str());
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folderOf(path));
    return true;
}

class FileProfile final : public Profile
{
public:
    std::uint32_t getString(ProfileText section, ProfileText key, ProfileText defaultValue,
        std::span<char> buffer, std::string_view fileName) override
    {
        return ini::getString(readable(fileName), section, key, defaultValue, buffer);
    }

    bool writeString(
        ProfileText section, ProfileText key, ProfileText value, std::string_view fileName) override
    {
        lastError_ = 0;
        std::string path(fileName);
        // Write through a symbolic link to its target rather than replace the link.
        struct stat linkInfo = {};
        if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
            char resolved[PATH_MAX];
            if (!::realpath(path.c_str(), resolved)) {
                return fail(errorNumberOf(errno));
            }
            path = resolved;
        }
        LoadedFile file = load(path);
        if (file.status == LoadStatus::Failed) {
            return fail(errorNumberOf(file.error));
        }
        if (file.cut) {
            return fail(PathFileAccessError); // never rewrite what could not be read whole
        }
        const bool exists = file.status == LoadStatus::Loaded;
        const bool utf16 = isUtf16(file.bytes);
        std::string text = std::move(file.bytes);
        if (utf16) {
            auto converted = writableText(text);
            if (!converted) {
                return fail(PathFileAccessError);
            }
            text = std::move(*converted);
        }
        auto updated = ini::write(text, section, key, value);
        if (!updated) {
            return fail(InvalidRequest);
        }
        // Leftovers of writers that died go whether or not this write stores
        // anything: a settings file that never changes would keep them forever.
        // They are named "<name>.tmp<pid>.<n>" and marked as the writer's; a
        // user's file of that name carries no mark and stays.
        removeDeadWritersFiles(folderOf(path), nameOf(path) + ".tmp");
        if (*updated == text) {
            // Nothing changes, so nothing is written: no error even where a
            // write would be refused, and a delete does not create the file.
            return true;
        }
        // A read-only file stays as it is, as on Windows, where the read-only
        // attribute stops even administrators: no write bit, no write.
        if (exists && (file.info.st_mode & 0222) == 0) {
            return fail(PermissionDenied);
        }
        if (exists && ::access(path.c_str(), W_OK) != 0) {
            return fail(errorNumberOf(errno));
        }
        if (utf16) {
            *updated = std::string(Utf16Mark) + utf8ToUtf16(fromAnsi(*updated));
        }
        int error = 0;
        if (!replaceFile(path, *updated, exists ? &file.info : nullptr, error)) {
            return fail(errorNumberOf(error));
        }
        return true;
    }

    std::int32_t lastWriteError() const override { return lastError_; }

    std::uint32_t getInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
        std::string_view fileName) override
    {
        return ini::getInt(readable(fileName), section, key, defaultValue);
    }

    std::uint32_t getSection(
        std::string_view section, std::span<char> buffer, std::string_view fileName) override
    {
        return ini::getSection(readable(fileName), section, buffer);
    }

    std::uint32_t getSectionNames(std::span<char> buffer, std::string_view fileName) override
    {
        return ini::getSectionNames(readable(fileName), buffer);
    }

private:
    bool fail(std::int32_t error)
    {
        lastError_ = error;
        return false;
    }

    std::int32_t lastError_ = 0;
};

} // namespace

template<> Profile &Seam<Profile>::defaultInstance()
{
    static FileProfile instance;
    return instance;
}

} // namespace platform
