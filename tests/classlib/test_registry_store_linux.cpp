// The Linux registry store itself: where its files go and with which rights,
// other programs using it at the same time, and files it must not touch.
#include "registry_rig.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using platform::RegistryRoot;

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
    // Rollback journal, so that readers need no write access to the folder.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(options.localMachineFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "delete");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
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

TEST_F(RegistryStoreTest, ALockHeldTooLongIsAFailureNotAHang)
{
    ASSERT_TRUE(at().SetString("v", "before"));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(options.currentUserFile.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(at().SetString("v", "during"));
    EXPECT_EQ(at().GetString("v", "d"), "d");
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(at().GetString("v", "d"), "before");
    EXPECT_TRUE(at().SetString("v", "after"));
}

TEST_F(RegistryStoreTest, TwoProgramsWritingAtOnceBothSucceed)
{
    ASSERT_TRUE(at().SetString("start", "1"));
    options.busyTimeoutMs = 10000;
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
