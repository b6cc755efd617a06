#include "platform/settings_folder.h"

#include <cstdlib>
#include <windows.h>

namespace platform {
namespace {

class AppDataSettingsFolder final : public SettingsFolder
{
public:
    // Folder ACLs decide, so the only sure test is to create a file there.
    bool isWritable(std::string_view folder) const override
    {
        if (folder.empty()) {
            return false;
        }
        std::string probe = std::string(folder);
        if (probe.back() != '\\') {
            probe += '\\';
        }
        probe += "~portprobe-write-test.tmp";
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(file);
        return true;
    }

    std::optional<std::string> userFolder(std::string_view appName) const override
    {
        const char *appData = std::getenv("APPDATA");
        if (!appData || !*appData) {
            return std::nullopt;
        }
        std::string folder = std::string(appData) + "\\" + std::string(appName);
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::nullopt;
        }
        return folder;
    }
};

} // namespace

template<> SettingsFolder &Seam<SettingsFolder>::defaultInstance()
{
    static AppDataSettingsFolder instance;
    return instance;
}

} // namespace platform
