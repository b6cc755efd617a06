// clsCryptFile's Encrypt of a 64 MiB file with a password beside its
// baseline, `openssl enc -rc4` with the same key on the same file (the
// password's MD5 is the key; the two outputs are checked to be equal first).

#include "classlib/clsCryptFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t FileBytes = 64u << 20;
constexpr const char *Password = "benchmark";
// MD5("benchmark"): the 128-bit RC4 key the password derives.
constexpr const char *KeyHex = "07978586e47c8709a63e895fbf3c3c7d";

struct Files
{
    fs::path dir;
    fs::path plain, ours, theirs;
    Files()
    {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("portprobe-bench-" + std::to_string(rd()));
        fs::create_directories(dir);
        plain = dir / "plain";
        ours = dir / "ours";
        theirs = dir / "theirs";
        std::mt19937_64 gen(42);
        std::vector<std::uint64_t> words(FileBytes / 8);
        for (auto &w : words) {
            w = gen();
        }
        std::ofstream(plain, std::ios::binary)
            .write(reinterpret_cast<const char *>(words.data()), FileBytes);
    }
    ~Files()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Files &files()
{
    static Files instance;
    return instance;
}

bool encryptWithClass()
{
    fs::remove(files().ours);
    clsCryptFile file;
    file.InFile(files().plain.string());
    file.OutFile(files().ours.string());
    file.Password(Password);
    std::int64_t events = 0;
    file.Crypting = [&](std::int64_t, std::int64_t) { ++events; };
    return file.Encrypt() && events == std::int64_t(FileBytes / 1002 + 1);
}

bool encryptWithOpenssl()
{
    std::vector<std::string> args = { "openssl", "enc", "-rc4", "-K", KeyHex, "-provider", "legacy",
        "-provider", "default", "-in", files().plain.string(), "-out", files().theirs.string() };
    std::vector<char *> argv;
    for (auto &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (::posix_spawnp(&pid, "openssl", nullptr, nullptr, argv.data(), environ) != 0
        || ::waitpid(pid, &status, 0) != pid) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string contents(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void sameOutput()
{
    static bool checked = false;
    if (checked) {
        return;
    }
    if (!encryptWithClass() || !encryptWithOpenssl()
        || contents(files().ours) != contents(files().theirs)) {
        std::fprintf(stderr, "the class and openssl disagree\n");
        std::abort();
    }
    checked = true;
}

void BM_Baseline_OpensslEncRc4_64MiB(benchmark::State &state)
{
    sameOutput();
    for (auto _ : state) {
        if (!encryptWithOpenssl()) {
            state.SkipWithError("openssl enc failed");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(FileBytes));
}
BENCHMARK(BM_Baseline_OpensslEncRc4_64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CryptFile_Encrypt_64MiB(benchmark::State &state)
{
    sameOutput();
    for (auto _ : state) {
        if (!encryptWithClass()) {
            state.SkipWithError("Encrypt failed");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(FileBytes));
}
BENCHMARK(BM_CryptFile_Encrypt_64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
