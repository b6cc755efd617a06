#pragma once
// The registry on Linux: a SQLite database per root (current user, local
// machine), shared with other programs that use it at the same time. See
// docs/stand-ins.md, "The registry store (Linux)".

#include "platform/registry.h"

#include <memory>
#include <string>

namespace platform {
namespace registry_db {
class Session;
}

struct RegistryStoreOptions
{
    /// Database of HKEY_CURRENT_USER; created, with its folder (0700), on the first write.
    std::string currentUserFile;
    /// Database of HKEY_LOCAL_MACHINE; created on the first write (by root: folder
    /// 0755, file 0644), read by everyone.
    std::string localMachineFile;
    /// A call waiting for another program's lock fails when the store has not
    /// changed for this long (the holder is stuck) ...
    int stuckAfterMs = 5000;
    /// ... or when it has waited this long in all, however busy the others are.
    int waitLimitMs = 60000;
};

/// The store's places: $XDG_DATA_HOME/portprobe/registry/current-user.db (else
/// ~/.local/share/...) and /var/lib/portprobe/registry/local-machine.db.
RegistryStoreOptions defaultRegistryStoreOptions();

/// A key made by create() is written together with the first value set through
/// it (one transaction); otherwise at its first other use or when it is closed.
/// A use whose commit fails (the lock timed out) leaves it to the next one.
class RegistryStore final : public Registry
{
public:
    explicit RegistryStore(RegistryStoreOptions options);
    ~RegistryStore() override;
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    std::optional<RegistryKey> open(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) override;
    std::optional<RegistryKey> create(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) override;
    std::optional<std::string> enumValue(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) override;
    std::optional<std::string> enumKey(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) override;
    bool deleteKey(RegistryKey key, std::string_view subkey) override;
    bool deleteValue(RegistryKey key, std::string_view valueName) override;
    std::optional<RegistryValue> queryValue(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferBytes) override;
    bool setValue(RegistryKey key, std::string_view valueName, std::uint32_t type,
        std::string_view data) override;
    void close(RegistryKey key) override;

private:
    /// The name at @p index of a key's values or subkeys (the statement says which).
    std::optional<std::string> enumName(
        RegistryKey key, std::size_t statement, std::uint32_t index, std::uint32_t bufferChars);
    std::unique_ptr<registry_db::Session> session_;
};

} // namespace platform
