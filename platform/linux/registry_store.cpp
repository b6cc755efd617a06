#include "platform/linux/registry_store.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/xdg.h"

#include "platform/codepage.h"
#include "platform/path_join.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace platform {
namespace {

// "PPRG" in the database header: a file without it is not ours and is never written.
constexpr int ApplicationId = 0x50505247;
constexpr int SchemaVersion = 1;
// The registry's own limits, in characters.
constexpr std::size_t MaxKeyNameChars = 255;
constexpr std::size_t MaxValueNameChars = 16383;

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

enum Stmt : std::size_t {
    Begin,
    Commit,
    Rollback,
    FindKey,
    InsertKey,
    SubkeyAt,
    ValueAt,
    HasSubkeys,
    DeleteKeyRow,
    DeleteKeyValues,
    GetValue,
    SetValue,
    DeleteValue,
    StmtCount
};

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

std::size_t characterCount(std::string_view utf8)
{
    std::size_t n = 0;
    for (char c : utf8) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

// A key path split into its names: "" is the key itself; backslashes repeated
// inside or at the end count as one (as Wine's registry reads them); a leading
// backslash, a NUL or a name longer than the registry allows makes it invalid.
std::optional<std::vector<std::string_view>> splitKeyPath(std::string_view path)
{
    std::vector<std::string_view> names;
    if (path.find('\0') != std::string_view::npos || (!path.empty() && path.front() == '\\')) {
        return std::nullopt;
    }
    while (!path.empty()) {
        const auto sep = path.find('\\');
        const std::string_view name = path.substr(0, sep);
        if (characterCount(name) > MaxKeyNameChars) {
            return std::nullopt;
        }
        if (!name.empty()) {
            names.push_back(name);
        }
        path = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
    }
    return names;
}

bool validValueName(std::string_view name)
{
    return name.find('\0') == std::string_view::npos && characterCount(name) <= MaxValueNameChars;
}

// Makes the missing folders of @p file's parent with @p mode (existing ones stay as they are).
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

// Waiting for another program's write lock. The holder changes the store's
// files (database, WAL, journal) with each commit, so a caller keeps waiting
// while they change and gives up only when they have stood still for
// `stuckAfter` (a holder that hung or was stopped), or after `limit` in all.
// Short, jittered sleeps let a waiter get in between a busy writer's commits.
class LockWait
{
public:
    LockWait(const std::string &file, int stuckAfterMs, int limitMs)
        : files_ { file, file + "-wal", file + "-journal" },
          stuckAfter_(std::chrono::milliseconds(stuckAfterMs)),
          limit_(std::chrono::milliseconds(limitMs)),
          random_(static_cast<std::uint_fast32_t>(::getpid()))
    { }

    /// The connection's busy handler: nonzero to try the lock again.
    static int handler(void *self, int count)
    {
        return static_cast<LockWait *>(self)->again(count) ? 1 : 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Stamp
    {
        bool exists = false;
        off_t size = 0;
        ino_t inode = 0;
        timespec changed {};
        bool operator==(const Stamp &o) const
        {
            return exists == o.exists && size == o.size && inode == o.inode
                && changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
        }
    };
    using Stamps = std::array<Stamp, 3>;

    Stamps look() const
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

    bool again(int count)
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

    std::array<std::string, 3> files_;
    Clock::duration stuckAfter_;
    Clock::duration limit_;
    std::minstd_rand random_;
    Clock::time_point started_;
    Clock::time_point changed_;
    Stamps stamps_ {};
};

class Database
{
public:
    Database(sqlite3 *db, LockWait wait) : db_(db), wait_(std::move(wait))
    {
        if (db_) {
            sqlite3_busy_handler(db_, &LockWait::handler, &wait_);
        }
    }
    ~Database()
    {
        for (sqlite3_stmt *stmt : stmts_) {
            sqlite3_finalize(stmt);
        }
        sqlite3_close_v2(db_);
    }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return db_; }
    bool writable = false;

    sqlite3_stmt *statement(Stmt which)
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

private:
    sqlite3 *db_;
    LockWait wait_; // the handler's state: lives as long as the connection
    std::array<sqlite3_stmt *, StmtCount> stmts_ {};
};

// One use of a prepared statement: values are bound, never spliced into SQL,
// and the statement is reset when the use ends.
class Query
{
public:
    Query(Database &db, Stmt which) : stmt_(db.statement(which)) { }
    ~Query()
    {
        if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    Query &bind(int i, sqlite3_int64 v)
    {
        ok_ = ok_ && stmt_ && sqlite3_bind_int64(stmt_, i, v) == SQLITE_OK;
        return *this;
    }
    // The text must outlive the query (it is not copied).
    Query &bind(int i, std::string_view text)
    {
        ok_ = ok_ && stmt_
            && sqlite3_bind_text(stmt_, i, text.empty() ? "" : text.data(),
                   static_cast<int>(text.size()), SQLITE_STATIC)
                == SQLITE_OK;
        return *this;
    }
    Query &bindBlob(int i, std::string_view bytes)
    {
        ok_ = ok_ && stmt_
            && (bytes.empty() ? sqlite3_bind_zeroblob(stmt_, i, 0)
                              : sqlite3_bind_blob(stmt_, i, bytes.data(),
                                  static_cast<int>(bytes.size()), SQLITE_STATIC))
                == SQLITE_OK;
        return *this;
    }
    /// SQLITE_ROW, SQLITE_DONE, or an error.
    int step() { return ok_ && stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    bool done() { return step() == SQLITE_DONE; }
    sqlite3_int64 integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string text(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    std::string blob(int col) const
    {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }

private:
    sqlite3_stmt *stmt_;
    bool ok_ = true;
};

// A write: BEGIN IMMEDIATE takes the write lock at once (waiting out other
// programs up to the busy time-out), so a transaction never fails half-way for
// a lock; anything not committed is rolled back.
class Transaction
{
public:
    explicit Transaction(Database &db) : db_(db), open_(Query(db, Begin).done()) { }
    ~Transaction()
    {
        if (open_) {
            Query(db_, Rollback).done();
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool isOpen() const { return open_; }
    bool commit()
    {
        if (open_ && Query(db_, Commit).done()) {
            open_ = false;
            return true;
        }
        return false;
    }

private:
    Database &db_;
    bool open_;
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

struct StoreFile
{
    std::string path;
    // WAL: a writer does not wait for readers and a commit needs no journal to
    // be synced; the -shm file it needs is why readers without write access to
    // the folder (the machine store) cannot use it.
    bool wal;
};

// Opens an existing database file (never through a link). A file that is not an
// SQLite database, is someone else's, has a schema we do not know or fails its
// check is left alone (nullptr); an empty one gets our schema when it can be written.
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

} // namespace

struct RegistryStore::Impl
{
    struct Root
    {
        StoreFile file;
        mode_t fileMode;
        mode_t dirMode;
        std::unique_ptr<Database> db;
        // Paths of keys known to exist, so that opening them needs no lookup, the way
        // a loaded hive keeps its keys at hand. Another program may delete one
        // meanwhile: then the key was opened just before it was deleted, and every
        // use of it fails, as on Windows.
        std::unordered_set<std::string> known;
        void remember(const std::string &path)
        {
            if (known.size() >= 4096) {
                known.clear();
            }
            known.insert(path);
        }
    };
    struct OpenKey
    {
        RegistryRoot root;
        std::string path; // folded
        // Made by create() and not written yet: the path as given, to make its keys.
        bool pending = false;
        std::string spelled;
    };

    RegistryStoreOptions options;
    Root currentUser;
    Root localMachine;
    std::unordered_map<RegistryKey, OpenKey> keys;
    RegistryKey nextKey = 1;
    std::mutex mutex;

    explicit Impl(RegistryStoreOptions o)
        : options(std::move(o)),
          currentUser { { options.currentUserFile, true }, 0600, 0700, nullptr, {} },
          localMachine { { options.localMachineFile, false }, 0644, 0755, nullptr, {} }
    { }

    Root *rootOf(RegistryRoot root)
    {
        switch (root) {
        case RegistryRoot::CurrentUser:
            return &currentUser;
        case RegistryRoot::LocalMachine:
            return &localMachine;
        default:
            return nullptr; // no store of its own: fails like a missing key
        }
    }

    // The root's database; nullptr while its file does not exist (unless @p create)
    // or cannot be used. A missing or unusable file is looked at again next time.
    Database *database(Root &root, bool create)
    {
        if (root.db) {
            return root.db.get();
        }
        const std::string &file = root.file.path;
        if (file.empty()) {
            return nullptr;
        }
        struct stat st;
        if (::lstat(file.c_str(), &st) != 0) {
            if (errno != ENOENT || !create || !makeParents(file, root.dirMode)) {
                return nullptr;
            }
            const UniqueFd fd(::open(
                file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, root.fileMode));
            if (fd) {
                ::fchmod(fd.get(), root.fileMode); // whatever the umask
            } else if (errno != EEXIST) {
                return nullptr;
            }
        } else if (!S_ISREG(st.st_mode)) {
            return nullptr; // a link, a folder, ...: never written through
        }
        root.db = openDatabase(root.file, options);
        return root.db.get();
    }

    OpenKey *key(RegistryKey handle)
    {
        auto it = keys.find(handle);
        return it == keys.end() ? nullptr : &it->second;
    }

    // The database of an open key, for reading or for writing.
    Database *databaseOf(const OpenKey &k, bool write)
    {
        Root *root = rootOf(k.root);
        Database *db = root ? database(*root, write) : nullptr;
        return db && (!write || db->writable) ? db : nullptr;
    }

    // @p spelled: a created key's path as given, made with its first write;
    // empty for an opened key, which exists already.
    RegistryKey handleFor(RegistryRoot root, std::string path, std::string_view spelled = {})
    {
        const RegistryKey handle = nextKey++;
        const bool pending = !path.empty() && !spelled.empty();
        keys.emplace(handle,
            OpenKey { root, std::move(path), pending, pending ? std::string(spelled) : "" });
        return handle;
    }

    static std::optional<sqlite3_int64> findKey(Database &db, const std::string &path)
    {
        if (path.empty()) {
            return 0;
        }
        Query q(db, FindKey);
        q.bind(1, path);
        if (q.step() != SQLITE_ROW) {
            return std::nullopt;
        }
        return q.integer(0);
    }

    // The id of a pending key, made with the keys missing along its path; inside
    // the caller's transaction.
    static std::optional<sqlite3_int64> makeKeys(Database &db, const OpenKey &k)
    {
        if (auto found = findKey(db, k.path)) {
            return found; // the usual case: one lookup
        }
        const auto names = splitKeyPath(k.spelled);
        if (!names) {
            return std::nullopt;
        }
        sqlite3_int64 id = 0;
        std::string path;
        for (std::string_view name : *names) {
            const std::string fold = upperCase(name);
            path = joinPath(path, fold, '\\');
            if (auto found = findKey(db, path)) {
                id = *found;
                continue;
            }
            Query insert(db, InsertKey);
            insert.bind(1, id).bind(2, name).bind(3, fold).bind(4, path);
            if (!insert.done()) {
                return std::nullopt;
            }
            id = sqlite3_last_insert_rowid(db.handle());
        }
        return id;
    }

    // Makes a pending key on its own (a use other than a write, or its close).
    // Tried once: a failure is the failure of the create.
    void makePending(OpenKey &k)
    {
        if (!std::exchange(k.pending, false)) {
            return;
        }
        Database *db = databaseOf(k, true);
        if (!db) {
            return;
        }
        Transaction tx(*db);
        if (tx.isOpen() && makeKeys(*db, k) && tx.commit()) {
            rootOf(k.root)->remember(k.path);
        }
    }
};

RegistryStoreOptions defaultRegistryStoreOptions()
{
    RegistryStoreOptions options;
    const std::string data = xdgDataHome();
    if (!data.empty()) {
        options.currentUserFile = data + "/portprobe/registry/current-user.db";
    }
    options.localMachineFile = "/var/lib/portprobe/registry/local-machine.db";
    return options;
}

RegistryStore::RegistryStore(RegistryStoreOptions options)
    : impl_(std::make_unique<Impl>(std::move(options)))
{ }

RegistryStore::~RegistryStore() = default;

std::optional<RegistryKey> RegistryStore::open(
    RegistryRoot root, std::string_view subkey, std::uint32_t)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::Root *r = impl_->rootOf(root);
    const auto names = splitKeyPath(subkey);
    if (!r || !names) {
        return std::nullopt;
    }
    std::string path;
    for (std::string_view name : *names) {
        path = joinPath(path, upperCase(name), '\\');
    }
    if (!path.empty() && !r->known.contains(path)) { // the root is there even with no file yet
        Database *db = impl_->database(*r, false);
        if (!db || !Impl::findKey(*db, path)) {
            return std::nullopt;
        }
        r->remember(path);
    }
    return impl_->handleFor(root, std::move(path));
}

std::optional<RegistryKey> RegistryStore::create(
    RegistryRoot root, std::string_view subkey, std::uint32_t)
{
    // Nothing is written yet: the keys are made with the first value written
    // through the handle, so that a write takes the lock once.
    const std::lock_guard lock(impl_->mutex);
    Impl::Root *r = impl_->rootOf(root);
    const auto names = splitKeyPath(subkey);
    if (!r || !names) {
        return std::nullopt;
    }
    Database *db = impl_->database(*r, true);
    if (!db || !db->writable) {
        return std::nullopt;
    }
    std::string path;
    for (std::string_view name : *names) {
        path = joinPath(path, upperCase(name), '\\');
    }
    return impl_->handleFor(root, std::move(path), subkey);
}

std::optional<std::string> RegistryStore::enumName(
    RegistryKey key, std::size_t statement, std::uint32_t index, std::uint32_t bufferChars)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::OpenKey *k = impl_->key(key);
    if (k) {
        impl_->makePending(*k);
    }
    Database *db = k ? impl_->databaseOf(*k, false) : nullptr;
    if (!db) {
        return std::nullopt;
    }
    Query q(*db, static_cast<Stmt>(statement));
    q.bind(1, k->path).bind(2, static_cast<sqlite3_int64>(index));
    if (q.step() != SQLITE_ROW) {
        return std::nullopt;
    }
    std::string name = q.text(0);
    if (static_cast<std::uint32_t>(ansiByteLength(name)) + 1 > bufferChars) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> RegistryStore::enumValue(
    RegistryKey key, std::uint32_t index, std::uint32_t bufferChars)
{
    return enumName(key, ValueAt, index, bufferChars);
}

std::optional<std::string> RegistryStore::enumKey(
    RegistryKey key, std::uint32_t index, std::uint32_t bufferChars)
{
    return enumName(key, SubkeyAt, index, bufferChars);
}

bool RegistryStore::deleteKey(RegistryKey key, std::string_view subkey)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::OpenKey *k = impl_->key(key);
    if (k) {
        impl_->makePending(*k);
    }
    const auto names = splitKeyPath(subkey);
    Database *db = k && names ? impl_->databaseOf(*k, true) : nullptr;
    if (!db) {
        return false;
    }
    std::string path = k->path;
    for (std::string_view name : *names) {
        path = joinPath(path, upperCase(name), '\\');
    }
    Transaction tx(*db);
    const auto id = tx.isOpen() ? Impl::findKey(*db, path) : std::nullopt;
    if (!id || *id == 0) {
        return false;
    }
    {
        Query children(*db, HasSubkeys);
        children.bind(1, *id);
        if (children.step() != SQLITE_DONE) {
            return false; // has subkeys (or the query failed)
        }
    }
    Query values(*db, DeleteKeyValues);
    Query row(*db, DeleteKeyRow);
    if (!values.bind(1, *id).done() || !row.bind(1, *id).done() || !tx.commit()) {
        return false;
    }
    impl_->rootOf(k->root)->known.erase(path);
    return true;
}

bool RegistryStore::deleteValue(RegistryKey key, std::string_view valueName)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::OpenKey *k = impl_->key(key);
    if (k) {
        impl_->makePending(*k);
    }
    Database *db = k && validValueName(valueName) ? impl_->databaseOf(*k, true) : nullptr;
    if (!db) {
        return false;
    }
    const std::string fold = upperCase(valueName);
    Transaction tx(*db);
    const auto id = tx.isOpen() ? Impl::findKey(*db, k->path) : std::nullopt;
    if (!id) {
        return false;
    }
    Query q(*db, DeleteValue);
    return q.bind(1, *id).bind(2, fold).done() && sqlite3_changes(db->handle()) == 1 && tx.commit();
}

std::optional<RegistryValue> RegistryStore::queryValue(
    RegistryKey key, std::string_view valueName, std::uint32_t bufferBytes)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::OpenKey *k = impl_->key(key);
    if (k) {
        impl_->makePending(*k);
    }
    Database *db = k && validValueName(valueName) ? impl_->databaseOf(*k, false) : nullptr;
    if (!db) {
        return std::nullopt;
    }
    const std::string fold = upperCase(valueName);
    Query q(*db, GetValue);
    q.bind(1, k->path).bind(2, fold);
    if (q.step() != SQLITE_ROW) {
        return std::nullopt;
    }
    RegistryValue value { static_cast<std::uint32_t>(q.integer(0)), q.blob(1) };
    if (value.data.size() > bufferBytes) {
        return std::nullopt; // ERROR_MORE_DATA
    }
    return value;
}

bool RegistryStore::setValue(
    RegistryKey key, std::string_view valueName, std::uint32_t type, std::string_view data)
{
    const std::lock_guard lock(impl_->mutex);
    Impl::OpenKey *k = impl_->key(key);
    if (!k) {
        return false;
    }
    if (!validValueName(valueName)
        || data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        impl_->makePending(*k); // the key is made even when its value is refused
        return false;
    }
    Database *db = impl_->databaseOf(*k, true);
    if (!db) {
        return false;
    }
    const std::string fold = upperCase(valueName);
    // One transaction for the key (made when pending) and the value.
    Transaction tx(*db);
    const bool pending = std::exchange(k->pending, false);
    std::optional<sqlite3_int64> id;
    if (tx.isOpen()) {
        id = pending ? Impl::makeKeys(*db, *k) : Impl::findKey(*db, k->path);
    }
    if (!id) {
        return false; // no lock, or the key was deleted meanwhile
    }
    Query q(*db, SetValue);
    q.bind(1, *id)
        .bind(2, valueName)
        .bind(3, fold)
        .bind(4, sqlite3_int64 { type })
        .bindBlob(5, data);
    if (!q.done() || !tx.commit()) {
        return false;
    }
    if (pending) {
        impl_->rootOf(k->root)->remember(k->path);
    }
    return true;
}

void RegistryStore::close(RegistryKey key)
{
    const std::lock_guard lock(impl_->mutex);
    if (Impl::OpenKey *k = impl_->key(key)) {
        impl_->makePending(*k);
    }
    impl_->keys.erase(key);
}

} // namespace platform
