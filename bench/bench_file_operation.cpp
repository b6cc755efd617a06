// clsFileOperation::Copy (built under a temporary name, renamed into place)
// beside `cp -r` of the same tree, in the same run:
// a folder of 1,000 small files and one 256 MiB file, copied within one file
// system (the page cache warm for both).

#include "classlib/clsFileOperation.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char **environ;

namespace {

namespace fs = std::filesystem;

struct Trees
{
    fs::path root;
    fs::path small;
    fs::path big;
    Trees()
    {
        std::random_device rd;
        root = fs::temp_directory_path() / ("portprobe-bench-copy-" + std::to_string(rd()));
        small = root / "small";
        big = root / "big";
        fs::create_directories(small);
        fs::create_directories(big);
        std::string content(2048, 'x');
        for (int i = 0; i < 1000; ++i) {
            content[0] = static_cast<char>('a' + i % 26);
            std::ofstream(small / ("file" + std::to_string(i) + ".txt"), std::ios::binary)
                << content;
        }
        std::ofstream out(big / "large.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int i = 0; i < 256; ++i) {
            block[0] = static_cast<char>(i);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    ~Trees()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Trees &trees()
{
    static Trees t;
    return t;
}

void runCp(const fs::path &from, const fs::path &to)
{
    std::string a = from.string();
    std::string b = to.string();
    char *argv[] = { const_cast<char *>("cp"), const_cast<char *>("-r"), a.data(), b.data(),
        nullptr };
    pid_t pid = -1;
    int status = 0;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0
        || ::waitpid(pid, &status, 0) != pid || status != 0) {
        std::abort();
    }
}

template<class Copy> void copyLoop(benchmark::State &state, const fs::path &source, Copy copy)
{
    const fs::path target = trees().root / "target";
    for (auto _ : state) {
        copy(source, target);
        state.PauseTiming();
        fs::remove_all(target);
        state.ResumeTiming();
    }
}

void BM_Copy_1000Files_clsFileOperation(benchmark::State &state)
{
    copyLoop(state, trees().small, [](const fs::path &from, const fs::path &to) {
        clsFileOperation op;
        if (!op.Copy(from.string(), to.string())) {
            std::abort();
        }
    });
}

void BM_Copy_1000Files_cp(benchmark::State &state)
{
    copyLoop(state, trees().small, runCp);
}

void BM_Copy_256MiB_clsFileOperation(benchmark::State &state)
{
    copyLoop(state, trees().big, [](const fs::path &from, const fs::path &to) {
        clsFileOperation op;
        if (!op.Copy(from.string(), to.string())) {
            std::abort();
        }
    });
}

void BM_Copy_256MiB_cp(benchmark::State &state)
{
    copyLoop(state, trees().big, runCp);
}

// Each library run is followed by its baseline, so both see the same cache and disk.
BENCHMARK(BM_Copy_1000Files_clsFileOperation)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Copy_1000Files_cp)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Copy_256MiB_clsFileOperation)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_Copy_256MiB_cp)->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace
