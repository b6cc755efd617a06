#include "platform/instance_lock.h"

#include <string>
#include <windows.h>

namespace platform {
namespace {

// A named mutex in the session's namespace: the system closes the handle,
// and so frees the name, when the process ends for any reason.
class MutexInstanceLock final : public InstanceLock
{
public:
    ~MutexInstanceLock() override
    {
        if (handle_) {
            CloseHandle(handle_);
        }
    }

    std::optional<bool> anotherInstanceRunning(std::string_view name) override
    {
        if (handle_) {
            return false;
        }
        std::string object = "Local\\" + std::string(name) + ".instance";
        HANDLE handle = CreateMutexA(nullptr, FALSE, object.c_str());
        if (!handle) {
            return std::nullopt;
        }
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(handle);
            return true;
        }
        handle_ = handle;
        return false;
    }

private:
    HANDLE handle_ = nullptr;
};

} // namespace

std::unique_ptr<InstanceLock> createInstanceLock()
{
    return std::make_unique<MutexInstanceLock>();
}

template<> InstanceLock &Seam<InstanceLock>::defaultInstance()
{
    static MutexInstanceLock instance;
    return instance;
}

} // namespace platform
