#pragma once
// Permission checks mean nothing to root, and CI runs as root: such a test
// runs itself again as the user "nobody" (setpriv, a home of its own) and
// passes when that run passes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace fakes {

/// True when this run is root and has handed the current test to an
/// unprivileged run (whose result is checked here); the caller then returns.
inline bool rerunUnprivileged()
{
    if (::geteuid() != 0) {
        return false;
    }
    constexpr uid_t Nobody = 65534;
    std::random_device rd;
    std::filesystem::path home = std::filesystem::temp_directory_path()
        / ("portprobe-nobody-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directory(home);
    EXPECT_EQ(::chown(home.c_str(), Nobody, Nobody), 0);
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::vector<std::string> args = { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
        "--", "env", "HOME=" + home.string(), "XDG_DATA_HOME=" + (home / "data").string(),
        "XDG_CONFIG_HOME=" + (home / "config").string(),
        std::filesystem::read_symlink("/proc/self/exe").string(),
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name() };
    std::vector<char *> argv;
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Its report goes to a file: the run must have found and passed this one test.
    std::string report = (home / "report.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, STDOUT_FILENO, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int status = -1;
    EXPECT_EQ(::posix_spawnp(&pid, "setpriv", &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0) {
        ::waitpid(pid, &status, 0);
    }
    std::ifstream in(report);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
    EXPECT_NE(text.find("[  PASSED  ] 1 test."), std::string::npos) << text;
    return true;
}

} // namespace fakes
