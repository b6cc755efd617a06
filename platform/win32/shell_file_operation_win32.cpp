#include "platform/shell_file_operation.h"

#include "platform/codepage.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {
namespace {

class Win32ShellFileOperation final : public ShellFileOperation
{
public:
    std::int32_t run(const FileOperationRequest &request) override
    {
        if (request.from.find('\0') != std::string::npos
            || request.to.find('\0') != std::string::npos) {
            return FoErrInvalid;
        }
        // Each list is one name ended by the double NUL the shell requires.
        std::string from = toAnsi(request.from);
        from.append(2, '\0');
        std::string to = toAnsi(request.to);
        to.append(2, '\0');
        SHFILEOPSTRUCTA op {};
        op.hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(request.ownerWindow));
        op.wFunc = request.function;
        op.pFrom = from.c_str();
        op.pTo = request.to.empty() ? nullptr : to.c_str();
        op.fFlags = static_cast<FILEOP_FLAGS>(request.flags);
        return ::SHFileOperationA(&op);
    }
};

} // namespace

template<> ShellFileOperation &Seam<ShellFileOperation>::defaultInstance()
{
    static Win32ShellFileOperation instance;
    return instance;
}

} // namespace platform
