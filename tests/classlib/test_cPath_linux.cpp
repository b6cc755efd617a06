// cPath's Linux stand-ins: the XDG folders and the desktop's MIME associations
// (GIO), read from a home of the test's own. GLib reads the environment once per
// process, so the home is set up before any test runs.
#include "classlib/cPath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

void write(const fs::path &file, const std::string &text,
    fs::perms perms = fs::perms::owner_read | fs::perms::owner_write)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    fs::permissions(file, perms);
}

struct TestHome
{
    fs::path root;
    TestHome()
    {
        std::string dir = (fs::temp_directory_path() / "pp-cpath-XXXXXX").string();
        root = ::mkdtemp(dir.data());
        const fs::path config = root / "config";
        const fs::path data = root / "data";
        write(config / "user-dirs.dirs",
            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        // A viewer for plain text, made the default for text/plain.
        write(root / "bin" / "pp-viewer", "#!/bin/sh\n", fs::perms::owner_all);
        write(data / "applications" / "pp-viewer.desktop",
            "[Desktop Entry]\nType=Application\nName=PP viewer\nExec=pp-viewer %f\n"
            "MimeType=text/plain;\n");
        write(config / "mimeapps.list", "[Default Applications]\ntext/plain=pp-viewer.desktop\n");
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", "/usr/share", 1);
        ::setenv("PATH", ((root / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
    }
    ~TestHome()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

const TestHome home;

std::string folderOf(std::int32_t number)
{
    return cPath().GetSpecialFolder(number);
}

TEST(cPathLinux, SpecialFoldersAreTheDesktopsFolders)
{
    const cPath p;
    const std::string h = (home.root / "home").string();
    const std::string config = (home.root / "config").string();
    const std::string data = (home.root / "data").string();
    EXPECT_EQ(folderOf(p.Desktop()), h + "/Schreibtisch/");
    EXPECT_EQ(folderOf(p.MyDocuments()), h + "/Dokumente/");
    EXPECT_EQ(folderOf(p.Programs()), data + "/applications/");
    EXPECT_EQ(folderOf(p.StartMenu()), data + "/applications/");
    EXPECT_EQ(folderOf(p.Startup()), config + "/autostart/");
    EXPECT_EQ(folderOf(p.Fonts()), data + "/fonts/");
    // No folder on the desktop: the lone separator, as for a number the shell lacks.
    EXPECT_EQ(folderOf(p.Recent()), "/");
    EXPECT_EQ(folderOf(p.Favorites()), "/");
    EXPECT_EQ(folderOf(p.SendTo()), "/");
    EXPECT_EQ(cPath(PathGrammar::Windows).GetSpecialFolder(p.Recent()), "\\");
    EXPECT_EQ(p.GetWindowsDirectory(), "/usr/");
    EXPECT_EQ(p.GetSystemDirectory(), "/usr/bin/");
}

TEST(cPathLinux, ShortNameIsTheExistingPathItself)
{
    cPath p;
    const std::string file = (home.root / "a long name.txt").string();
    p.FileName(file);
    EXPECT_EQ(p.GetShortPathName(), "");
    write(file, "x");
    EXPECT_EQ(p.GetShortPathName(), file);
    std::string longer = home.root.string();
    for (int i = 0; i < 520; ++i) {
        longer += "/.";
    }
    p.FileName(longer + "/a long name.txt"); // exists, but does not fit 1024 characters
    EXPECT_EQ(p.GetShortPathName(), "");
}

TEST(cPathLinux, ProgramForAFileIsItsTypesDefaultApplication)
{
    write(home.root / "notes.txt", "plain text\n");
    write(home.root / "blob.pp-none", std::string("\x01\x02\x03\xFF\x00\x10", 6));
    write(home.root / "tool", "#!/bin/sh\n", fs::perms::owner_all);
    struct Row
    {
        std::string file;
        std::string program;
    };
    const Row rows[] = {
        { (home.root / "notes.txt").string(), (home.root / "bin" / "pp-viewer").string() },
        { (home.root / "tool").string(), (home.root / "tool").string() }, // a program opens itself
        { (home.root / "blob.pp-none").string(), "" }, // no application for the type
        { (home.root / "missing.txt").string(), "" },
        { home.root.string(), "" }, // a folder
        { "", "" },
    };
    for (const Row &row : rows) {
        cPath p;
        p.FileName(row.file);
        EXPECT_EQ(p.GetExecFileFromDataFile(), row.program) << row.file;
    }
    // A relative name is looked up in the current directory.
    const fs::path before = fs::current_path();
    fs::current_path(home.root);
    cPath relative;
    relative.FileName("notes.txt");
    EXPECT_EQ(relative.GetExecFileFromDataFile(), (home.root / "bin" / "pp-viewer").string());
    fs::current_path(before);
}

} // namespace
