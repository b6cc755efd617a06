#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "platform/shared/writer_names.h"

#include <optional>
#include <string>
#include <windows.h>

namespace platform {
namespace {

constexpr DWORD NotNormal =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

HANDLE toHandle(FileStreamHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

/// Folder (with its separator, or a drive's "C:") and name of @p path.
std::pair<std::string, std::string> splitPath(std::string_view path)
{
    const auto cut = path.find_last_of("\\/:");
    if (cut == std::string_view::npos) {
        return { {}, std::string(path) };
    }
    return { std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1)) };
}

// A temporary file is marked as its writer's by a named stream holding a
// WriterMark (process ID and creation time). A name alone proves nothing: a
// file without the mark is never removed. Only volumes that report named
// streams are marked or read (Wine's drives do not: there "name:stream" would
// be a file of its own), so elsewhere leftovers stay.
constexpr const char *MarkStream = ":portprobe.writer";

/// When @p process was created, 0 where it cannot be read.
std::uint64_t startTime(HANDLE process)
{
    FILETIME created {};
    FILETIME exited {};
    FILETIME kernel {};
    FILETIME user {};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

/// Whether the volume of open @p file keeps named streams.
bool namedStreams(HANDLE file)
{
    DWORD flags = 0;
    return ::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        && (flags & FILE_NAMED_STREAMS) != 0;
}

/// Marks new temporary file @p file, at ANSI path @p path, as this process's.
void markTemporary(HANDLE file, const std::string &path)
{
    const std::uint64_t started = startTime(::GetCurrentProcess());
    if (started == 0 || !namedStreams(file)) {
        return;
    }
    const std::string text = WriterMark { ::GetCurrentProcessId(), started, 0 }.text();
    HANDLE stream = ::CreateFileA((path + MarkStream).c_str(), GENERIC_WRITE, 0, nullptr,
        CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (stream == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    const bool whole = ::WriteFile(stream, text.data(), DWORD(text.size()), &written, nullptr)
        && written == text.size();
    ::CloseHandle(stream);
    if (!whole) {
        ::DeleteFileA((path + MarkStream).c_str());
    }
}

/// Opens the mark of the file at ANSI path @p path with @p access, where there is one.
HANDLE openMark(const std::string &path, DWORD access)
{
    HANDLE stream = ::CreateFileA((path + MarkStream).c_str(), access,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (stream != INVALID_HANDLE_VALUE && !namedStreams(stream)) {
        ::CloseHandle(stream);
        return INVALID_HANDLE_VALUE;
    }
    return stream;
}

/// Takes the mark off the finished temporary file at ANSI path @p path.
void unmarkTemporary(const std::string &path)
{
    HANDLE stream = openMark(path, DELETE);
    if (stream != INVALID_HANDLE_VALUE) {
        FILE_DISPOSITION_INFO dispose { TRUE };
        ::SetFileInformationByHandle(stream, FileDispositionInfo, &dispose, sizeof dispose);
        ::CloseHandle(stream);
    }
}

std::optional<WriterMark> markOf(const std::string &path)
{
    HANDLE stream = openMark(path, GENERIC_READ);
    if (stream == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    char text[80];
    DWORD n = 0;
    const bool read = ::ReadFile(stream, text, sizeof text, &n, nullptr);
    ::CloseHandle(stream);
    return read ? WriterMark::parse(std::string_view(text, n)) : std::nullopt;
}

/// Whether the writer of @p mark has certainly ended: no process has its ID,
/// or one created at another time.
bool writerGone(const WriterMark &mark)
{
    if (mark.pid == 0 || mark.pid > 0xFFFFFFFFu || mark.space != 0) {
        return false;
    }
    HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, DWORD(mark.pid));
    if (process == nullptr) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const std::uint64_t started = startTime(process);
    const bool gone = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0
        || (started != 0 && started != mark.started);
    ::CloseHandle(process);
    return gone;
}

/// Removes "<prefix><pid>.<serial>" files in @p folder marked by a writer
/// with that process ID that has ended; a file still open elsewhere cannot be
/// deleted and stays anyway.
void removeDeadWritersFiles(const std::string &folder, const std::string &prefix)
{
    WIN32_FIND_DATAA data {};
    const std::string ansiFolder = toAnsi(folder);
    const std::string ansiPrefix = toAnsi(prefix);
    HANDLE find = ::FindFirstFileA((ansiFolder + ansiPrefix + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const auto pid = temporaryNameWriter(data.cFileName, ansiPrefix);
        if (!pid || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        const std::string path = ansiFolder + data.cFileName;
        const auto mark = markOf(path);
        if (mark && mark->pid == *pid && writerGone(*mark)) {
            ::DeleteFileA(path.c_str());
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

class Win32FileStreams final : public FileStreams
{
public:
    bool listed(std::string_view path) override
    {
        // VB's Dir with normal attributes: the first match that is neither a
        // folder nor hidden nor a system file.
        if (path.empty()) {
            return false;
        }
        WIN32_FIND_DATAA data {};
        HANDLE find = ::FindFirstFileA(toAnsi(path).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            return false;
        }
        bool found = false;
        do {
            found = (data.dwFileAttributes & NotNormal) == 0;
        } while (!found && ::FindNextFileA(find, &data));
        ::FindClose(find);
        return found;
    }

    FileStreamHandle openRead(std::string_view path) override
    {
        HANDLE h = ::CreateFileA(toAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h == INVALID_HANDLE_VALUE ? InvalidFileStream
                                         : reinterpret_cast<FileStreamHandle>(h);
    }

    FileStreamHandle createTemporary(
        std::string_view finalPath, std::string &temporaryPath) override
    {
        auto [folder, name] = splitPath(finalPath);
        if (name.empty() || name == "." || name == "..") {
            return InvalidFileStream;
        }
        const std::string prefix = hiddenTemporaryPrefix(name);
        removeDeadWritersFiles(folder, prefix);
        for (int attempt = 0; attempt < 100; ++attempt) {
            temporaryPath = folder + writerTemporaryName(prefix, ::GetCurrentProcessId());
            HANDLE h = ::CreateFileA(toAnsi(temporaryPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                markTemporary(h, toAnsi(temporaryPath));
                return reinterpret_cast<FileStreamHandle>(h);
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) {
                break;
            }
        }
        temporaryPath.clear();
        return InvalidFileStream;
    }

    bool moveNew(std::string_view from, std::string_view to) override
    {
        // Visible first: the attribute would move with the file. Without
        // MOVEFILE_REPLACE_EXISTING an existing destination makes the move fail.
        const std::string source = toAnsi(from);
        unmarkTemporary(source);
        return ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL)
            && ::MoveFileExA(source.c_str(), toAnsi(to).c_str(), MOVEFILE_WRITE_THROUGH);
    }

    bool read(FileStreamHandle handle, std::uint8_t *data, std::uint32_t size,
        std::uint32_t &done) override
    {
        done = 0;
        while (done < size) {
            DWORD n = 0;
            if (!::ReadFile(toHandle(handle), data + done, size - done, &n, nullptr)) {
                return false;
            }
            if (n == 0) {
                break;
            }
            done += n;
        }
        return true;
    }

    bool write(FileStreamHandle handle, const std::uint8_t *data, std::uint32_t size) override
    {
        std::uint32_t done = 0;
        while (done < size) {
            DWORD n = 0;
            if (!::WriteFile(toHandle(handle), data + done, size - done, &n, nullptr) || n == 0) {
                return false;
            }
            done += n;
        }
        return true;
    }

    bool size(FileStreamHandle handle, std::uint64_t &bytes) override
    {
        LARGE_INTEGER value {};
        if (!::GetFileSizeEx(toHandle(handle), &value)) {
            return false;
        }
        bytes = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }

    bool flush(FileStreamHandle handle) override { return ::FlushFileBuffers(toHandle(handle)); }

    bool close(FileStreamHandle handle) override { return ::CloseHandle(toHandle(handle)); }

    bool remove(std::string_view path) override { return ::DeleteFileA(toAnsi(path).c_str()); }
};

} // namespace

template<> FileStreams &Seam<FileStreams>::defaultInstance()
{
    static Win32FileStreams instance;
    return instance;
}

} // namespace platform
