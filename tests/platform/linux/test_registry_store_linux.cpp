// The Linux registry store itself: where its files go and with which rights,
// other programs using it at the same time, and files it must not touch.
#include "classlib/registry_rig.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using platform::RegistryRoot;

constexpr int Writers = 8;
constexpr int ValuesPerWriter = 500;

std::string contents(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

mode_t modeOf(const std::string &path)
{
    struct stat st
    { };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string journalMode(const std::string &file)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    std::string mode;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        mode = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return mode;
}

class RegistryStoreTest : public RegistryRig
{
protected:
    clsRegEdit machine() const
    {
        clsRegEdit reg;
        reg.RegKey(clsRegEdit::LocalMachine);
        reg.SubKey(base);
        return reg;
    }
};

TEST_F(RegistryStoreTest, FilesAppearOnTheFirstWriteWithTheirRights)
{
    EXPECT_EQ(at().GetString("v", "d"), "d");
    EXPECT_EQ(at().EnumValueName(*std::make_unique<std::vector<std::string>>()), 0);
    EXPECT_FALSE(fs::exists(options.currentUserFile)); // reading creates nothing
    const mode_t old = ::umask(077);
    const bool wrote = at().SetString("v", "user") && machine().SetString("v", "machine");
    ::umask(old);
    ASSERT_TRUE(wrote);
    EXPECT_EQ(modeOf(fs::path(options.currentUserFile).parent_path()), 0700u);
    EXPECT_EQ(modeOf(options.currentUserFile), 0600u);
    EXPECT_EQ(modeOf(fs::path(options.localMachineFile).parent_path()), 0755u);
    EXPECT_EQ(modeOf(options.localMachineFile), 0644u); // readable by all, whatever the umask
    // Another program (here: another store on the same files) sees the values.
    platform::RegistryStore other(options);
    platform::ScopedSeam<platform::Registry> use(other);
    EXPECT_EQ(at().GetString("v", "d"), "user");
    EXPECT_EQ(machine().GetString("v", "d"), "machine");
    // The machine's keeps a rollback journal, so that readers need no write access
    // to the folder; the user's writes ahead.
    EXPECT_EQ(journalMode(options.localMachineFile), "delete");
    EXPECT_EQ(journalMode(options.currentUserFile), "wal");
}

TEST_F(RegistryStoreTest, OtherRootsFailLikeAMissingKey)
{
    for (std::int32_t root :
        { clsRegEdit::ClassesRoot, clsRegEdit::Users, clsRegEdit::CurrentConfig }) {
        clsRegEdit reg;
        reg.RegKey(root);
        reg.SubKey(base);
        EXPECT_FALSE(reg.SetString("v", "x"));
        EXPECT_EQ(reg.GetString("v", "d"), "d");
    }
}

TEST_F(RegistryStoreTest, NamesAreDataNeverSql)
{
    const std::string name = "x'); DROP TABLE vals; --";
    ASSERT_TRUE(at(name).SetString(name, name));
    EXPECT_EQ(at(name).GetString(name, "d"), name);
    // "ß" has no one-to-one capital: "Straße" and "STRASSE" are two names, as on Windows.
    ASSERT_TRUE(at().SetString("Straße", "1"));
    ASSERT_TRUE(at().SetString("STRASSE", "2"));
    EXPECT_EQ(at().GetString("STRAßE", "d"), "1");
    std::vector<std::string> names;
    EXPECT_EQ(at().EnumValueName(names), 2);
}

TEST_F(RegistryStoreTest, FilesThatAreNotOursAreNeverWritten)
{
    fs::create_directories(fs::path(options.currentUserFile).parent_path());
    struct Row
    {
        const char *what;
        std::string bytes;
    };
    std::string foreign;
    {
        const std::string file = folder + "/foreign.db";
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('mine');", nullptr,
            nullptr, nullptr);
        sqlite3_close(db);
        foreign = contents(file);
    }
    const Row rows[] = {
        { "garbage", std::string(4096, '\x5A') },
        { "truncated database", foreign.substr(0, 100) },
        { "someone else's database", foreign },
    };
    for (const Row &row : rows) {
        std::ofstream(options.currentUserFile, std::ios::binary | std::ios::trunc) << row.bytes;
        platform::RegistryStore fresh(options);
        platform::ScopedSeam<platform::Registry> use(fresh);
        EXPECT_FALSE(at().SetString("v", "x")) << row.what;
        EXPECT_EQ(at().GetString("v", "d"), "d") << row.what;
        EXPECT_EQ(contents(options.currentUserFile), row.bytes) << row.what;
    }
    fs::remove(options.currentUserFile);
    fs::create_directory(options.currentUserFile); // a folder in the file's place
    EXPECT_FALSE(at().SetString("v", "x"));
}

TEST_F(RegistryStoreTest, AStoreFileThatIsALinkIsNeverUsed)
{
    // Another store of ours, and an empty file: both could be written through a link.
    platform::RegistryStoreOptions elsewhere;
    elsewhere.currentUserFile = folder + "/elsewhere.db";
    {
        platform::RegistryStore other(elsewhere);
        platform::ScopedSeam<platform::Registry> use(other);
        ASSERT_TRUE(at().SetString("v", "elsewhere"));
    }
    std::ofstream(folder + "/empty.db").close();
    fs::create_directories(fs::path(options.currentUserFile).parent_path());
    fs::create_directories(fs::path(options.localMachineFile).parent_path());
    for (const std::string &target :
        { folder + "/elsewhere.db", folder + "/empty.db", folder + "/missing.db" }) {
        const std::string before = contents(target);
        for (const std::string &file : { options.currentUserFile, options.localMachineFile }) {
            fs::remove(file);
            fs::create_symlink(target, file);
        }
        platform::RegistryStore fresh(options);
        platform::ScopedSeam<platform::Registry> use(fresh);
        EXPECT_EQ(at().GetString("v", "d"), "d") << target;
        EXPECT_FALSE(at().SetString("v", "x")) << target;
        EXPECT_FALSE(machine().SetString("v", "x")) << target;
        EXPECT_TRUE(contents(target) == before) << target; // no dump of the bytes
        EXPECT_EQ(fs::exists(target), target != folder + "/missing.db");
    }
    // A link further up the path (a home folder reached through one) is fine.
    fs::create_symlink(folder, folder + "/via");
    options.currentUserFile = folder + "/via/elsewhere.db";
    platform::RegistryStore through(options);
    platform::ScopedSeam<platform::Registry> use(through);
    EXPECT_EQ(at().GetString("v", "d"), "elsewhere");
    EXPECT_TRUE(at().SetString("v", "through"));
}

TEST_F(RegistryStoreTest, ALockThatStandsStillIsAFailureNotAHang)
{
    struct Row
    {
        clsRegEdit reg;
        std::string file;
        const char *readDuringLock; // WAL readers do not wait for a writer
    };
    const Row rows[] = {
        { at(), options.currentUserFile, "before" },
        { machine(), options.localMachineFile, "d" },
    };
    for (const Row &row : rows) {
        ASSERT_TRUE(row.reg.SetString("v", "before"));
        sqlite3 *other = nullptr;
        ASSERT_EQ(sqlite3_open(row.file.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_FALSE(row.reg.SetString("v", "during")) << row.file;
        EXPECT_EQ(row.reg.GetString("v", "d"), row.readDuringLock) << row.file;
        ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        EXPECT_EQ(row.reg.GetString("v", "d"), "before");
        EXPECT_TRUE(row.reg.SetString("v", "after"));
    }
}

TEST_F(RegistryStoreTest, ACreatedKeyWhoseFirstUseTimedOutIsMadeByTheNextTry)
{
    ASSERT_TRUE(at().SetString("v", "before")); // the store exists
    const std::string value("x", 2);
    struct Row
    {
        const char *firstUse;
        bool (*use)(platform::RegistryStore &, platform::RegistryKey, const std::string &);
    };
    const Row rows[] = {
        { "set a value",
            [](platform::RegistryStore &s, platform::RegistryKey k, const std::string &v) {
                return s.setValue(k, "v", platform::RegSz, v);
            } },
        { "read a value",
            [](platform::RegistryStore &s, platform::RegistryKey k, const std::string &) {
                return s.queryValue(k, "v", 64).has_value();
            } },
    };
    for (const Row &row : rows) {
        const std::string path = base + "\\" + row.firstUse;
        const auto key = store->create(RegistryRoot::CurrentUser, path, 63);
        ASSERT_TRUE(key) << row.firstUse;
        sqlite3 *other = nullptr;
        ASSERT_EQ(sqlite3_open(options.currentUserFile.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_FALSE(row.use(*store, *key, value)) << row.firstUse;
        EXPECT_FALSE(store->open(RegistryRoot::CurrentUser, path, 63)) << row.firstUse;
        ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        EXPECT_TRUE(store->setValue(*key, "v", platform::RegSz, value)) << row.firstUse;
        store->close(*key);
        platform::RegistryStore fresh(options);
        const auto made = fresh.open(RegistryRoot::CurrentUser, path, 63);
        ASSERT_TRUE(made) << row.firstUse;
        const auto read = fresh.queryValue(*made, "v", 64);
        EXPECT_TRUE(read && read->data == value) << row.firstUse;
        fresh.close(*made);
    }
}

TEST_F(RegistryStoreTest, AWriterWaitsAsLongAsTheHolderGetsOn)
{
    // Another program holds the lock for far longer than the store may stand
    // still (600 ms here: a loaded machine may pause the holder for a while),
    // letting go only between its commits.
    options.stuckAfterMs = 600;
    seam.reset();
    store = std::make_unique<platform::RegistryStore>(options);
    seam = std::make_unique<platform::ScopedSeam<platform::Registry>>(*store);
    ASSERT_TRUE(at().SetString("v", "before"));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(options.currentUserFile.c_str(), &other), SQLITE_OK);
    std::atomic<bool> holding = false;
    std::thread holder([&] {
        for (int i = 0; i < 50; ++i) {
            sqlite3_exec(other,
                "BEGIN IMMEDIATE; INSERT OR REPLACE INTO vals(key, name, fold, type, data)"
                " VALUES(0, 'busy', 'BUSY', 3, randomblob(64))",
                nullptr, nullptr, nullptr);
            holding = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        }
    });
    while (!holding) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(at().SetString("v", "after"));
    holder.join();
    sqlite3_close(other);
    EXPECT_EQ(at().GetString("v", "d"), "after");
}

TEST_F(RegistryStoreTest, TwoProgramsWritingAtOnceBothSucceed)
{
    ASSERT_TRUE(at().SetString("start", "1"));
    options.stuckAfterMs = 5000;
    auto writer = [&](char tag, int &written) {
        platform::RegistryStore own(options);
        for (int i = 0; i < 40; ++i) {
            auto key = own.create(RegistryRoot::CurrentUser, base + "\\" + tag, 63);
            if (key && own.setValue(*key, std::to_string(i), platform::RegDword, "\1\0\0\0")) {
                ++written;
            }
            if (key) {
                own.close(*key);
            }
        }
    };
    int a = 0, b = 0;
    std::thread first(writer, 'a', std::ref(a));
    std::thread second(writer, 'b', std::ref(b));
    first.join();
    second.join();
    EXPECT_EQ(a, 40);
    EXPECT_EQ(b, 40);
    std::vector<std::string> names;
    EXPECT_EQ(at("a").EnumValueName(names), 40);
    EXPECT_EQ(at("b").EnumValueName(names), 40);
}

// Run by the test below as one of its writers: 500 values, each in one of ten
// keys that all writers share, named after the writer.
TEST_F(RegistryStoreTest, ChildWritesItsValues)
{
    const char *writer = std::getenv("PP_REGISTRY_CHILD_WRITER");
    if (!writer) {
        GTEST_SKIP() << "run by EightProgramsWritingAtOnceLoseNothing";
    }
    platform::RegistryStoreOptions own;
    own.currentUserFile = std::getenv("PP_REGISTRY_CHILD_USER");
    platform::RegistryStore child(own);
    platform::ScopedSeam<platform::Registry> use(child);
    int failed = 0;
    for (int i = 0; i < ValuesPerWriter; ++i) {
        const std::string name = std::string(writer) + "." + std::to_string(i);
        failed += at("k" + std::to_string(i % 10)).SetString(name, name) ? 0 : 1;
    }
    EXPECT_EQ(failed, 0);
}

TEST_F(RegistryStoreTest, EightProgramsWritingAtOnceLoseNothing)
{
    // The store does not exist yet: the writers also race to make it.
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        const std::string log = folder + "/writer" + std::to_string(w) + ".log";
        const std::string writer = "PP_REGISTRY_CHILD_WRITER=w" + std::to_string(w);
        const std::string file = "PP_REGISTRY_CHILD_USER=" + options.currentUserFile;
        const std::string filter = "--gtest_filter=RegistryStoreTest.ChildWritesItsValues";
        std::vector<char *> argv = { const_cast<char *>(self.c_str()),
            const_cast<char *>(filter.c_str()), nullptr };
        std::vector<char *> env = { const_cast<char *>(writer.c_str()),
            const_cast<char *>(file.c_str()), nullptr };
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(
            &actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), env.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        children.push_back(pid);
    }
    for (std::size_t w = 0; w < children.size(); ++w) {
        int status = -1;
        ::waitpid(children[w], &status, 0);
        const std::string log = contents(folder + "/writer" + std::to_string(w) + ".log");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
        EXPECT_NE(log.find("[  PASSED  ] 1 test"), std::string::npos) << log;
    }
    int found = 0;
    std::vector<std::string> names;
    for (int k = 0; k < 10; ++k) {
        names.clear();
        at("k" + std::to_string(k)).EnumValueName(names);
        for (const std::string &name : names) {
            found += at("k" + std::to_string(k)).GetString(name, "") == name ? 1 : 0;
        }
    }
    EXPECT_EQ(found, Writers * ValuesPerWriter);
}

TEST_F(RegistryStoreTest, KeysChangedByAnotherProgramAreSeenAtOnce)
{
    ASSERT_TRUE(at("k").SetString("v", "old"));
    EXPECT_EQ(at("k").GetString("v", "d"), "old"); // the key is known here now
    platform::RegistryStore other(options);
    auto parent = other.open(RegistryRoot::CurrentUser, base, 63);
    ASSERT_TRUE(parent);
    EXPECT_TRUE(other.deleteKey(*parent, "k"));
    EXPECT_EQ(at("k").GetString("v", "d"), "d");
    std::vector<std::string> names;
    EXPECT_EQ(at("k").EnumValueName(names), 0);
    EXPECT_FALSE(at("k").DeleteValueName("v"));
    auto again = other.create(RegistryRoot::CurrentUser, base + "\\K", 63);
    ASSERT_TRUE(again);
    EXPECT_TRUE(other.setValue(*again, "v", platform::RegSz, std::string("new", 4)));
    other.close(*again);
    other.close(*parent);
    EXPECT_EQ(at("k").GetString("v", "d"), "new");
}

// Run as an unprivileged user by the test below: reads the stores it is given
// and tries to write them.
TEST_F(RegistryStoreTest, ChildReadsAsAnUnprivilegedUser)
{
    const char *machineFile = std::getenv("PP_REGISTRY_CHILD_MACHINE");
    if (!machineFile) {
        GTEST_SKIP() << "run by UnprivilegedUsersReadTheMachineStoreButCannotWriteIt";
    }
    options.localMachineFile = machineFile;
    options.currentUserFile = std::getenv("PP_REGISTRY_CHILD_USER");
    platform::RegistryStore child(options);
    platform::ScopedSeam<platform::Registry> use(child);
    EXPECT_EQ(machine().GetString("v", "d"), "machine");
    EXPECT_FALSE(machine().SetString("v", "changed"));
    EXPECT_FALSE(machine().SetString("new", "x"));
    EXPECT_FALSE(machine().DeleteValueName("v"));
    EXPECT_EQ(at().GetString("v", "d"), "read-only"); // a read-only file of one's own
    EXPECT_FALSE(at().SetString("v", "changed"));
}

TEST_F(RegistryStoreTest, UnprivilegedUsersReadTheMachineStoreButCannotWriteIt)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    }
    ASSERT_TRUE(machine().SetString("v", "machine"));
    ASSERT_TRUE(at().SetString("v", "read-only"));
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(fs::path(options.currentUserFile).parent_path().c_str(), nobody, nobody), 0);
    ASSERT_EQ(::chown(options.currentUserFile.c_str(), nobody, nobody), 0);
    ASSERT_EQ(::chmod(options.currentUserFile.c_str(), 0400), 0);
    fs::permissions(folder,
        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
            | fs::perms::others_read | fs::perms::others_exec);
    const std::string before = contents(options.localMachineFile);
    seam.reset();
    store.reset(); // nothing of ours holds the files open

    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string command = "env -i HOME=/nonexistent PATH=/usr/bin:/bin"
                                " PP_REGISTRY_CHILD_MACHINE='"
        + options.localMachineFile + "' PP_REGISTRY_CHILD_USER='" + options.currentUserFile
        + "' setpriv --reuid=65534 --regid=65534 --clear-groups '" + self
        + "' --gtest_filter=RegistryStoreTest.ChildReadsAsAnUnprivilegedUser"
          " >'"
        + folder + "/child.log' 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << contents(folder + "/child.log");
    EXPECT_NE(contents(folder + "/child.log").find("[  PASSED  ] 1 test"), std::string::npos)
        << contents(folder + "/child.log");
    EXPECT_EQ(contents(options.localMachineFile), before);
}

} // namespace
