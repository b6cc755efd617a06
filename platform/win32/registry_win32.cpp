#include "platform/registry.h"

#include "platform/codepage.h"

#include <windows.h>

namespace platform {
namespace {

std::optional<HKEY> predefinedKey(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    case RegistryRoot::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    }
    return std::nullopt;
}

HKEY toHkey(RegistryKey key)
{
    return reinterpret_cast<HKEY>(key);
}

bool hasNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

class Win32Registry final : public Registry
{
public:
    std::optional<RegistryKey> open(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) override
    {
        auto parent = predefinedKey(root);
        if (!parent || hasNul(subkey)) {
            return std::nullopt;
        }
        std::string name = toAnsi(subkey);
        HKEY key = nullptr;
        LONG rc = ::RegOpenKeyExA(*parent, name.c_str(), 0, samDesired, &key);
        constexpr REGSAM ReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY
            | KEY_WOW64_32KEY | KEY_WOW64_64KEY;
        if (rc == ERROR_ACCESS_DENIED && (samDesired & ~ReadRights) != 0) {
            // A standard user may not write under HKEY_LOCAL_MACHINE, and a 64-bit
            // program gets no registry virtualisation to hide that: open with the
            // read rights asked for, so reads work and writes fail where they happen.
            rc = ::RegOpenKeyExA(*parent, name.c_str(), 0, samDesired & ReadRights, &key);
        }
        if (rc != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return reinterpret_cast<RegistryKey>(key);
    }

    std::optional<std::string> queryString(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferChars) override
    {
        if (key == 0 || hasNul(valueName)) {
            return std::nullopt;
        }
        std::string buffer(bufferChars, '\0');
        DWORD type = REG_SZ;
        DWORD size = bufferChars;
        LONG rc = ::RegQueryValueExA(toHkey(key), toAnsi(valueName).c_str(), nullptr, &type,
            reinterpret_cast<BYTE *>(buffer.data()), &size);
        if (rc != ERROR_SUCCESS) {
            return std::nullopt; // missing, or longer than the buffer
        }
        // Numbers or binary data read as text would be garbage: only text counts.
        if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
            return std::nullopt;
        }
        return fromAnsi(buffer.substr(0, buffer.find('\0')));
    }

    std::optional<std::int32_t> queryDword(RegistryKey key, std::string_view valueName) override
    {
        if (key == 0 || hasNul(valueName)) {
            return std::nullopt;
        }
        DWORD value = 0;
        DWORD type = REG_DWORD;
        DWORD size = sizeof value;
        LONG rc = ::RegQueryValueExA(toHkey(key), toAnsi(valueName).c_str(), nullptr, &type,
            reinterpret_cast<BYTE *>(&value), &size);
        if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(value);
    }

    void close(RegistryKey key) override
    {
        if (key != 0) {
            ::RegCloseKey(toHkey(key));
        }
    }
};

} // namespace

template<> Registry &Seam<Registry>::defaultInstance()
{
    static Win32Registry instance;
    return instance;
}

} // namespace platform
