#include "platform/registry.h"

#include "platform/codepage.h"

namespace platform {

std::optional<RegistryRoot> registryRootFromHandle(std::uint32_t handle)
{
    for (RegistryRoot root : { RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser,
             RegistryRoot::LocalMachine, RegistryRoot::Users, RegistryRoot::CurrentConfig }) {
        if (static_cast<std::uint32_t>(root) == handle) {
            return root;
        }
    }
    return std::nullopt;
}

std::optional<std::string> Registry::queryString(
    RegistryKey key, std::string_view valueName, std::uint32_t bufferChars)
{
    auto value = queryValue(key, valueName, bufferChars);
    // Numbers or binary data read as text would be garbage: only text counts.
    if (!value
        || (value->type != RegSz && value->type != RegExpandSz && value->type != RegMultiSz)) {
        return std::nullopt;
    }
    return fromAnsi(std::string_view(value->data).substr(0, value->data.find('\0')));
}

std::optional<std::int32_t> Registry::queryDword(RegistryKey key, std::string_view valueName)
{
    auto value = queryValue(key, valueName, 4);
    if (!value || value->type != RegDword || value->data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) { // the registry keeps numbers little-endian
        number =
            (number << 8) | static_cast<unsigned char>(value->data[static_cast<std::size_t>(i)]);
    }
    return static_cast<std::int32_t>(number);
}

} // namespace platform
