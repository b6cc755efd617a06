// The registry store's databases, known keys and open handles. The names
// keep Windows' limits and folding; a key made by create() is written with
// its first use, each time in one transaction, so a killed writer leaves the
// store as it was before or after.

#include "platform/linux/registry_session.h"

#include "platform/codepage.h"
#include "platform/shared/path_join.h"

#include <utility>
#include <vector>

namespace platform::registry_db {
namespace {

// The registry's own limits, in characters.
constexpr std::size_t MaxKeyNameChars = 255;
constexpr std::size_t MaxValueNameChars = 16383;
// Known key paths kept per root before the set starts over.
constexpr std::size_t MaxKnownKeys = 4096;

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

} // namespace

std::optional<std::string> foldedKeyPath(std::string_view base, std::string_view subkey)
{
    const auto names = splitKeyPath(subkey);
    if (!names) {
        return std::nullopt;
    }
    std::string path(base);
    for (std::string_view name : *names) {
        path = joinPath(path, upperCase(name), '\\');
    }
    return path;
}

bool validValueName(std::string_view name)
{
    return name.find('\0') == std::string_view::npos && characterCount(name) <= MaxValueNameChars;
}

std::optional<sqlite3_int64> findKey(Database &db, const std::string &path)
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

std::optional<sqlite3_int64> makeKeys(Database &db, const OpenKey &k)
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

Session::Session(RegistryStoreOptions options)
    : options_(std::move(options)),
      currentUser_ { { options_.currentUserFile, true }, 0600, 0700, nullptr, {} },
      localMachine_ { { options_.localMachineFile, false }, 0644, 0755, nullptr, {} }
{ }

Session::Root *Session::rootOf(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::CurrentUser:
        return &currentUser_;
    case RegistryRoot::LocalMachine:
        return &localMachine_;
    default:
        return nullptr; // no store of its own: fails like a missing key
    }
}

// The root's database; nullptr while its file does not exist (unless @p create)
// or cannot be used. A missing or unusable file is looked at again next time.
Database *Session::database(Root &root, bool create)
{
    if (root.db) {
        return root.db.get();
    }
    const std::string &file = root.file.path;
    if (file.empty() || !prepareStoreFile(file, create, root.fileMode, root.dirMode)) {
        return nullptr;
    }
    root.db = openDatabase(root.file, options_);
    return root.db.get();
}

std::optional<RegistryKey> Session::openKey(RegistryRoot root, std::string_view subkey, bool create)
{
    Root *r = rootOf(root);
    auto path = r ? foldedKeyPath({}, subkey) : std::nullopt;
    if (!path) {
        return std::nullopt;
    }
    if (create) {
        // Nothing is written yet: the keys are made with the first value written
        // through the handle, so that a write takes the lock once.
        Database *db = database(*r, true);
        if (!db || !db->writable) {
            return std::nullopt;
        }
        return handleFor(root, std::move(*path), subkey);
    }
    if (!path->empty() && !r->known.contains(*path)) { // the root is there even with no file yet
        Database *db = database(*r, false);
        if (!db || !findKey(*db, *path)) {
            return std::nullopt;
        }
        remember(root, *path);
    }
    return handleFor(root, std::move(*path));
}

RegistryKey Session::handleFor(RegistryRoot root, std::string path, std::string_view spelled)
{
    const RegistryKey handle = nextKey_++;
    const bool pending = !path.empty() && !spelled.empty();
    keys_.emplace(
        handle, OpenKey { root, std::move(path), pending, pending ? std::string(spelled) : "" });
    return handle;
}

OpenKey *Session::key(RegistryKey handle)
{
    auto it = keys_.find(handle);
    return it == keys_.end() ? nullptr : &it->second;
}

OpenKey *Session::use(RegistryKey handle)
{
    OpenKey *k = key(handle);
    if (k) {
        makePending(*k);
    }
    return k;
}

Database *Session::databaseOf(const OpenKey &k, bool write)
{
    Root *root = rootOf(k.root);
    Database *db = root ? database(*root, write) : nullptr;
    return db && (!write || db->writable) ? db : nullptr;
}

void Session::makePending(OpenKey &k)
{
    if (!k.pending) {
        return;
    }
    Database *db = databaseOf(k, true);
    if (!db) {
        return;
    }
    Transaction tx(*db);
    if (tx.isOpen() && makeKeys(*db, k) && tx.commit()) {
        k.pending = false; // only now: a lock that timed out leaves it to the next use
        remember(k.root, k.path);
    }
}

void Session::remember(RegistryRoot root, const std::string &path)
{
    Root *r = rootOf(root);
    if (r->known.size() >= MaxKnownKeys) {
        r->known.clear();
    }
    r->known.insert(path);
}

void Session::forget(RegistryRoot root, const std::string &path)
{
    rootOf(root)->known.erase(path);
}

void Session::close(RegistryKey handle)
{
    use(handle);
    keys_.erase(handle);
}

} // namespace platform::registry_db
