// The registry's operations (open, create, enumerate, query, set, delete)
// over one SQLite store per root; the connection and the schema are
// registry_database.cpp's, the open keys registry_session.cpp's. Keys and
// values keep Windows' names, limits and results; every write is one
// transaction, so a killed writer leaves the store as it was before or
// after, never between.

#include "platform/linux/registry_store.h"
#include "platform/linux/registry_database.h"
#include "platform/linux/registry_session.h"
#include "platform/linux/xdg.h"

#include "platform/codepage.h"

#include <sqlite3.h>

#include <limits>
#include <utility>

namespace platform {
using namespace registry_db;

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
    : session_(std::make_unique<Session>(std::move(options)))
{ }

RegistryStore::~RegistryStore() = default;

std::optional<RegistryKey> RegistryStore::open(
    RegistryRoot root, std::string_view subkey, std::uint32_t)
{
    const auto lock = session_->lock();
    return session_->openKey(root, subkey, false);
}

std::optional<RegistryKey> RegistryStore::create(
    RegistryRoot root, std::string_view subkey, std::uint32_t)
{
    const auto lock = session_->lock();
    return session_->openKey(root, subkey, true);
}

std::optional<std::string> RegistryStore::enumName(
    RegistryKey key, std::size_t statement, std::uint32_t index, std::uint32_t bufferChars)
{
    const auto lock = session_->lock();
    OpenKey *k = session_->use(key);
    Database *db = k ? session_->databaseOf(*k, false) : nullptr;
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
    const auto lock = session_->lock();
    OpenKey *k = session_->use(key);
    const auto path = k ? foldedKeyPath(k->path, subkey) : std::nullopt;
    Database *db = path ? session_->databaseOf(*k, true) : nullptr;
    if (!db) {
        return false;
    }
    Transaction tx(*db);
    const auto id = tx.isOpen() ? findKey(*db, *path) : std::nullopt;
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
    session_->forget(k->root, *path);
    return true;
}

bool RegistryStore::deleteValue(RegistryKey key, std::string_view valueName)
{
    const auto lock = session_->lock();
    OpenKey *k = session_->use(key);
    Database *db = k && validValueName(valueName) ? session_->databaseOf(*k, true) : nullptr;
    if (!db) {
        return false;
    }
    const std::string fold = upperCase(valueName);
    Transaction tx(*db);
    const auto id = tx.isOpen() ? findKey(*db, k->path) : std::nullopt;
    if (!id) {
        return false;
    }
    Query q(*db, DeleteValue);
    return q.bind(1, *id).bind(2, fold).done() && sqlite3_changes(db->handle()) == 1 && tx.commit();
}

std::optional<RegistryValue> RegistryStore::queryValue(
    RegistryKey key, std::string_view valueName, std::uint32_t bufferBytes)
{
    const auto lock = session_->lock();
    OpenKey *k = session_->use(key);
    Database *db = k && validValueName(valueName) ? session_->databaseOf(*k, false) : nullptr;
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
    const auto lock = session_->lock();
    OpenKey *k = session_->key(key);
    if (!k) {
        return false;
    }
    if (!validValueName(valueName)
        || data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        session_->makePending(*k); // the key is made even when its value is refused
        return false;
    }
    Database *db = session_->databaseOf(*k, true);
    if (!db) {
        return false;
    }
    const std::string fold = upperCase(valueName);
    // One transaction for the key (made when pending) and the value.
    Transaction tx(*db);
    std::optional<sqlite3_int64> id;
    if (tx.isOpen()) {
        id = k->pending ? makeKeys(*db, *k) : findKey(*db, k->path);
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
        return false; // a pending key stays pending: the next use makes it
    }
    if (std::exchange(k->pending, false)) {
        session_->remember(k->root, k->path);
    }
    return true;
}

void RegistryStore::close(RegistryKey key)
{
    const auto lock = session_->lock();
    session_->close(key);
}

} // namespace platform
