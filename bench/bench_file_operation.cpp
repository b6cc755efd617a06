// clsFileOperation::Copy (built under a temporary name, renamed into place)
// beside `cp -r` of the same tree, in the same run:
// a folder of 1,000 small files and one 256 MiB file, copied within one file
// system (the page cache warm for both). The small files are timed in pairs:
// one run of each, in alternating order, each after the same sync and warm-up,
// so that what the disk and the cache do in between falls on both alike; the
// figure is the median of the per-pair ratios.

#include "classlib/clsFileOperation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

void copyWithLibrary(const fs::path &from, const fs::path &to)
{
    clsFileOperation op;
    if (!op.Copy(from.string(), to.string())) {
        std::abort();
    }
}

/// The same state before every timed copy: no target, dirty pages written
/// out, the source's names and bytes read once.
void settle(const fs::path &source, const fs::path &target)
{
    fs::remove_all(target);
    ::sync();
    std::string bytes;
    for (const auto &entry : fs::directory_iterator(source)) {
        std::ifstream in(entry.path(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        benchmark::DoNotOptimize(bytes.data());
    }
}

template<class Copy> double timedCopy(const fs::path &source, const fs::path &target, Copy copy)
{
    settle(source, target);
    const auto start = std::chrono::steady_clock::now();
    copy(source, target);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The value at fraction @p q of sorted @p v (nearest rank).
double quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

// Reported time: the library's copy. Counters: cp's median time, and the
// median of the per-pair ratios (library / cp) with its quartiles and range.
void BM_Copy_1000Files_PairedWithCp(benchmark::State &state)
{
    const fs::path source = trees().small;
    const fs::path target = trees().root / "target";
    std::vector<double> ratios;
    std::vector<double> cpTimes;
    for (auto _ : state) {
        const bool libraryFirst = ratios.size() % 2 == 0;
        double library = 0;
        double cp = 0;
        if (libraryFirst) {
            library = timedCopy(source, target, copyWithLibrary);
        }
        cp = timedCopy(source, target, runCp);
        if (!libraryFirst) {
            library = timedCopy(source, target, copyWithLibrary);
        }
        state.SetIterationTime(library);
        ratios.push_back(library / cp);
        cpTimes.push_back(cp);
    }
    fs::remove_all(target);
    state.counters["cp_ms"] = quantile(cpTimes, 0.5) * 1e3;
    state.counters["ratio"] = quantile(ratios, 0.5);
    state.counters["ratio_q1"] = quantile(ratios, 0.25);
    state.counters["ratio_q3"] = quantile(ratios, 0.75);
    state.counters["ratio_min"] = quantile(ratios, 0);
    state.counters["ratio_max"] = quantile(ratios, 1);
}

void BM_Copy_256MiB_clsFileOperation(benchmark::State &state)
{
    copyLoop(state, trees().big, copyWithLibrary);
}

void BM_Copy_256MiB_cp(benchmark::State &state)
{
    copyLoop(state, trees().big, runCp);
}

BENCHMARK(BM_Copy_1000Files_PairedWithCp)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(41);
// The large file: each library run is followed by its baseline.
BENCHMARK(BM_Copy_256MiB_clsFileOperation)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_Copy_256MiB_cp)->Unit(benchmark::kMillisecond)->Iterations(8);

} // namespace
