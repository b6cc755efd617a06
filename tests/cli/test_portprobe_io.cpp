// portprobe-io run as a child process, as a script runs it: against the
// virtual board (--virtual) and against boards behind the hidraw backend
// (stand-in tree and socket nodes, reached through the preloaded shim).

#include "cli/io_args.h"
#include "cli/socket_boards.h"
#include "common/platform_fakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// A flat JSON object of strings, numbers and booleans; nullopt unless the
// whole text is exactly one such object.
std::optional<std::map<std::string, std::string>> parseFlatJson(const std::string &text)
{
    std::size_t i = 0;
    const auto blank = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
    };
    const auto string = [&](std::string &out) {
        if (i >= text.size() || text[i] != '"') {
            return false;
        }
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (static_cast<unsigned char>(text[i]) < 0x20) {
                return false;
            }
            if (text[i] == '\\') {
                if (++i >= text.size()
                    || std::string("\"\\/bfnrtu").find(text[i]) == std::string::npos) {
                    return false;
                }
            }
            out += text[i];
        }
        return i++ < text.size();
    };
    std::map<std::string, std::string> object;
    blank();
    if (i >= text.size() || text[i++] != '{') {
        return std::nullopt;
    }
    for (bool first = true;; first = false) {
        blank();
        if (first && i < text.size() && text[i] == '}') {
            ++i;
            break;
        }
        std::string key;
        std::string value;
        if (!string(key)) {
            return std::nullopt;
        }
        blank();
        if (i >= text.size() || text[i++] != ':') {
            return std::nullopt;
        }
        blank();
        if (i < text.size() && text[i] == '"') {
            if (!string(value)) {
                return std::nullopt;
            }
        } else {
            static const std::regex Scalar(R"(^(-?(0|[1-9][0-9]*)|true|false|null))");
            std::smatch m;
            const std::string rest = text.substr(i);
            if (!std::regex_search(rest, m, Scalar)) {
                return std::nullopt;
            }
            value = m.str();
            i += value.size();
        }
        if (!object.emplace(key, value).second) {
            return std::nullopt;
        }
        blank();
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        if (i < text.size() && text[i++] == '}') {
            break;
        }
        return std::nullopt;
    }
    blank();
    return i == text.size() ? std::optional(object) : std::nullopt;
}

class PortprobeIo : public ::testing::Test
{
protected:
    fakes::TempDir tmp;
    std::unique_ptr<rigs::SocketBoards> boards;

    rigs::SocketBoards &hidraw()
    {
        if (!boards) {
            boards = std::make_unique<rigs::SocketBoards>(tmp.path() / "tree");
        }
        return *boards;
    }

    // Where the child's standard output goes.
    enum class Stdout { File, DevFull, Closed };

    // Runs @p program with @p args; the hidraw tree when one was made, the
    // error log and the settings folder in the test's own folder.
    Outcome run(std::vector<std::string> args, const std::string &program = PORTPROBE_IO_PROGRAM,
        Stdout stdoutTo = Stdout::File)
    {
        const auto out = tmp.path() / "out";
        const auto err = tmp.path() / "err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdoutTo == Stdout::Closed) {
            posix_spawn_file_actions_addclose(&actions, 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1,
                stdoutTo == Stdout::DevFull ? "/dev/full" : out.c_str(),
                O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        posix_spawn_file_actions_addopen(
            &actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const pid_t pid = spawn(std::move(args), program, actions);
        posix_spawn_file_actions_destroy(&actions);
        Outcome r;
        r.status = await(pid);
        r.out = stdoutTo == Stdout::File ? slurp(out) : "";
        r.err = slurp(err);
        return r;
    }

    // Starts @p program with @p args and @p actions; SIGPIPE as the test
    // runner has it when @p ignoreSigpipe, else at its default action.
    pid_t spawn(std::vector<std::string> args, const std::string &program,
        const posix_spawn_file_actions_t &actions, bool ignoreSigpipe = false)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e != nullptr; ++e) {
            env.emplace_back(*e);
        }
        env.push_back("TEMP=" + tmp.str());
        env.push_back("XDG_CONFIG_HOME=" + (tmp.path() / "config").string());
        if (boards) {
            env.push_back(std::string("LD_PRELOAD=") + PORTPROBE_HIDRAW_SHIM);
            env.push_back("PORTPROBE_SHIM_SYSFS=" + boards->sysfs());
            env.push_back("PORTPROBE_SHIM_DEV=" + boards->dev());
            env.push_back("PORTPROBE_SHIM_DENY=" + deny);
            // The shim is preloaded ahead of a sanitizer's run time.
            const auto asan = std::find_if(env.begin(), env.end(),
                [](const std::string &e) { return e.starts_with("ASAN_OPTIONS="); });
            if (asan != env.end()) {
                *asan += ":verify_asan_link_order=0";
            } else {
                env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
            }
        }
        args.insert(args.begin(), program);
        std::vector<char *> argv;
        for (auto &a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (auto &e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        struct sigaction kept
        { };
        if (ignoreSigpipe) {
            // Inherited through exec, as a service manager hands it on.
            struct sigaction ignore
            { };
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGPIPE, &ignore, &kept);
        } else {
            sigset_t defaults;
            sigemptyset(&defaults);
            sigaddset(&defaults, SIGPIPE);
            posix_spawnattr_setsigdefault(&attributes, &defaults);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        }
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()), 0);
        if (ignoreSigpipe) {
            ::sigaction(SIGPIPE, &kept, nullptr);
        }
        posix_spawnattr_destroy(&attributes);
        return pid;
    }

    // The child's status as a shell shows it (128 + signal). A child still
    // running after a generous limit is killed, and the test fails.
    static int await(pid_t pid)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > limit) {
                ADD_FAILURE() << "still running after 60 s; killed";
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string deny;
};

// Every malformed argument: status 2, one line on standard error, nothing on
// standard output, whatever the board.
TEST_F(PortprobeIo, MalformedArgumentsGiveOneLineAndUsageStatus)
{
    const std::vector<std::vector<std::string>> table {
        {},
        { "write" },
        { "write", "16" },
        { "write", "0x10" },
        { "write", "10101" },
        { "write", "-1" },
        { "write", "1\n0" },
        { "write", "" },
        { "--vid" },
        { "--vid", "10000", "read" },
        { "--vid", "0x", "read" },
        { "--pid", "12g", "read" },
        { "--pid=", "read" },
        { "watch", "--interval", "-5" },
        { "watch", "--interval", "2147483648" },
        { "watch", "--interval", "1e3" },
        { "watch", "--count", "0" },
        { "watch", "--count", "99999999999999999999" },
        { "read", "--interval", "5" },
        { "read", "read" },
        { "read", "write", "1" },
        { "frobnicate" },
        { "--json=1", "read" },
        { "read", "--bogus" },
        { "--virtual", "list", std::string("\xFF\x01", 2) },
        { "--board", "0", "read" },
        { "--board", "x", "read" },
        { "--board", "1", "--path", "/dev/hidraw0", "read" },
        { "--path=", "read" },
    };
    for (const auto &args : table) {
        std::string shown;
        for (const auto &a : args) {
            shown += "[" + a + "]";
        }
        SCOPED_TRACE(shown);
        const Outcome r = run(args);
        EXPECT_EQ(r.status, portprobe_io::Usage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.err.starts_with("portprobe-io: ")) << r.err;
    }
}

TEST_F(PortprobeIo, HelpAndVersionGoToStandardOutput)
{
    for (const std::string option : { "--help", "-h" }) {
        const Outcome r = run({ "read", option });
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("Exit status: 0 done, 1 board not found"), std::string::npos);
        EXPECT_NE(r.out.find("5 standard output could"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(std::regex_match(
        run({ "--version" }).out, std::regex("portprobe-io \\d+\\.\\d+\\.\\d+\n")));
}

struct Expect
{
    std::vector<std::string> args;
    int status;
    std::string out; ///< regular expression for the whole standard output
    std::string err; ///< regular expression searched in standard error
};

void check(const Outcome &r, const Expect &e)
{
    EXPECT_EQ(r.status, e.status) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex(e.out))) << r.out;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(e.err))) << r.err;
}

TEST_F(PortprobeIo, VirtualBoard)
{
    const std::string bits = "0 0x00 00000000\n";
    const std::vector<Expect> table {
        { { "--virtual", "list" }, 0, R"(1 \* 1352/0100  version 0100  in 9  out 9  \S+
)",
            "^$" },
        { { "--virtual", "write", "0x0A" }, 0, "10 0x0A 1010\n", "^$" },
        { { "--virtual", "write", "0110" }, 0, "6 0x06 0110\n", "^$" },
        { { "--virtual", "read" }, 0, bits, "^$" },
        { { "--virtual", "watch", "--interval", "0", "--count", "3" }, 0,
            "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d " + bits + "){3}",
            "^$" },
        { { "--virtual", "--vid", "1234", "read" }, 1, "",
            "^portprobe-io: no board 1234/0100 found\n$" },
        { { "--virtual", "--pid", "0x200", "list" }, 1, R"(    1352/0100 .*
)",
            "no board 1352/0200 found" },
        { { "--virtual", "--trace", "write", "3" }, 0, "3 0x03 0011\n",
            "\"CreateFile\" error 0 .*\n(.*\n)*.*out 9 bytes: 00 02 03 00 00 00 00 00 00\n" },
    };
    for (const Expect &e : table) {
        SCOPED_TRACE(e.args.back());
        check(run(e.args), e);
    }
}

// Boards behind the hidraw backend: hidraw0 the target (Port0 wired to
// Port1), hidraw1 another product.
TEST_F(PortprobeIo, HidrawBoards)
{
    hidraw().add({}, true);
    platform::sim::SimBoardConfig other;
    other.productId = 0x0200;
    other.inputReportByteLength = 8;
    other.outputReportByteLength = 8;
    hidraw().add(other);
    const std::string dev = hidraw().dev();
    const std::vector<Expect> table {
        { { "list" }, 0, R"(1 \* 1352/0100  version 0000  in 9  out 9  /dev/hidraw0
    1352/0200  version 0000  in 8  out 8  /dev/hidraw1
)",
            "^$" },
        // Written in one run, read back by the next through the board's answer.
        { { "write", "1010" }, 0, "10 0x0A 1010\n", "^$" },
        { { "read" }, 0, "10 0x0A 00001010\n", "^$" },
        { { "--pid", "200", "read" }, 0, "0 0x00 00000000\n", "^$" },
        { { "--pid", "300", "read" }, 1, "", "no board 1352/0300 found" },
        { { "--trace", "read" }, 0, "10 0x0A 00001010\n",
            "out 9 bytes: 00 03 00 .*\n(.*\n)*.*in 9 bytes: 00 03 0A" },
    };
    for (const Expect &e : table) {
        SCOPED_TRACE(e.args.back());
        check(run(e.args), e);
    }
    EXPECT_EQ(hidraw().with(0, [](auto &b) { return b.port1(); }), 10);

    deny = "hidraw0";
    check(
        run({ "read" }), { {}, 4, "", "no access to board 1352/0100 at /dev/hidraw0; .*plugdev" });
    check(run({ "list" }),
        { {}, 4, R"(1 \* 1352/0100 .*/dev/hidraw0  \(no access\)
    1352/0200 .*
)",
            "no access to board 1352/0100" });
}

// Two boards with the same IDs and another between them: list numbers the two, and
// --board or --path sends each command to the one chosen; without them the first.
TEST_F(PortprobeIo, ChoosesAmongSeveralBoards)
{
    hidraw().add();
    platform::sim::SimBoardConfig other;
    other.productId = 0x0200;
    hidraw().add(other);
    hidraw().add();
    hidraw().with(0, [](auto &b) {
        b.setPort0(0x11);
        return 0;
    });
    hidraw().with(2, [](auto &b) {
        b.setPort0(0x22);
        return 0;
    });
    const std::string dev = hidraw().dev();
    const std::vector<Expect> table {
        { { "list" }, 0, R"(1 \* 1352/0100 .*/dev/hidraw0
    1352/0200 .*/dev/hidraw1
2 \* 1352/0100 .*/dev/hidraw2
)",
            "^$" },
        { { "read" }, 0, "17 0x11 00010001\n", "^$" },
        { { "--board", "1", "read" }, 0, "17 0x11 00010001\n", "^$" },
        { { "--board", "2", "read" }, 0, "34 0x22 00100010\n", "^$" },
        { { "--board=2", "write", "5" }, 0, "5 0x05 0101\n", "^$" },
        { { "--path", "/dev/hidraw2", "read" }, 0, "34 0x22 00100010\n", "^$" },
        { { "--board", "3", "read" }, 1, "",
            "^portprobe-io: no board 3: 2 boards 1352/0100 found\n$" },
        { { "--path", "/dev/hidraw1", "read" }, 1, "", "no board 1352/0100 at /dev/hidraw1 found" },
        { { "--pid", "200", "--board", "1", "read" }, 0, "0 0x00 00000000\n", "^$" },
    };
    for (const Expect &e : table) {
        SCOPED_TRACE(e.args.back() + " " + e.args.front());
        check(run(e.args), e);
    }
    EXPECT_EQ(hidraw().with(0, [](auto &b) { return b.port1(); }), 0);
    EXPECT_EQ(hidraw().with(2, [](auto &b) { return b.port1(); }), 5);
}

TEST_F(PortprobeIo, WatchEndsWithStatus3WhenTheBoardIsPulledOut)
{
    hidraw().add();
    hidraw().with(0, [](auto &b) {
        b.setPort0(0xA6);
        b.unplugAfter(3);
        return 0;
    });
    const Outcome r = run({ "watch", "--interval", "20", "--count", "10" });
    EXPECT_EQ(r.status, portprobe_io::Lost);
    const auto got = lines(r.out);
    ASSERT_EQ(got.size(), 3u) << r.out;
    for (const auto &line : got) {
        EXPECT_TRUE(line.ends_with(" 166 0xA6 10100110")) << line;
    }
    EXPECT_NE(r.err.find("stopped answering or was lost"), std::string::npos) << r.err;
    // Gone for good: the next run finds nothing.
    EXPECT_EQ(run({ "read" }).status, portprobe_io::NotFound);
}

TEST_F(PortprobeIo, NoBoardAtAll)
{
    hidraw();
    for (const std::string command : { "list", "read", "watch" }) {
        const Outcome r = run({ command });
        EXPECT_EQ(r.status, portprobe_io::NotFound) << command;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(run({ "write", "1" }).status, portprobe_io::NotFound);
}

// Boards whose report lengths the link cannot use (input too short for a
// value; output longer than its command bytes, so nothing is sent and the
// read waits out its 6 s): the link's traps log them as the console's do, and
// the run ends with status 3, the board having been found.
TEST_F(PortprobeIo, LinkFailuresReachTheErrorLog)
{
    platform::sim::SimBoardConfig shortInput;
    shortInput.inputReportByteLength = 2;
    hidraw().add(shortInput);
    platform::sim::SimBoardConfig longOutput;
    longOutput.productId = 0x0200;
    longOutput.outputReportByteLength = 10;
    hidraw().add(longOutput);
    const std::vector<std::pair<std::string, std::string>> table {
        { "100", "QuillFunc_USBIO_gUSBIO_ReadP0" },
        { "200", "QuillFunc_USBIO_WriteReport" },
    };
    for (const auto &[pid, procedure] : table) {
        const Outcome r = run({ "--pid", pid, "read" });
        EXPECT_EQ(r.status, portprobe_io::Lost) << r.err;
        const std::string log = slurp(tmp.path() / "PORTPROBE_ErrLog.txt");
        EXPECT_NE(log.find(procedure), std::string::npos) << log;
    }
}

TEST_F(PortprobeIo, JsonLinesParseBack)
{
    hidraw().add();
    hidraw().with(0, [](auto &b) {
        b.setPort0(0x81);
        return 0;
    });
    struct Row
    {
        std::vector<std::string> args;
        std::size_t count;
        std::map<std::string, std::string> fields; ///< fields every object has
    };
    const std::vector<Row> rows {
        { { "list" }, 1,
            { { "vid", "1352" }, { "pid", "0100" }, { "input", "9" }, { "output", "9" },
                { "path", "/dev/hidraw0" }, { "target", "true" }, { "access", "true" } } },
        { { "write", "5" }, 1,
            { { "port", "Port1" }, { "value", "5" }, { "hex", "0x05" }, { "bits", "0101" } } },
        { { "read" }, 1,
            { { "port", "Port0" }, { "value", "129" }, { "hex", "0x81" },
                { "bits", "10000001" } } },
        { { "watch", "--interval=0", "--count=2" }, 2,
            { { "value", "129" }, { "bits", "10000001" } } },
    };
    for (const Row &row : rows) {
        auto args = row.args;
        args.insert(args.begin(), "--json");
        const Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto got = lines(r.out);
        ASSERT_EQ(got.size(), row.count) << r.out;
        for (const auto &line : got) {
            const auto object = parseFlatJson(line);
            ASSERT_TRUE(object) << line;
            for (const auto &[key, value] : row.fields) {
                EXPECT_EQ(object->count(key) ? object->at(key) : "(missing)", value) << key;
            }
            if (row.args[0] == "watch") {
                EXPECT_TRUE(std::regex_match(object->at("time"),
                    std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
            }
        }
    }
}

// IDs from the console's setting.ini beside the program, read as the console
// reads them: hexadecimal digits up to 32 bits, no "0x". A target above FFFF
// finds no board, except sign-extended IDs from 8000 (FFFF8001 is 8001).
TEST_F(PortprobeIo, IdsFromTheConsolesSettings)
{
    const auto folder = tmp.path() / "app";
    std::filesystem::create_directories(folder);
    const auto program = folder / "portprobe-io";
    std::filesystem::copy_file(PORTPROBE_IO_PROGRAM, program);
    EXPECT_EQ(run({ "--virtual", "list" }, program).out.substr(0, 13), "1 * 1352/0100");

    platform::sim::SimBoardConfig high;
    high.productId = 0x8001;
    hidraw().add(high);
    // args: the file's vendor and product values.
    const std::vector<Expect> table {
        { { "ABCD", "12" }, 1, "", "^portprobe-io: no board ABCD/0012 found\n$" },
        { { "1352", "8001" }, 0, "0 0x00 00000000\n", "^$" },
        { { "00001352", "ffff8001" }, 0, "0 0x00 00000000\n", "^$" },
        { { "11352", "8001" }, 1, "", "no board 11352/8001 found" },
        { { "1352", "18001" }, 1, "", "no board 1352/18001 found" },
        { { "1352", "" }, 1, "", "no board 1352/0100 found" },
        { { "0x1352", "8001" }, 2, "", "setting.ini: the vendor ID \"0x1352\" is not hexadecimal" },
        { { "1352", "100000000" }, 2, "", "the product ID \"100000000\" is not hexadecimal" },
        { { "1352", "\x82\x50" }, 2, "", "give --pid\n$" }, // full-width 1 in CP932
    };
    for (const Expect &e : table) {
        SCOPED_TRACE(e.args[0] + "/" + e.args[1]);
        std::ofstream(folder / "setting.ini") << "[Setting]\r\nStrVendorID=" << e.args[0]
                                              << "\r\nStrPeroductID=" << e.args[1] << "\r\n";
        check(run({ "read" }, program), e);
    }
    // The command line's own IDs win over the file's.
    EXPECT_EQ(run({ "--vid", "1352", "--pid", "8001", "read" }, program).status, 0);
}

// Output that went nowhere: status 5 and one line saying why, whatever was
// done first; a run that had nothing to print keeps its own status.
TEST_F(PortprobeIo, LostOutputEndsWithStatus5)
{
    const std::string full = "^portprobe-io: cannot write to standard output: No space left on "
                             "device\n$";
    const std::string closed = "^portprobe-io: cannot write to standard output: Bad file "
                               "descriptor\n$";
    const std::vector<std::pair<Stdout, Expect>> table {
        { Stdout::DevFull, { { "--virtual", "read" }, 5, "", full } },
        { Stdout::DevFull, { { "--virtual", "--json", "write", "3" }, 5, "", full } },
        { Stdout::DevFull, { { "--virtual", "list" }, 5, "", full } },
        { Stdout::DevFull,
            { { "--virtual", "watch", "--interval", "0", "--count", "3" }, 5, "", full } },
        { Stdout::DevFull, { { "--help" }, 5, "", full } },
        { Stdout::Closed,
            { { "--virtual", "--vid", "1234", "read" }, 1, "",
                "^portprobe-io: no board 1234/0100 found\n$" } },
        { Stdout::DevFull,
            { { "--virtual", "write", "16" }, 2, "", "^portprobe-io: value \"16\"" } },
        { Stdout::Closed, { { "--version" }, 5, "", closed } },
        { Stdout::Closed, { { "--virtual", "read" }, 5, "", closed } },
        { Stdout::Closed, { { "--virtual", "watch", "--interval", "0" }, 5, "", closed } },
    };
    for (const auto &[stdoutTo, e] : table) {
        SCOPED_TRACE(e.args.back());
        check(run(e.args, PORTPROBE_IO_PROGRAM, stdoutTo), e);
    }
    // Through the hidraw backend too, the link kept open between readings.
    hidraw().add();
    check(run({ "watch", "--interval", "0", "--count", "2" }, PORTPROBE_IO_PROGRAM, Stdout::Closed),
        { {}, 5, "", closed });
}

// watch into a pipe whose reader takes one line and goes: with SIGPIPE at its
// default the signal ends it; ignored (as under a service manager), the failed
// write does, quietly, with status 5.
TEST_F(PortprobeIo, WatchEndsWhenThePipesReaderGoes)
{
    for (const bool ignored : { true, false }) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE default");
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        const auto err = tmp.path() / "err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
        posix_spawn_file_actions_addopen(
            &actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const pid_t pid = spawn(
            { "--virtual", "watch", "--interval", "10" }, PORTPROBE_IO_PROGRAM, actions, ignored);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        std::string first;
        char c = 0;
        while (!first.ends_with('\n') && ::read(pipe[0], &c, 1) == 1) {
            first += c;
        }
        ::close(pipe[0]);
        EXPECT_TRUE(first.ends_with(" 0 0x00 00000000\n")) << first;
        EXPECT_EQ(await(pid), ignored ? portprobe_io::OutputFailed : 128 + SIGPIPE);
        EXPECT_EQ(slurp(err), "");
    }
}

} // namespace
