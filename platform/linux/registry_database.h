#pragma once
// The registry store's connection to one database file: the schema, the
// prepared statements, opening with its checks, and the lock-wait rule. The
// store's operations (registry_store.cpp) go through Query and Transaction.

#include "platform/linux/registry_store.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform::registry_db {

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

// Waiting for another program's write lock. The holder changes the store's
// files (database, WAL, journal) with each commit, so a caller keeps waiting
// while they change and gives up only when they have stood still for
// `stuckAfter` (a holder that hung or was stopped), or after `limit` in all.
// Short, jittered sleeps let a waiter get in between a busy writer's commits.
class LockWait
{
public:
    LockWait(const std::string &file, int stuckAfterMs, int limitMs);

    /// The connection's busy handler: nonzero to try the lock again.
    static int handler(void *self, int count);

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

    Stamps look() const;
    bool again(int count);

    std::array<std::string, 3> files_;
    Clock::duration stuckAfter_;
    Clock::duration limit_;
    std::minstd_rand random_;
    Clock::time_point started_;
    Clock::time_point changed_;
    Stamps stamps_ {};
};

// One connection to a store file, with its statements prepared once.
class Database
{
public:
    Database(sqlite3 *db, LockWait wait);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return db_; }
    bool writable = false;

    sqlite3_stmt *statement(Stmt which);

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

struct StoreFile
{
    std::string path;
    // WAL: a writer does not wait for readers and a commit needs no journal to
    // be synced; the -shm file it needs is why readers without write access to
    // the folder (the machine store) cannot use it.
    bool wal;
};

/// Whether store file @p file can be opened: it is a regular file, or it was
/// missing and (with @p create) is made now, empty, with @p fileMode and its
/// missing folders with @p dirMode (whatever the umask). A link, a folder or
/// anything else is never written through.
bool prepareStoreFile(const std::string &file, bool create, mode_t fileMode, mode_t dirMode);

// Opens an existing database file (never through a link). A file that is not an
// SQLite database, is someone else's, has a schema we do not know or fails its
// check is left alone (nullptr); an empty one gets our schema when it can be written.
std::unique_ptr<Database> openDatabase(const StoreFile &store, const RegistryStoreOptions &options);

} // namespace platform::registry_db
