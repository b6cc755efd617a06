#pragma once
// Real files for the file-class tests. On Linux the process gets its own HOME
// and XDG_DATA_HOME before anything reads them (GLib reads them once), on the
// same file system as the work folders, so the trash is the home trash there
// (unless another test file of the program has set a private one already).

#include "platform/shell_file_operation.h"
#include "platform/window_handles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace filetest {

namespace fs = std::filesystem;

/// The process's private root: home/, data/ (XDG_DATA_HOME) and the work folders.
const fs::path &root();

/// UTF-8 text of @p path, as the library takes paths.
inline std::string u8(const fs::path &path)
{
    auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline fs::path fromU8(const std::string &text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

/// A fresh folder under the root, removed with everything in it afterwards.
class WorkDir
{
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;
    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &name) const { return path_ / fromU8(name); }
    std::string str(const std::string &name) const { return u8(*this / name); }

private:
    fs::path path_;
};

inline void writeFile(const fs::path &file, const std::string &content)
{
    std::ofstream(file, std::ios::binary) << content;
}

inline std::string readFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

/// Relative path and content (links as "-> target") of everything under @p folder, sorted.
std::vector<std::string> listTree(const fs::path &folder);

#ifndef _WIN32
/// Why items in @p folder cannot carry the mark of a writer's temporary
/// items (a user extended attribute); empty where they can.
std::string noWriterMarks(const fs::path &folder);
#endif

/// Folder of the sample Windows images with known version resources.
fs::path sampleImages();

/// The trash's files/ and info/ folders of the process's home trash.
fs::path trashFiles();
fs::path trashInfo();

/// Records every request instead of touching files.
class RecordingFileOperation final : public platform::ShellFileOperation
{
public:
    std::vector<platform::FileOperationRequest> requests;
    std::int32_t answer = 0;
    std::int32_t run(const platform::FileOperationRequest &request) override
    {
        requests.push_back(request);
        return answer;
    }

private:
    platform::ScopedSeam<platform::ShellFileOperation> guard_ { *this };
};

/// A window layer that vouches for one handle and has a desktop of its own.
class OneWindow final : public platform::WindowHandles
{
public:
    std::int32_t window = 0x2A0040;
    std::int32_t desktop = 0x10010;
    bool isWindow(std::int32_t handle) const override { return handle == window; }
    std::int32_t desktopWindow() const override { return desktop; }

private:
    platform::ScopedSeam<platform::WindowHandles> guard_ { *this };
};

} // namespace filetest
