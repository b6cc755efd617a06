// A soak of the device link: the console's and portprobe-io's port operations
// in random order, on the virtual board and on the hidraw backend, with boards
// unplugged, slow, silent or chattering, floods of stray reports, and report
// lengths the link cannot use. Waits run on a compressed clock that jumps to
// the next thing a board does, so a 6 s time-out costs nothing.
// PORTPROBE_SOAK_OPS: operations per backend (10000); PORTPROBE_SOAK_SEED: the
// seed (printed; random when unset).

#include "cli/io_boards.h"
#include "link_test_base.h"
#include "platform/codepage.h"
#include "platform/hid_forward.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#if defined(__SANITIZE_ADDRESS__)
// The run time's own (GCC installs no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using namespace platform::hidconst;
using platform::HidHandle;
using platform::sim::SimBoard;
using platform::sim::SimFault;

std::uint64_t envNumber(const char *name, std::uint64_t fallback)
{
    const char *text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

long residentKiB()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Live heap blocks. Under ASan the resident set also holds the quarantine of
// freed blocks, which fills for a long while; this does not.
long heapKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return static_cast<long>(mallinfo2().uordblks / 1024);
#endif
}

// The backend under test with its waits on a compressed clock: a wait ends at
// once when a report is there, else the clock jumps to the next board event
// due within it (a late answer, a stray report, an unplug) or to its end.
class CompressedTime final : public platform::HidForward
{
public:
    CompressedTime(rigs::Rig &rig, std::size_t boards)
        : HidForward(rig.api()), rig_(rig), boards_(boards)
    { }

    std::uint64_t now = 0;
    void at(std::uint64_t time, std::function<void()> event)
    {
        events_.emplace(time, std::move(event));
    }
    void clearEvents() { events_.clear(); }

    std::uint32_t waitForSingleObject(HidHandle event, std::uint32_t milliseconds) override
    {
        const std::uint64_t end = now + milliseconds; // the link never waits INFINITE
        for (;;) {
            // The hidraw boards answer on their own thread; this makes them answer now.
            for (std::size_t i = 0; i < boards_; ++i) {
                rig_.withBoard(i, [](SimBoard &) {});
            }
            const std::uint32_t result = HidForward::waitForSingleObject(event, 0);
            if (result != WAIT_TIMEOUT) {
                return result;
            }
            if (events_.empty() || events_.begin()->first > end) {
                now = end;
                return result;
            }
            auto next = events_.extract(events_.begin());
            now = std::max(now, next.key());
            next.mapped()();
        }
    }
    std::uint64_t getTickCount64() override { return now; }

private:
    rigs::Rig &rig_;
    std::size_t boards_;
    std::multimap<std::uint64_t, std::function<void()>> events_;
};

enum class Step { Close, Write, Read, List };

struct Pattern
{
    const char *name;
    std::vector<Step> steps;
};

// The console's handlers and portprobe-io's commands, as the link sees them
// (a command is a process of its own: it starts and ends with the link closed).
const std::vector<Pattern> Patterns { { "output start", { Step::Close, Step::Write } },
    { "P1 click", { Step::Write, Step::Close } }, { "output end", { Step::Write } },
    { "input start", { Step::Close, Step::Read } }, { "poll", { Step::Read } },
    { "input end", { Step::Close } }, { "io write", { Step::Close, Step::Write, Step::Close } },
    { "io read", { Step::Close, Step::Read, Step::Close } },
    { "io watch", { Step::Close, Step::Read, Step::Read, Step::Read, Step::Close } },
    { "io list", { Step::List } } };

constexpr const char *InWrite = "QuillFunc_USBIO_WriteReport";
constexpr const char *InRead = "QuillFunc_USBIO_gUSBIO_ReadP0";

// Boards before the main one, each plugged alone for an episode: report
// lengths the link uses, and ones it cannot (an input report without room
// for the echo, an output report longer than a command or none).
struct Variant
{
    std::uint16_t input, output;
    const char *writeLogs, *readLogs; // the trap that reports, or nullptr
};
const Variant Variants[] = { { 3, 3, nullptr, nullptr }, { 65, 9, nullptr, nullptr },
    { 9, 3, nullptr, nullptr }, { 0, 9, nullptr, InRead }, { 2, 9, nullptr, InRead },
    { 9, 10, InWrite, InWrite }, { 9, 65, InWrite, InWrite }, { 9, 0, InWrite, InWrite } };
constexpr std::size_t Main = std::size(Variants);

enum class Fault { None, Unplug, Slow, Silent, Chatter, Flood, LostInRead, Variant, Count };
const char *const FaultNames[] = { "none", "unplug", "slow", "silent", "chatter", "flood",
    "lost in read", "short/long reports" };

// What one call must do, and what the hooks and the error log must show.
struct Outcome
{
    bool ok = true;
    std::uint64_t elapsed = 0; // compressed milliseconds
    const char *logged = nullptr; // one error log record from this trap
    int notFound = 0; // a search that ended with ERROR_NO_MORE_ITEMS
    int lostWaits = 0; // a wait that failed with ERROR_DEVICE_NOT_CONNECTED
    int timeOuts = 0; // a CancelIo: the read timed out
    int failedWrites = 0; // an output report that could not be written
    int discarded = 0; // input reports a successful read passed over
    bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Outcome &o)
{
    return os << "{ok " << o.ok << ", " << o.elapsed << " ms, logged "
              << (o.logged ? o.logged : "-") << ", not found " << o.notFound << ", lost "
              << o.lostWaits << ", time-outs " << o.timeOuts << ", failed writes " << o.failedWrites
              << ", discarded " << o.discarded << "}";
}

class Soak : public LinkTestBase, public ::testing::TestWithParam<Backend>
{
protected:
    Soak() : rig(makeRig(GetParam(), 0)), time(*rig, Main + 1)
    {
        for (const Variant &v : Variants) {
            rig->addBoard({ .inputReportByteLength = v.input, .outputReportByteLength = v.output });
        }
        for (std::size_t i = 0; i < Main; ++i) {
            rig->unplug(i);
        }
        rig->addBoard();
        plugged[Main] = true;
        usbio::SetTraceSink([this](std::string_view label, std::uint32_t code, std::string_view) {
            seen.notFound += label == "SetupDiEnumDeviceInterfaces" && code == ERROR_NO_MORE_ITEMS;
            seen.lostWaits += label == "WaitForSingleObject" && code == ERROR_DEVICE_NOT_CONNECTED;
            seen.timeOuts += label == "CancelIo";
        });
        usbio::SetReportSink(
            [this](usbio::ReportDirection d, std::span<const std::uint8_t> bytes, bool ok) {
                seen.failedWrites += d == usbio::ReportDirection::Output && !ok;
                seen.discarded += d == usbio::ReportDirection::Input && ok && bytes.size() > 1
                    && bytes[1] != usbio::State().CommandBytes[0];
            });
    }

    ~Soak() override { gUSBIO_Close(); }

    std::unique_ptr<rigs::Rig> rig;
    CompressedTime time;
    platform::ScopedSeam<platform::HidApi> seam { time };

    std::mt19937_64 random;
    std::uint64_t operations = 0;
    Outcome seen;
    // The model: what the link and the boards must be doing.
    bool linkOpen = false;
    std::size_t linkBoard = Main;
    std::vector<bool> plugged = std::vector<bool>(Main + 1, false);
    std::vector<int> unread = std::vector<int>(Main + 1, 0); // stale echoes at a board
    std::uint8_t port0 = 0;
    std::uintmax_t logOffset = 0;
    std::size_t records = 0, expectedRecords = 0;
    std::uint64_t longestWait = 0, failures = 0;
    Outcome causes; // the markers of all calls, summed
    std::array<std::uint64_t, static_cast<std::size_t>(Fault::Count)> injected {};

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    void model(std::size_t b, const std::function<void(SimBoard &)> &f) { rig->withBoard(b, f); }

    void queue(std::size_t b, std::uint8_t command, std::uint8_t value)
    {
        model(b, [&](SimBoard &m) {
            std::vector<std::uint8_t> r(m.config().inputReportByteLength, 0);
            r.at(1) = command;
            r.at(2) = value;
            m.queueInputReport(std::move(r));
        });
    }

    void strays(std::size_t b, std::uint64_t when, std::uint64_t every)
    {
        time.at(when, [this, b, when, every] {
            queue(b, 0x80, 0);
            strays(b, when + every, every);
        });
    }

    void unplug(std::size_t b)
    {
        rig->unplug(b);
        plugged[b] = false;
        unread[b] = 0;
    }

    // The search's result, as the model has it.
    bool search(Outcome &o)
    {
        if (linkOpen) {
            return true;
        }
        const auto found = std::find(plugged.begin(), plugged.end(), true);
        if (found == plugged.end()) {
            o.ok = false;
            o.notFound = 1;
            return false;
        }
        linkOpen = true;
        linkBoard = static_cast<std::size_t>(found - plugged.begin());
        return true;
    }

    Outcome expectWrite()
    {
        Outcome o;
        if (!search(o)) {
            return o;
        }
        const std::size_t b = linkBoard;
        o.ok = false;
        if (!plugged[b]) {
            o.failedWrites = 1;
        } else if (b < Main && Variants[b].writeLogs) {
            o.logged = Variants[b].writeLogs;
        } else {
            o.ok = true;
            ++unread[b];
        }
        return o;
    }

    // A read of the main board may carry @p fault with its parameter @p p.
    Outcome expectRead(Fault fault, int p)
    {
        Outcome o;
        if (!search(o)) {
            return o;
        }
        const std::size_t b = linkBoard;
        o.ok = false;
        const int stale = std::exchange(unread[b], 0);
        if (!plugged[b]) {
            o.failedWrites = 1;
            o.lostWaits = 1;
            linkOpen = false;
        } else if (b < Main && Variants[b].readLogs) {
            o.logged = Variants[b].readLogs;
            if (Variants[b].writeLogs) { // nothing was sent, so nothing comes
                o.timeOuts = 1;
                o.elapsed = usbio::ReadTimeoutMs;
                linkOpen = false;
            }
        } else if (b != Main || fault == Fault::None || fault == Fault::Flood) {
            o.ok = true;
            o.discarded = stale + (b == Main && fault == Fault::Flood ? p : 0);
        } else if (fault == Fault::Slow) {
            o.ok = true;
            o.elapsed = static_cast<std::uint64_t>(p);
            o.discarded = stale;
        } else if (fault == Fault::LostInRead) {
            o.lostWaits = 1;
            o.elapsed = static_cast<std::uint64_t>(p);
            plugged[b] = false;
            linkOpen = false;
        } else {
            // Silent, or chattering every p ms: the read gives up after the
            // 257th report or at the end of its time, whichever comes first.
            const std::uint64_t limit = fault == Fault::Chatter
                ? std::uint64_t(usbio::MaxDiscardedReports + 1 - stale) * p
                : ~0ull;
            o.elapsed = std::min<std::uint64_t>(limit, usbio::ReadTimeoutMs);
            o.timeOuts = limit > usbio::ReadTimeoutMs;
            linkOpen = false;
        }
        return o;
    }

    // Runs one call and checks it against the model.
    void run(Step step, Fault fault, int p, const std::string &context)
    {
        seen = {};
        const std::uint64_t start = time.now;
        Outcome expected;
        bool ok = true;
        std::int16_t value = 0;
        const std::int16_t written = static_cast<std::int16_t>(below(16));
        switch (step) {
        case Step::Close:
            gUSBIO_Close();
            linkOpen = false;
            break;
        case Step::Write:
            expected = expectWrite();
            ok = gUSBIO_WriteP1(written);
            break;
        case Step::Read:
            if (fault == Fault::Flood) {
                for (int i = 0; i < p; ++i) {
                    queue(Main, 0x80, 0);
                }
            } else if (fault != Fault::None) {
                model(Main, [](SimBoard &m) { m.setFault(SimFault::NeverAnswers); });
                if (fault == Fault::Slow) {
                    time.at(start + p, [this] { queue(Main, 3, port0); });
                } else if (fault == Fault::LostInRead) {
                    time.at(start + p, [this] { rig->unplug(Main); });
                } else if (fault == Fault::Chatter) {
                    strays(Main, start + p, p);
                }
            }
            expected = expectRead(fault, p);
            ok = gUSBIO_ReadP0(value);
            time.clearEvents();
            model(Main, [](SimBoard &m) { m.setFault(SimFault::None); });
            break;
        case Step::List: {
            const auto found = portprobe_io::enumerate(time);
            const auto present =
                static_cast<std::size_t>(std::count(plugged.begin(), plugged.end(), true));
            ASSERT_EQ(found.size(), present) << context;
            for (const auto &i : found) {
                ASSERT_TRUE(portprobe_io::isTarget(i, { 0x1352, 0x0100 }))
                    << context << " " << i.path;
            }
            break;
        }
        }
        ++operations;
        seen.ok = ok;
        if (!ok) {
            seen.discarded = 0; // counted for successful reads only
        }
        seen.elapsed = time.now - start;
        seen.logged = expected.logged;
        longestWait = std::max(longestWait, seen.elapsed);
        ASSERT_LE(seen.elapsed, usbio::ReadTimeoutMs) << context;
        ASSERT_EQ(seen, expected) << context;
        ASSERT_EQ(usbio::State().DeviceDetected, linkOpen) << context;
        checkLog(expected.logged, context);
        // The fake registry keeps every look-up the log's report made; only the link's memory counts.
        registry.masks.clear();
        registry.openedKeys.clear();
        failures += !ok;
        causes.notFound += seen.notFound;
        causes.lostWaits += seen.lostWaits;
        causes.timeOuts += seen.timeOuts;
        causes.failedWrites += seen.failedWrites;
        if (step == Step::Read) {
            ASSERT_EQ(value, ok ? port0 : 255) << context;
        } else if (step == Step::Write && ok) {
            model(linkBoard, [&](SimBoard &m) { ASSERT_EQ(m.port1(), written) << context; });
        }
    }

    // The records the error log gained: one from @p trap, or none.
    void checkLog(const char *trap, const std::string &context)
    {
        const std::filesystem::path path = temp.path() / "PORTPROBE_ErrLog.txt";
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        std::string added;
        if (!error && size > logOffset) {
            std::ifstream in(path, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(logOffset));
            added.assign(std::istreambuf_iterator<char>(in), {});
            logOffset = size;
        }
        static const std::string record = platform::toAnsi("でエラーが発生しました。");
        static const std::string subscript = platform::toAnsi("エラー番号：9\r\n");
        std::size_t n = 0;
        for (auto at = added.find(record); at != std::string::npos;
             at = added.find(record, at + 1)) {
            ++n;
        }
        records += n;
        expectedRecords += trap != nullptr;
        ASSERT_EQ(n, trap ? 1u : 0u) << context << "\n" << added;
        if (trap) {
            ASSERT_NE(added.find(std::string(trap) + " ("), std::string::npos) << context << added;
            ASSERT_NE(added.find(subscript), std::string::npos) << context << added;
        }
    }

    void episode()
    {
        // Stale echoes of writes stay well inside the 256 a read passes over.
        const Pattern &pattern =
            Patterns[unread[Main] > 100 ? 7
                                        : static_cast<std::size_t>(below(int(Patterns.size())))];
        const bool reads = std::find(pattern.steps.begin(), pattern.steps.end(), Step::Read)
            != pattern.steps.end();
        // Weights per hundred: none 50, unplug 10, short/long reports 8, and for
        // patterns that read: slow 7, silent 6, chatter 7, flood 7, lost in read 5.
        static constexpr int Weights[] = { 50, 10, 7, 6, 7, 7, 5, 8 };
        Fault fault = Fault::None;
        for (int roll = below(100), k = 0; k < int(std::size(Weights)); roll -= Weights[k++]) {
            if (roll < Weights[k]) {
                fault = static_cast<Fault>(k);
                break;
            }
        }
        if (!reads && fault != Fault::Unplug && fault != Fault::Variant) {
            fault = Fault::None;
        }
        ++injected[static_cast<std::size_t>(fault)];
        int p = 0;
        std::size_t variant = Main;
        const int unplugAt = below(int(pattern.steps.size()));
        switch (fault) {
        case Fault::Slow:
        case Fault::LostInRead:
            p = below(int(usbio::ReadTimeoutMs));
            break;
        case Fault::Silent:
            p = int(usbio::ReadTimeoutMs) + 1 + below(20000);
            break;
        case Fault::Chatter:
            p = 1 + (below(2) ? below(45) : below(int(usbio::ReadTimeoutMs)));
            break;
        case Fault::Flood:
            p = 1 + below(60);
            break;
        case Fault::Variant:
            variant = static_cast<std::size_t>(below(int(Main)));
            rig->replug(variant);
            plugged[variant] = true;
            run(Step::Close, Fault::None, 0, "variant");
            break;
        default:
            break;
        }
        port0 = static_cast<std::uint8_t>(below(256));
        model(Main, [&](SimBoard &m) { m.setPort0(port0); });
        if (variant != Main) {
            model(variant, [&](SimBoard &m) { m.setPort0(port0); });
        }
        bool armed = true; // the fault hits the pattern's first read
        for (std::size_t i = 0; i < pattern.steps.size() && !HasFatalFailure(); ++i) {
            if (fault == Fault::Unplug && int(i) == unplugAt) {
                unplug(Main);
            }
            const Step step = pattern.steps[i];
            const bool hit =
                step == Step::Read && armed && fault != Fault::Unplug && fault != Fault::Variant;
            armed = armed && !hit;
            char context[160];
            std::snprintf(context, sizeof context, "operation %llu, %s, %s%s, step %zu",
                static_cast<unsigned long long>(operations), pattern.name,
                FaultNames[static_cast<int>(fault)], hit ? " (this read)" : "", i);
            run(step, hit ? fault : Fault::None, p, context);
        }
        if (variant != Main) {
            run(Step::Close, Fault::None, 0, "variant done");
            unplug(variant);
        }
        if (!plugged[Main] && !HasFatalFailure()) {
            // Plugged in again, the board answers the next start.
            rig->replug(Main);
            plugged[Main] = true;
            model(Main, [&](SimBoard &m) { m.setPort0(port0); });
            run(Step::Close, Fault::None, 0, "replugged");
            run(Step::Read, Fault::None, 0, "replugged, first read");
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Backends, Soak, ::testing::ValuesIn(linkBackends()),
    [](const auto &info) { return backendName(info.param); });

TEST_P(Soak, PortOperationsSurviveUnplugsSlowSilentAndChatteringBoards)
{
    const std::uint64_t total = envNumber("PORTPROBE_SOAK_OPS", 10000);
    const std::uint64_t seed = envNumber("PORTPROBE_SOAK_SEED", std::random_device {}());
    random.seed(seed);
    std::printf("[soak %s] %llu operations, seed %llu (PORTPROBE_SOAK_SEED repeats it)\n",
        backendName(GetParam()).c_str(), static_cast<unsigned long long>(total),
        static_cast<unsigned long long>(seed));

    // Warm-up: every kind of episode has run and the allocator has its pools.
    const std::uint64_t warmUp = std::max<std::uint64_t>(total / 5, 2000);
    long rssWarm = 0, heapWarm = 0;
    const auto started = std::chrono::steady_clock::now();
    while (operations < total && !HasFatalFailure()) {
        episode();
        if (rssWarm == 0 && operations >= warmUp) {
            rssWarm = residentKiB();
            heapWarm = heapKiB();
        }
    }
    ASSERT_FALSE(HasFatalFailure()) << "PORTPROBE_SOAK_SEED=" << seed << " repeats the run";
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const long rss = residentKiB(), heap = heapKiB();
    std::printf("[soak %s] %llu operations in %.2f s: %.0f per second; longest read %llu ms "
                "(compressed); %zu error log records\n",
        backendName(GetParam()).c_str(), static_cast<unsigned long long>(operations), seconds,
        double(operations) / seconds, static_cast<unsigned long long>(longestWait), records);
    std::printf("[soak %s] resident %ld KiB after warm-up, %ld KiB at the end; live heap %ld "
                "-> %ld KiB\n",
        backendName(GetParam()).c_str(), rssWarm, rss, heapWarm, heap);
    std::printf("[soak %s] %llu calls failed; causes seen: %zu error log records, %d "
                "searches found nothing, %d reads lost the board, %d timed out, %d writes failed\n",
        backendName(GetParam()).c_str(), static_cast<unsigned long long>(failures), records,
        causes.notFound, causes.lostWaits, causes.timeOuts, causes.failedWrites);
    std::printf("[soak %s] episodes:", backendName(GetParam()).c_str());
    for (std::size_t k = 0; k < injected.size(); ++k) {
        std::printf(" %s %llu%s", FaultNames[k], static_cast<unsigned long long>(injected[k]),
            k + 1 < injected.size() ? "," : "\n");
    }
    EXPECT_EQ(records, expectedRecords);
    // Flat: a leak of even a few bytes per operation shows over the run.
    EXPECT_LE(heap - heapWarm, 128) << "live heap grew";
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LE(rss - rssWarm, 8 * 1024) << "resident set grew";
#endif
}

} // namespace
