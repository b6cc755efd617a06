// Where the program may keep its settings: folders of the user's are fine,
// the installed system under /usr never is, also for root (CI runs as root,
// which is the case that matters: access() alone would allow it).

#include "common/platform_fakes.h"
#include "platform/settings_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(SettingsFolderLinux, WritableOnlyOutsideTheInstalledSystem)
{
    fakes::TempDir temp;
    const auto own = temp.path() / "usr"; // named like /usr, but the user's own
    std::filesystem::create_directories(own / "lib");
    std::filesystem::create_directory_symlink("/usr/lib", temp.path() / "link-to-usr-lib");

    const struct
    {
        std::string folder;
        bool writable;
    } rows[] = {
        { temp.str(), true },
        { (own / "lib").string(), true },
        { "/usr", false },
        { "/usr/lib", false },
        { "/usr/lib/..", false },
        { (temp.path() / "link-to-usr-lib").string(), false },
        { (temp.path() / "missing").string(), false },
        { "", false },
    };
    for (const auto &row : rows) {
        EXPECT_EQ(platform::settingsFolder().isWritable(row.folder), row.writable) << row.folder;
    }
}

} // namespace
