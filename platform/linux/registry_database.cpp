// The registry store's connection to one database file: the file made
// safely (never through a link, with its modes whatever the umask), opened
// with its checks, given the schema when empty, and the lock-wait rule. A
// file that is not ours is never written.

#include "platform/linux/registry_database.h"
#include "platform/linux/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::registry_db {
namespace {

// "PPRG" in the database header: a file without it is not ours and is never written.
constexpr int ApplicationId = 0x50505247;
constexpr int SchemaVersion = 1;

// Keys form a tree below the root (id 0, not stored). Names keep their spelling;
// `fold` is the name in capitals, which is what names are matched and sorted by,
// and `path` the folded path from the root, so a key is found in one lookup.
// Values keep their creation order in `id`.
constexpr const char *Schema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  path TEXT NOT NULL UNIQUE);
CREATE INDEX keys_by_parent ON keys(parent, fold);
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, fold));
PRAGMA application_id = 1347441223;
PRAGMA user_version = 1;
)sql";

static_assert(ApplicationId == 1347441223, "the schema sets the same number");

// The id of the key whose folded path is ?1 (the root's is 0): reads go by path,
// so an open key follows whatever key has that path now.
#define KeyIdOfPath "(CASE WHEN ?1 = '' THEN 0 ELSE (SELECT id FROM keys WHERE path = ?1) END)"

constexpr std::array<const char *, StmtCount> StmtSql = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM keys WHERE path = ?1",
    "INSERT INTO keys(parent, name, fold, path) VALUES(?1, ?2, ?3, ?4)",
    "SELECT name FROM keys WHERE parent = " KeyIdOfPath " ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name FROM vals WHERE key = " KeyIdOfPath " ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT type, data FROM vals WHERE key = " KeyIdOfPath " AND fold = ?2",
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
};

int pragmaInt(sqlite3 *db, const char *sql, bool &ok)
{
    sqlite3_stmt *stmt = nullptr;
    int value = 0;
    ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW;
    if (ok) {
        value = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

bool quickCheckPasses(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW
        && std::string_view(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))) == "ok";
    sqlite3_finalize(stmt);
    return ok;
}

// The file's folder resolved, so that SQLite's NOFOLLOW (which refuses a link
// anywhere in the path) refuses only a store file that is itself a link: a
// home folder reached through a link stays usable. Empty when it cannot be.
std::string withRealFolder(const std::string &file)
{
    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
    char *real = ::realpath(folder.c_str(), nullptr);
    if (!real) {
        return {};
    }
    std::string path(real);
    std::free(real);
    if (path.back() != '/') {
        path += '/';
    }
    return path + file.substr(slash == std::string::npos ? 0 : slash + 1);
}

/// Makes the missing folders above @p file with @p mode (whatever the umask).
bool makeParents(const std::string &file, mode_t mode)
{
    for (std::size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1)) {
        const std::string dir = file.substr(0, at);
        if (::mkdir(dir.c_str(), mode) == 0) {
            ::chmod(dir.c_str(), mode); // whatever the umask
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return true;
}

} // namespace

bool prepareStoreFile(const std::string &file, bool create, mode_t fileMode, mode_t dirMode)
{
    struct stat st;
    if (::lstat(file.c_str(), &st) == 0) {
        return S_ISREG(st.st_mode);
    }
    if (errno != ENOENT || !create || !makeParents(file, dirMode)) {
        return false;
    }
    const UniqueFd fd(
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, fileMode));
    if (fd) {
        ::fchmod(fd.get(), fileMode); // whatever the umask
        return true;
    }
    return errno == EEXIST;
}

LockWait::LockWait(const std::string &file, int stuckAfterMs, int limitMs)
    : files_ { file, file + "-wal", file + "-journal" },
      stuckAfter_(std::chrono::milliseconds(stuckAfterMs)),
      limit_(std::chrono::milliseconds(limitMs)),
      random_(static_cast<std::uint_fast32_t>(::getpid()))
{ }

int LockWait::handler(void *self, int count)
{
    return static_cast<LockWait *>(self)->again(count) ? 1 : 0;
}

LockWait::Stamps LockWait::look() const
{
    Stamps now;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        struct stat st;
        if (::stat(files_[i].c_str(), &st) == 0) {
            now[i] = { true, st.st_size, st.st_ino, st.st_mtim };
        }
    }
    return now;
}

bool LockWait::again(int count)
{
    const auto now = Clock::now();
    Stamps stamps = look();
    if (count == 0) { // a new wait
        started_ = changed_ = now;
        stamps_ = stamps;
    } else if (stamps != stamps_) {
        stamps_ = stamps;
        changed_ = now;
    }
    if (now - changed_ >= stuckAfter_ || now - started_ >= limit_) {
        return false;
    }
    // 0.1 ms doubling up to 2 ms, each drawn from its upper half.
    const int longest = std::min(100 << std::min(count, 5), 2000);
    std::uniform_int_distribution<int> pick(longest / 2, longest);
    ::usleep(static_cast<useconds_t>(pick(random_)));
    return true;
}

Database::Database(sqlite3 *db, LockWait wait) : db_(db), wait_(std::move(wait))
{
    if (db_) {
        sqlite3_busy_handler(db_, &LockWait::handler, &wait_);
    }
}

Database::~Database()
{
    for (sqlite3_stmt *stmt : stmts_) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db_);
}

sqlite3_stmt *Database::statement(Stmt which)
{
    if (!stmts_[which]) {
        if (sqlite3_prepare_v3(
                db_, StmtSql[which], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[which], nullptr)
            != SQLITE_OK) {
            stmts_[which] = nullptr;
        }
    }
    return stmts_[which];
}

std::unique_ptr<Database> openDatabase(const StoreFile &store, const RegistryStoreOptions &options)
{
    const std::string file = withRealFolder(store.path);
    if (file.empty()) {
        return nullptr;
    }
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    auto db =
        std::make_unique<Database>(raw, LockWait(file, options.stuckAfterMs, options.waitLimitMs));
    if (rc != SQLITE_OK) {
        return nullptr;
    }
    db->writable = sqlite3_db_readonly(raw, "main") == 0;
    bool ok = false;
    if (pragmaInt(raw, "PRAGMA application_id", ok) == 0 && ok) {
        // Empty or not ours. Decided under the write lock: another program may be
        // setting up the same empty file right now.
        if (!db->writable) {
            return nullptr;
        }
        Transaction tx(*db);
        if (!tx.isOpen()) {
            return nullptr;
        }
        bool counted = false;
        const int appId = pragmaInt(raw, "PRAGMA application_id", ok);
        const int tables = pragmaInt(raw, "SELECT count(*) FROM sqlite_master", counted);
        if (!ok || !counted) {
            return nullptr;
        }
        if (appId == 0 && tables == 0
            && sqlite3_exec(raw, Schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return nullptr;
        }
        if (!tx.commit()) {
            return nullptr;
        }
    }
    if (pragmaInt(raw, "PRAGMA application_id", ok) != ApplicationId || !ok
        || pragmaInt(raw, "PRAGMA user_version", ok) != SchemaVersion || !ok
        || !quickCheckPasses(raw)) {
        return nullptr;
    }
    if (db->writable) {
        // Whatever another program left it in; a switch that cannot be made now
        // (the lock stuck) leaves a mode that still works.
        sqlite3_exec(raw, store.wal ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE",
            nullptr, nullptr, nullptr);
    }
    if (store.wal) {
        // A commit survives the program's crash; a power loss may take the last
        // ones, as the registry's lazy flush may.
        sqlite3_exec(raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    }
    return db;
}

} // namespace platform::registry_db
