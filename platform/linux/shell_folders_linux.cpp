#include "platform/shell_folders.h"

#include "platform/shared/path_join.h"
#include "platform/shell.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace platform {
namespace {

struct GFree
{
    void operator()(void *p) const { g_free(p); }
};
struct GUnref
{
    void operator()(void *p) const { g_object_unref(p); }
};
template<class T> using GObjectPtr = std::unique_ptr<T, GUnref>;

std::optional<std::string> userDir(GUserDirectory which)
{
    const char *dir = g_get_user_special_dir(which);
    if (!dir) {
        return std::nullopt;
    }
    return std::string(dir);
}

// The full path of the program a desktop entry starts, if it can be found.
std::optional<std::string> programOf(GAppInfo *app)
{
    const char *executable = g_app_info_get_executable(app);
    if (!executable || !*executable) {
        return std::nullopt;
    }
    std::unique_ptr<char, GFree> found(g_find_program_in_path(executable));
    if (!found) {
        return std::nullopt;
    }
    return std::string(found.get());
}

class LinuxShellFolders final : public ShellFolders
{
public:
    // No short names exist: an existing path is its own short form, as on a
    // Windows volume without 8.3 names; a missing one fails.
    std::string shortPathName(std::string_view path, std::uint32_t bufferChars) override
    {
        const std::string name(path);
        struct stat st;
        if (name.empty() || name.find('\0') != std::string::npos || ::stat(name.c_str(), &st) != 0
            || name.size() + 1 > bufferChars) {
            return {};
        }
        return name;
    }

    // The installed system and its programs, standing where C:\Windows and its
    // System32 folder stand.
    std::string windowsDirectory() override { return "/usr"; }
    std::string systemDirectory() override { return "/usr/bin"; }

    std::optional<std::string> specialFolder(std::int32_t csidl) override
    {
        switch (csidl) {
        case CsidlDesktop:
        case CsidlDesktopDirectory:
            return userDir(G_USER_DIRECTORY_DESKTOP);
        case CsidlPersonal:
            return userDir(G_USER_DIRECTORY_DOCUMENTS);
        case CsidlMyMusic:
            return userDir(G_USER_DIRECTORY_MUSIC);
        case CsidlMyVideo:
            return userDir(G_USER_DIRECTORY_VIDEOS);
        case CsidlMyPictures:
            return userDir(G_USER_DIRECTORY_PICTURES);
        case CsidlTemplates:
            return userDir(G_USER_DIRECTORY_TEMPLATES);
        case CsidlPrograms:
        case CsidlStartMenu:
            // The desktop's menu: the user's desktop entries (one folder, no separate root).
            return joinFilePath(g_get_user_data_dir(), "applications");
        case CsidlStartup:
            return joinFilePath(g_get_user_config_dir(), "autostart");
        case CsidlFonts:
            return joinFilePath(g_get_user_data_dir(), "fonts");
        case CsidlAppData:
            return std::string(g_get_user_config_dir());
        case CsidlLocalAppData:
            return std::string(g_get_user_data_dir());
        case CsidlProfile:
            return std::string(g_get_home_dir());
        default:
            // Favourites, recent files and "send to" have no folder on the desktop
            // (bookmarks and recent files are single files there).
            return std::nullopt;
        }
    }

    std::int32_t findExecutable(std::string_view file, std::string_view directory,
        std::uint32_t bufferChars, std::string &buffer) override
    {
        buffer.assign(bufferChars, '\0');
        std::string name(file);
        if (name.empty() || name.find('\0') != std::string::npos) {
            return SeErrFileNotFound;
        }
        if (name.front() != '/' && !directory.empty()) {
            name = std::string(directory) + "/" + name;
        }
        struct stat st;
        if (::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
            return SeErrFileNotFound;
        }
        std::optional<std::string> program;
        if (S_ISREG(st.st_mode) && ::access(name.c_str(), X_OK) == 0) {
            program = name; // a program opens as itself
        } else {
            GObjectPtr<GFile> gfile(g_file_new_for_path(name.c_str()));
            GObjectPtr<GFileInfo> info(g_file_query_info(gfile.get(),
                G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
            const char *type = info ? g_file_info_get_content_type(info.get()) : nullptr;
            if (type) {
                GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(type, FALSE));
                if (app) {
                    program = programOf(app.get());
                }
            }
        }
        if (!program) {
            return SeErrNoAssociation;
        }
        if (program->size() + 1 > bufferChars) {
            return SeErrOutOfMemory; // the result does not fit the caller's buffer
        }
        buffer.replace(0, program->size(), *program);
        return SeSuccess;
    }
};

} // namespace

template<> ShellFolders &Seam<ShellFolders>::defaultInstance()
{
    static LinuxShellFolders instance;
    return instance;
}

} // namespace platform
