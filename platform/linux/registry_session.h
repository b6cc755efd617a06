#pragma once
// The registry store's state behind its one lock: a database per root, the
// paths of keys known to exist, and the table of open keys. A key made by
// create() stays pending until a use of it commits, so that a create followed
// by a write takes the store's lock once and writes in one transaction.

#include "platform/linux/registry_database.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace platform::registry_db {

/// A key path (may be "") with @p subkey's names added, folded to upper case
/// (the form keys are looked up by); std::nullopt when @p subkey is no valid path.
std::optional<std::string> foldedKeyPath(std::string_view base, std::string_view subkey);

/// Whether a value name is one the registry allows.
bool validValueName(std::string_view name);

/// The id of the key at a folded path (0 for the root); std::nullopt when there is none.
std::optional<sqlite3_int64> findKey(Database &db, const std::string &path);

struct OpenKey
{
    RegistryRoot root;
    std::string path; // folded
    // Made by create() and not written yet: the path as given, to make its keys.
    bool pending = false;
    std::string spelled;
};

/// The id of a pending key, made with the keys missing along its path; inside
/// the caller's transaction.
std::optional<sqlite3_int64> makeKeys(Database &db, const OpenKey &k);

class Session
{
public:
    explicit Session(RegistryStoreOptions options);

    /// Held by every call of the store.
    [[nodiscard]] std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex_); }

    /// RegOpenKeyEx (@p create false) or RegCreateKeyEx: a handle of @p subkey of @p root.
    /// Opening needs the key to exist; creating needs a writable store and writes nothing yet.
    std::optional<RegistryKey> openKey(RegistryRoot root, std::string_view subkey, bool create);
    /// The open key of @p handle; nullptr for none.
    OpenKey *key(RegistryKey handle);
    /// The open key of @p handle for any use but a write: made first when pending.
    OpenKey *use(RegistryKey handle);
    /// Makes a pending key on its own; a failure (the lock timed out) leaves it pending,
    /// so that the handle's next use tries again.
    void makePending(OpenKey &k);
    /// The database of an open key, for reading or for writing; nullptr when unusable.
    Database *databaseOf(const OpenKey &k, bool write);
    /// The key at a folded path of @p root exists (remember) or is gone (forget).
    void remember(RegistryRoot root, const std::string &path);
    void forget(RegistryRoot root, const std::string &path);
    /// Closes a handle, making its key first when pending.
    void close(RegistryKey handle);

private:
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
    };

    Root *rootOf(RegistryRoot root);
    Database *database(Root &root, bool create);
    /// @p spelled: a created key's path as given, made with its first write;
    /// empty for an opened key, which exists already.
    RegistryKey handleFor(RegistryRoot root, std::string path, std::string_view spelled = {});

    RegistryStoreOptions options_;
    Root currentUser_;
    Root localMachine_;
    std::unordered_map<RegistryKey, OpenKey> keys_;
    RegistryKey nextKey_ = 1;
    std::mutex mutex_;
};

} // namespace platform::registry_db
