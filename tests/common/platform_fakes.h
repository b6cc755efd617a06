#pragma once
// Stand-ins for the platform services, recorded so tests can check what the
// code asked of the system. Each fake installs itself for its own lifetime.

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/screen_metrics.h"
#include "platform/settings_folder.h"
#include "platform/shell.h"
#include "platform/version.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fakes {

/// A folder of its own under the system's temporary folder, removed afterwards.
class TempDir
{
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path()
            / ("portprobe-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(
            path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

class FixedClock final : public platform::Clock
{
public:
    platform::LocalTime time { 2010, 2, 1, 9, 5, 3 };
    platform::LocalTime now() const override { return time; }

private:
    platform::ScopedSeam<platform::Clock> guard_ { *this };
};

class RecordingMessageBox final : public platform::MessageBox
{
public:
    std::vector<platform::MessageBoxRequest> shown;
    std::int32_t show(const platform::MessageBoxRequest &request) override
    {
        shown.push_back(request);
        return platform::IdOk;
    }

private:
    platform::ScopedSeam<platform::MessageBox> guard_ { *this };
};

/// Environment with its own variables; files are checked on the real disk.
/// With passThrough, variables it does not hold come from the real environment.
class FakeEnvironment final : public platform::Environment
{
public:
    std::map<std::string, std::string> variables;
    bool passThrough = false;
    std::string windowsTemp = "/nonexistent-windows/Temp";
    std::string appFolder = "/nonexistent-app";

    std::optional<std::string> variable(std::string_view name) const override
    {
        for (const auto &[key, value] : variables) {
            if (key.size() == name.size()
                && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                       return std::tolower(static_cast<unsigned char>(a))
                           == std::tolower(static_cast<unsigned char>(b));
                   })) {
                return value;
            }
        }
        if (passThrough) {
            return platform::Seam<platform::Environment>::defaultInstance().variable(name);
        }
        return std::nullopt;
    }
    bool exists(std::string_view path) const override
    {
        std::error_code ec;
        return !path.empty() && std::filesystem::exists(platform::toFsPath(path), ec);
    }
    std::optional<std::string> longPathName(std::string_view path) const override
    {
        return exists(path) ? std::optional<std::string>(path) : std::nullopt;
    }
    std::string windowsTempDirectory() const override { return windowsTemp; }
    std::string applicationFolder() const override { return appFolder; }

private:
    platform::ScopedSeam<platform::Environment> guard_ { *this };
};

class FakeVersion final : public platform::VersionInfo
{
public:
    bool fails = false;
    platform::OsVersionInfo info { 5, 1, 2600, platform::PlatformWin32NT,
        std::string("Service Pack 3\0junk", 19) };
    bool getVersionEx(platform::OsVersionInfo &out) const override
    {
        if (fails) {
            return false;
        }
        out = info;
        return true;
    }

private:
    platform::ScopedSeam<platform::VersionInfo> guard_ { *this };
};

/// Registry holding the values a test puts in, under "subkey\\value" names.
class FakeRegistry final : public platform::Registry
{
public:
    std::map<std::string, std::string> strings;
    std::map<std::string, std::int32_t> numbers;
    std::vector<std::string> openedKeys;
    std::vector<std::uint32_t> masks;
    int openCount = 0;
    int closeCount = 0;

    std::optional<platform::RegistryKey> open(
        platform::RegistryRoot root, std::string_view subkey, std::uint32_t mask) override
    {
        masks.push_back(mask);
        if (root != platform::RegistryRoot::LocalMachine) {
            return std::nullopt;
        }
        const std::string prefix = std::string(subkey) + "\\";
        auto has = [&](const auto &map) {
            for (const auto &entry : map) {
                if (entry.first.rfind(prefix, 0) == 0) {
                    return true;
                }
            }
            return false;
        };
        if (!has(strings) && !has(numbers)) {
            return std::nullopt;
        }
        openedKeys.emplace_back(subkey);
        ++openCount;
        return openedKeys.size();
    }
    std::optional<std::string> queryString(
        platform::RegistryKey key, std::string_view name, std::uint32_t) override
    {
        auto it = strings.find(openedKeys.at(key - 1) + "\\" + std::string(name));
        if (it == strings.end()) {
            return std::nullopt;
        }
        return it->second.substr(0, it->second.find('\0'));
    }
    std::optional<std::int32_t> queryDword(
        platform::RegistryKey key, std::string_view name) override
    {
        auto it = numbers.find(openedKeys.at(key - 1) + "\\" + std::string(name));
        if (it == numbers.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    void close(platform::RegistryKey) override { ++closeCount; }

    // Read-only: the console only reads the registry.
    std::optional<platform::RegistryKey> create(
        platform::RegistryRoot, std::string_view, std::uint32_t) override
    {
        return std::nullopt;
    }
    std::optional<std::string> enumValue(
        platform::RegistryKey, std::uint32_t, std::uint32_t) override
    {
        return std::nullopt;
    }
    std::optional<std::string> enumKey(platform::RegistryKey, std::uint32_t, std::uint32_t) override
    {
        return std::nullopt;
    }
    bool deleteKey(platform::RegistryKey, std::string_view) override { return false; }
    bool deleteValue(platform::RegistryKey, std::string_view) override { return false; }
    std::optional<platform::RegistryValue> queryValue(
        platform::RegistryKey, std::string_view, std::uint32_t) override
    {
        return std::nullopt;
    }
    bool setValue(platform::RegistryKey, std::string_view, std::uint32_t, std::string_view) override
    {
        return false;
    }

private:
    platform::ScopedSeam<platform::Registry> guard_ { *this };
};

/// Opens nothing: records each request and gives `answer`. With
/// failMissingFiles, a local file that does not exist fails as the shell's
/// "file not found", as the real one does.
class RecordingShell final : public platform::Shell
{
public:
    std::int32_t answer = platform::SeSuccess;
    bool failMissingFiles = false;
    std::string controlPanelFailure;
    std::vector<std::pair<std::string, std::int32_t>> opened;
    std::vector<std::string> applets;

    std::int32_t open(std::string_view file, std::int32_t showCommand) override
    {
        opened.emplace_back(std::string(file), showCommand);
        std::error_code ec;
        if (failMissingFiles && isLocalPath(file) && !std::filesystem::exists(file, ec)) {
            return platform::SeErrFileNotFound;
        }
        return answer;
    }
    std::string startControlPanel(std::string_view applet) override
    {
        applets.emplace_back(applet);
        return controlPanelFailure;
    }

private:
    // "/x" or, as Windows paths are, "C:\x"; web addresses are never checked.
    static bool isLocalPath(std::string_view file)
    {
        const bool drive = file.size() > 2 && std::isalpha(static_cast<unsigned char>(file[0]))
            && file[1] == ':' && (file[2] == '\\' || file[2] == '/');
        return file.starts_with('/') || drive;
    }

    platform::ScopedSeam<platform::Shell> guard_ { *this };
};

/// Thrown by RecordingProcess::terminate so a test sees the process end.
struct ProcessEnded
{
    int exitCode;
};

class RecordingProcess final : public platform::Process
{
public:
    void sleep(std::int32_t) override { }
    void doEvents() override { }
    void terminate(int exitCode) override { throw ProcessEnded { exitCode }; }

private:
    platform::ScopedSeam<platform::Process> guard_ { *this };
};

/// A screen of the size a test sets; other metrics are unknown.
class FakeScreen final : public platform::ScreenMetrics
{
public:
    std::int32_t width = 1024;
    std::int32_t height = 768;
    std::optional<std::int32_t> systemMetric(std::int32_t index) const override
    {
        if (index == platform::SmCxScreen) {
            return width;
        }
        if (index == platform::SmCyScreen) {
            return height;
        }
        return std::nullopt;
    }

private:
    platform::ScopedSeam<platform::ScreenMetrics> guard_ { *this };
};

/// Whether the application folder is writable, and the user's own settings folder.
class FakeSettingsFolder final : public platform::SettingsFolder
{
public:
    bool writable = true;
    std::optional<std::string> user;
    bool isWritable(std::string_view) const override { return writable; }
    std::optional<std::string> userFolder(std::string_view) const override { return user; }

private:
    platform::ScopedSeam<platform::SettingsFolder> guard_ { *this };
};

} // namespace fakes
