#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "platform/shared/writer_names.h"

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

bool processGone(DWORD pid)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const bool gone = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return gone;
}

/// Removes "<prefix><pid>.<serial>" files in @p folder whose writer has ended;
/// a file still open elsewhere cannot be deleted and stays anyway.
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
        if (pid && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && *pid <= 0xFFFFFFFFu
            && *pid != ::GetCurrentProcessId() && processGone(static_cast<DWORD>(*pid))) {
            ::DeleteFileA((ansiFolder + data.cFileName).c_str());
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
