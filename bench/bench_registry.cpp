// GetString and SetString through clsRegEdit (open or create the key, read or
// write, close, as every call does) beside bare prepared SQLite statements doing
// the same work on the same database: the key by its path, then the value; a
// write is one transaction in WAL mode with synchronous=NORMAL, as the current
// user's store keeps it. Goals: at most 1.5 times; SetString at most 50 us.
#include "classlib/clsRegEdit.h"
#include "platform/linux/registry_store.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string SubKey = "Software\\PORTPROBE bench\\Settings\\Window";
const std::string ValueName = "Caption";

struct Store
{
    std::string folder;
    platform::RegistryStoreOptions options;
    Store()
    {
        std::string dir = (std::filesystem::temp_directory_path() / "pp-bench-XXXXXX").string();
        folder = ::mkdtemp(dir.data());
        options.currentUserFile = folder + "/current-user.db";
        platform::RegistryStore store(options);
        platform::ScopedSeam<platform::Registry> use(store);
        clsRegEdit reg;
        reg.RegKey(clsRegEdit::CurrentUser);
        for (int i = 0; i < 50; ++i) { // some neighbours, so lookups are not trivial
            reg.SubKey("Software\\PORTPROBE bench\\Other " + std::to_string(i));
            reg.SetString(ValueName, "other");
        }
        reg.SubKey(SubKey);
        reg.SetString("First", "1");
        reg.SetString(ValueName, "PORTPROBE test console");
    }
    ~Store()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

const Store &store()
{
    static const Store instance;
    return instance;
}

void BM_clsRegEdit_GetString(benchmark::State &state)
{
    platform::RegistryStore registry(store().options); // opened once per process and root
    platform::ScopedSeam<platform::Registry> use(registry);
    clsRegEdit reg;
    reg.RegKey(clsRegEdit::CurrentUser);
    reg.SubKey(SubKey);
    for (auto _ : state) {
        std::string text = reg.GetString(ValueName, "default");
        benchmark::DoNotOptimize(text);
    }
    if (reg.GetString(ValueName, "default") != "PORTPROBE test console") {
        state.SkipWithError("wrong value");
    }
}
BENCHMARK(BM_clsRegEdit_GetString);

void BM_Bare_GetString(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(store().options.currentUserFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt *findKey = nullptr;
    sqlite3_stmt *getValue = nullptr;
    sqlite3_prepare_v3(db, "SELECT id FROM keys WHERE path = ?1", -1, SQLITE_PREPARE_PERSISTENT,
        &findKey, nullptr);
    sqlite3_prepare_v3(db, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", -1,
        SQLITE_PREPARE_PERSISTENT, &getValue, nullptr);
    const std::string path = "SOFTWARE\\PORTPROBE BENCH\\SETTINGS\\WINDOW";
    const std::string name = "CAPTION";
    std::string check;
    for (auto _ : state) {
        std::string text = "default";
        sqlite3_bind_text(findKey, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
        if (sqlite3_step(findKey) == SQLITE_ROW) {
            sqlite3_bind_int64(getValue, 1, sqlite3_column_int64(findKey, 0));
            sqlite3_bind_text(
                getValue, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
            if (sqlite3_step(getValue) == SQLITE_ROW) {
                const auto *p = static_cast<const char *>(sqlite3_column_blob(getValue, 1));
                text.assign(p, static_cast<std::size_t>(sqlite3_column_bytes(getValue, 1)));
                text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
            }
            sqlite3_reset(getValue);
        }
        sqlite3_reset(findKey);
        benchmark::DoNotOptimize(text);
        check = std::move(text);
    }
    sqlite3_finalize(findKey);
    sqlite3_finalize(getValue);
    sqlite3_close(db);
    if (check != "PORTPROBE test console") {
        state.SkipWithError("wrong value");
    }
}
BENCHMARK(BM_Bare_GetString);

void BM_clsRegEdit_SetString(benchmark::State &state)
{
    platform::RegistryStore registry(store().options);
    platform::ScopedSeam<platform::Registry> use(registry);
    clsRegEdit reg;
    reg.RegKey(clsRegEdit::CurrentUser);
    reg.SubKey(SubKey);
    bool ok = true;
    for (auto _ : state) {
        ok = reg.SetString(ValueName, "PORTPROBE test console") && ok;
    }
    if (!ok || reg.GetString(ValueName, "default") != "PORTPROBE test console") {
        state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_clsRegEdit_SetString);

void BM_Bare_SetString(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(store().options.currentUserFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(
        db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    const char *sql[] = { "BEGIN IMMEDIATE", "SELECT id FROM keys WHERE path = ?1",
        "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, 1, ?4) "
        "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
        "COMMIT" };
    sqlite3_stmt *stmt[4] = {};
    for (int i = 0; i < 4; ++i) {
        sqlite3_prepare_v3(db, sql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmt[i], nullptr);
    }
    const std::string path = "SOFTWARE\\PORTPROBE BENCH\\SETTINGS\\WINDOW";
    const std::string fold = "CAPTION";
    const std::string text("PORTPROBE test console", sizeof "PORTPROBE test console");
    bool ok = true;
    for (auto _ : state) {
        ok = sqlite3_step(stmt[0]) == SQLITE_DONE && ok;
        sqlite3_reset(stmt[0]);
        sqlite3_bind_text(stmt[1], 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
        ok = sqlite3_step(stmt[1]) == SQLITE_ROW && ok;
        sqlite3_bind_int64(stmt[2], 1, sqlite3_column_int64(stmt[1], 0));
        sqlite3_reset(stmt[1]);
        sqlite3_bind_text(
            stmt[2], 2, ValueName.data(), static_cast<int>(ValueName.size()), SQLITE_STATIC);
        sqlite3_bind_text(stmt[2], 3, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
        sqlite3_bind_blob(stmt[2], 4, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        ok = sqlite3_step(stmt[2]) == SQLITE_DONE && ok;
        sqlite3_reset(stmt[2]);
        ok = sqlite3_step(stmt[3]) == SQLITE_DONE && ok;
        sqlite3_reset(stmt[3]);
    }
    for (sqlite3_stmt *s : stmt) {
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    if (!ok) {
        state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_Bare_SetString);

} // namespace
