// cPath's text members in both grammars (the same table on every platform), and
// what every platform's system members answer.
#include "classlib/cPath.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using G = PathGrammar;

struct Parts
{
    G grammar;
    const char *path;
    const char *fileName;
    const char *ext;
    const char *folder;
    const char *nameOnly;
    const char *clean;
};

const Parts PartsRows[] = {
    { G::Windows, "C:\\dir\\a.b.txt", "a.b.txt", "txt", "C:\\dir\\", "a.b", "a.b.txt" },
    { G::Windows, "C:file.txt", "file.txt", "txt", "C:\\", "file", "file.txt" },
    { G::Windows, "C:", "", "", "C:\\", "", "." },
    { G::Windows, "C:\\DIR\\README.TXT", "README.TXT", "TXT", "C:\\DIR\\", "README", "Readme.Txt" },
    { G::Windows, "Mixed.TXT", "Mixed.TXT", "TXT", "", "Mixed", "Mixed.Txt" },
    { G::Windows, "name.", "name.", "", "", "name", "name." },
    // The capitalise step on an empty part gives an empty part.
    { G::Windows, "PLAIN", "PLAIN", "", "", "PLAIN", "Plain." },
    { G::Windows, "", "", "", "", "", "." },
    { G::Windows, "\\\\server\\share\\", "", "", "\\\\server\\share\\", "", "." },
    { G::Windows, "C:\\x\\.profile", ".profile", "profile", "C:\\x\\", "", ".profile" },
    { G::Windows, "d:\\a:b\\c", "c", "", "d:\\a:b\\", "c", "c." },
    { G::Windows, "a/b.c", "a/b.c", "c", "", "a/b", "a/b.c" }, // "/" is no separator here
    // Capitals of other scripts count as capitals too.
    { G::Windows, "ＡＢＣ.ＴＸＴ", "ＡＢＣ.ＴＸＴ", "ＴＸＴ", "", "ＡＢＣ", "Ａｂｃ.Ｔｘｔ" },
    { G::Windows, "C:\\データ\\ΑΒΓ.ДОК", "ΑΒΓ.ДОК", "ДОК", "C:\\データ\\", "ΑΒΓ", "Αβγ.Док" },
    { G::Posix, "/home/u/a.b.txt", "a.b.txt", "txt", "/home/u/", "a.b", "a.b.txt" },
    { G::Posix, "C:file.txt", "C:file.txt", "txt", "", "C:file", "C:file.txt" }, // no drives
    { G::Posix, "dir\\X.Y", "dir\\X.Y", "Y", "", "dir\\X", "dir\\X.Y" },
    { G::Posix, "/", "", "", "/", "", "." },
    { G::Posix, "/usr/share/README", "README", "", "/usr/share/", "README", "Readme." },
    { G::Posix, "rel/dir/", "", "", "rel/dir/", "", "." },
};

TEST(cPath, TakesPathsApartInBothGrammars)
{
    for (const Parts &row : PartsRows) {
        cPath p(row.grammar);
        p.FileName(row.path);
        SCOPED_TRACE(row.path);
        EXPECT_EQ(p.FileName(), row.path);
        EXPECT_EQ(p.GetFileName(), row.fileName);
        EXPECT_EQ(p.GetExt(), row.ext);
        EXPECT_EQ(p.GetPath(), row.folder);
        EXPECT_EQ(p.GetFileNameOnly(), row.nameOnly);
        EXPECT_EQ(p.GetCleanFileName(), row.clean);
        EXPECT_EQ(p.FileName(), row.path); // no member changes it
    }
}

TEST(cPath, QuotesAndJoins)
{
    struct Quote
    {
        const char *path;
        bool always;
        const char *quoted;
    };
    const Quote quotes[] = {
        { "C:\\Program Files\\a.exe", false, "\"C:\\Program Files\\a.exe\"" },
        { "\"C:\\Program Files\\a.exe\"", false, "\"C:\\Program Files\\a.exe\"" },
        { "\"a b", false, "\"a b\"" }, { "a,b", false, "\"a,b\"" },
        { "C:\\a.exe", false, "C:\\a.exe" }, { "C:\\a.exe", true, "\"C:\\a.exe\"" },
        { "", false, "" }, { "", true, "\"" }, // the opening quote already ends the text
    };
    for (const Quote &q : quotes) {
        for (G grammar : { G::Windows, G::Posix }) {
            cPath p(grammar);
            p.FileName(q.path);
            EXPECT_EQ(p.AddDblQuot(q.always), q.quoted) << q.path;
        }
    }
    const cPath win(G::Windows), posix(G::Posix);
    EXPECT_EQ(win.GetFullPathName("C:\\dir", "a.txt"), "C:\\dir\\a.txt");
    EXPECT_EQ(win.GetFullPathName("C:\\dir\\", "a.txt"), "C:\\dir\\a.txt");
    EXPECT_EQ(win.GetFullPathName("C:\\dir"), "C:\\dir\\");
    EXPECT_EQ(win.GetFullPathName(""), "\\");
    EXPECT_EQ(posix.GetFullPathName("/tmp", "a"), "/tmp/a");
    EXPECT_EQ(posix.GetFullPathName("/tmp/"), "/tmp/");
    EXPECT_EQ(posix.GetFullPathName("C:\\dir\\"), "C:\\dir\\/");
}

TEST(cPath, FolderNumbersAreTheShellsOwn)
{
    const cPath p;
    EXPECT_EQ(p.Desktop(), 0);
    EXPECT_EQ(p.Programs(), 2);
    EXPECT_EQ(p.MyDocuments(), 5);
    EXPECT_EQ(p.Favorites(), 6);
    EXPECT_EQ(p.Startup(), 7);
    EXPECT_EQ(p.Recent(), 8);
    EXPECT_EQ(p.SendTo(), 9);
    EXPECT_EQ(p.StartMenu(), 11);
    EXPECT_EQ(p.Fonts(), 20);
}

TEST(cPath, SystemMembersEndInTheSeparatorOrFailQuietly)
{
    cPath p;
    const std::string sep(1, p.Grammar() == G::Windows ? '\\' : '/');
    for (const std::string &folder :
        { p.GetWindowsDirectory(), p.GetSystemDirectory(), p.GetSpecialFolder(p.Desktop()) }) {
        EXPECT_GT(folder.size(), 1u) << folder;
        EXPECT_EQ(folder.substr(folder.size() - 1), sep) << folder;
    }
    EXPECT_EQ(p.GetSpecialFolder(0x7FFF), sep);
    EXPECT_EQ(p.GetSpecialFolder(-1), sep);
    // The other grammar ends the system's answer with its own separator.
    const cPath other(p.Grammar() == G::Windows ? G::Posix : G::Windows);
    EXPECT_EQ(other.GetSpecialFolder(0x7FFF), p.Grammar() == G::Windows ? "/" : "\\");

    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "pp no such file.txt";
    p.FileName(reinterpret_cast<const char *>(missing.u8string().c_str()));
    EXPECT_EQ(p.GetShortPathName(), "");
    EXPECT_EQ(p.GetExecFileFromDataFile(), "");
    p.FileName(
        reinterpret_cast<const char *>(std::filesystem::temp_directory_path().u8string().c_str()));
    EXPECT_NE(p.GetShortPathName(), "");
}

} // namespace
