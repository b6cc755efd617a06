#include "classlib/file_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <random>

#ifndef _WIN32
#include <cstring>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace filetest {
namespace {

fs::path makeRoot()
{
    std::random_device rd;
    fs::path path = fs::temp_directory_path()
        / ("portprobe-files-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(path / "home");
    fs::create_directories(path / "data");
#ifndef _WIN32
    // Another test file of this program may already have given the process a
    // private home under the temporary folder (the same file system): keep it,
    // since GLib will read whichever is set first, once.
    const char *data = std::getenv("XDG_DATA_HOME");
    const std::string temp = fs::temp_directory_path().string() + "/";
    if (data == nullptr || std::string(data).rfind(temp, 0) != 0) {
        ::setenv("HOME", (path / "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (path / "data").c_str(), 1);
    }
#endif
    return path;
}

// Set while the test program starts, before any test (or GLib) reads them.
const fs::path rootPath = makeRoot();

struct RootRemover
{
    ~RootRemover()
    {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(rootPath, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink(ec)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            }
        }
        fs::remove_all(rootPath, ec);
    }
} remover;

std::atomic<int> counter { 0 };

} // namespace

const fs::path &root()
{
    return rootPath;
}

WorkDir::WorkDir() : path_(rootPath / ("work" + std::to_string(++counter)))
{
    fs::create_directories(path_);
#ifndef _WIN32
    // The home trash needs the home folder to exist, whoever chose it.
    if (const char *home = std::getenv("HOME")) {
        std::error_code ec;
        fs::create_directories(home, ec);
    }
#endif
}

WorkDir::~WorkDir()
{
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> listTree(const fs::path &folder)
{
    std::vector<std::string> entries;
    std::error_code ec;
    // Error-code increments: a looping link must not end the walk.
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string line = u8(it->path().lexically_relative(folder));
        const auto type = fs::symlink_status(it->path()).type();
        if (type == fs::file_type::symlink) {
            line += " -> " + u8(fs::read_symlink(it->path()));
        } else if (type == fs::file_type::regular) {
            line += " = " + readFile(it->path());
        } else if (type == fs::file_type::directory) {
            line += "/";
        }
        entries.push_back(line);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

#ifndef _WIN32
std::string noWriterMarks(const fs::path &folder)
{
    const fs::path probe = folder / ".mark-probe";
    writeFile(probe, "");
    const int error = ::setxattr(probe.c_str(), "user.portprobe.probe", "1", 1, 0) == 0 ? 0 : errno;
    fs::remove(probe);
    return error == 0 ? std::string() : std::strerror(error);
}
#endif

fs::path sampleImages()
{
    return fs::path(PORTPROBE_PE_SAMPLES);
}

// The trash of whichever private data folder the process ended up with.
static fs::path dataHome()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    return data != nullptr ? fs::path(data) : rootPath / "data";
}

fs::path trashFiles()
{
    return dataHome() / "Trash" / "files";
}

fs::path trashInfo()
{
    return dataHome() / "Trash" / "info";
}

} // namespace filetest
