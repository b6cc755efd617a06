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

    std::optional<RegistryKey> create(
        RegistryRoot root, std::string_view subkey, std::uint32_t samDesired) override
    {
        auto parent = predefinedKey(root);
        if (!parent || hasNul(subkey)) {
            return std::nullopt;
        }
        HKEY key = nullptr;
        if (::RegCreateKeyExA(
                *parent, toAnsi(subkey).c_str(), 0, nullptr, 0, samDesired, nullptr, &key, nullptr)
            != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return reinterpret_cast<RegistryKey>(key);
    }

    std::optional<std::string> enumValue(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) override
    {
        std::string buffer(bufferChars, '\0');
        DWORD length = bufferChars;
        if (key == 0
            || ::RegEnumValueA(
                   toHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return fromAnsi(buffer.substr(0, buffer.find('\0')));
    }

    std::optional<std::string> enumKey(
        RegistryKey key, std::uint32_t index, std::uint32_t bufferChars) override
    {
        std::string buffer(bufferChars, '\0');
        DWORD length = bufferChars;
        if (key == 0
            || ::RegEnumKeyExA(
                   toHkey(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return fromAnsi(buffer.substr(0, buffer.find('\0')));
    }

    bool deleteKey(RegistryKey key, std::string_view subkey) override
    {
        return key != 0 && !hasNul(subkey)
            && ::RegDeleteKeyA(toHkey(key), toAnsi(subkey).c_str()) == ERROR_SUCCESS;
    }

    bool deleteValue(RegistryKey key, std::string_view valueName) override
    {
        return key != 0 && !hasNul(valueName)
            && ::RegDeleteValueA(toHkey(key), toAnsi(valueName).c_str()) == ERROR_SUCCESS;
    }

    std::optional<RegistryValue> queryValue(
        RegistryKey key, std::string_view valueName, std::uint32_t bufferBytes) override
    {
        if (key == 0 || hasNul(valueName)) {
            return std::nullopt;
        }
        RegistryValue value;
        value.data.assign(bufferBytes, '\0');
        DWORD type = 0;
        DWORD size = bufferBytes;
        if (::RegQueryValueExA(toHkey(key), toAnsi(valueName).c_str(), nullptr, &type,
                reinterpret_cast<BYTE *>(value.data.data()), &size)
            != ERROR_SUCCESS) {
            return std::nullopt; // missing, or longer than the buffer
        }
        value.type = type;
        value.data.resize(size);
        return value;
    }

    bool setValue(RegistryKey key, std::string_view valueName, std::uint32_t type,
        std::string_view data) override
    {
        return key != 0 && !hasNul(valueName) && data.size() <= MAXDWORD
            && ::RegSetValueExA(toHkey(key), toAnsi(valueName).c_str(), 0, type,
                   reinterpret_cast<const BYTE *>(data.data()), static_cast<DWORD>(data.size()))
            == ERROR_SUCCESS;
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
