// The registry's operations (open, create, enumerate, query, set, delete)
// over one SQLite store per root; the connection and the schema are
// registry_database.cpp's. Keys and values keep Windows' names, limits and
// results; every write is one transaction, so a killed writer leaves the
// store as it was before or after, never between.

#include "platform/linux/registry_store.h"
#include "platform/linux/registry_database.h"
#include "platform/linux/xdg.h"

#include "platform/codepage.h"
#include "platform/shared/path_join.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace platform {
using namespace registry_db;

namespace {

// The registry's own limits, in characters.
constexpr std::size_t MaxKeyNameChars = 255;
constexpr std::size_t MaxValueNameChars = 16383;

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
        if (file.empty() || !prepareStoreFile(file, create, root.fileMode, root.dirMode)) {
            return nullptr;
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
