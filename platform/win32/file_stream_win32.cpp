#include "platform/codepage.h"
#include "platform/file_stream.h"

#include <windows.h>

namespace platform {
namespace {

constexpr DWORD NotNormal =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

HANDLE toHandle(FileStreamHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
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

    FileStreamHandle createNew(std::string_view path) override
    {
        HANDLE h = ::CreateFileA(toAnsi(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h == INVALID_HANDLE_VALUE ? InvalidFileStream
                                         : reinterpret_cast<FileStreamHandle>(h);
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
