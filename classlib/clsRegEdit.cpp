#include "classlib/clsRegEdit.h"

#include "platform/codepage.h"
#include "platform/registry.h"

#include <functional>
#include <optional>

namespace {

// Query value, set value, create subkey, enumerate subkeys, notify, create link.
constexpr std::uint32_t AccessMask = 63;
constexpr std::uint32_t NameBufferChars = 80;
constexpr std::uint32_t StringBufferChars = 4096;
constexpr std::uint32_t BinaryBufferBytes = 4096;

// The key, opened (or created) for one member and closed when it is done.
class Key
{
public:
    Key(std::int32_t regKey, const std::string &subKey, bool create)
        : registry_(platform::registry())
    {
        if (auto root = platform::registryRootFromHandle(static_cast<std::uint32_t>(regKey))) {
            key_ = create ? registry_.create(*root, subKey, AccessMask)
                          : registry_.open(*root, subKey, AccessMask);
        }
    }
    ~Key()
    {
        if (key_) {
            registry_.close(*key_);
        }
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;

    explicit operator bool() const { return key_.has_value(); }
    platform::RegistryKey operator*() const { return *key_; }
    platform::Registry *operator->() const { return &registry_; }

private:
    platform::Registry &registry_;
    std::optional<platform::RegistryKey> key_;
};

using Enumerator = std::optional<std::string> (platform::Registry::*)(
    platform::RegistryKey, std::uint32_t, std::uint32_t);

std::int32_t enumerate(const Key &key, Enumerator next, std::vector<std::string> &names)
{
    if (!key) {
        return 0;
    }
    std::int32_t count = 0;
    while (auto name = std::invoke(
               next, *key.operator->(), *key, static_cast<std::uint32_t>(count), NameBufferChars)) {
        names.resize(static_cast<std::size_t>(count) + 1);
        names.back() = std::move(*name);
        ++count;
    }
    return count;
}

std::string littleEndian(std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    return { static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
        static_cast<char>((bits >> 16) & 0xFF), static_cast<char>(bits >> 24) };
}

} // namespace

std::int32_t clsRegEdit::EnumValueName(std::vector<std::string> &strlpEnumValueName) const
{
    return enumerate(
        Key(regKey_, subKey_, false), &platform::Registry::enumValue, strlpEnumValueName);
}

std::int32_t clsRegEdit::EnumSubKey(std::vector<std::string> &strlpEnumKey) const
{
    return enumerate(Key(regKey_, subKey_, false), &platform::Registry::enumKey, strlpEnumKey);
}

bool clsRegEdit::DeleteSubKey(std::string_view strSubKey) const
{
    const Key key(regKey_, subKey_, false);
    return key && key->deleteKey(*key, strSubKey);
}

bool clsRegEdit::DeleteValueName(std::string_view strValueName) const
{
    const Key key(regKey_, subKey_, false);
    return key && key->deleteValue(*key, strValueName);
}

std::string clsRegEdit::GetString(std::string_view strValueName, std::string_view strDefault) const
{
    const Key key(regKey_, subKey_, false);
    if (!key) {
        return std::string(strDefault);
    }
    // The type the registry reports is not looked at: the bytes up to the first NUL.
    const auto value = key->queryValue(*key, strValueName, StringBufferChars);
    if (!value) {
        return std::string(strDefault);
    }
    return platform::fromAnsi(std::string_view(value->data).substr(0, value->data.find('\0')));
}

bool clsRegEdit::SetString(std::string_view strValueName, std::string_view strNewValue) const
{
    const Key key(regKey_, subKey_, true);
    if (!key) {
        return false;
    }
    std::string bytes = platform::toAnsi(strNewValue);
    bytes += '\0';
    return key->setValue(*key, strValueName, platform::RegSz, bytes);
}

std::int32_t clsRegEdit::GetDWORD(std::string_view strValueName, std::int32_t lngDefault) const
{
    const Key key(regKey_, subKey_, false);
    if (!key) {
        return lngDefault;
    }
    const auto value = key->queryValue(*key, strValueName, 4);
    if (!value) {
        return lngDefault;
    }
    // The value is read into the default's four bytes: a shorter one replaces
    // only its first (low) bytes.
    std::string bytes = littleEndian(lngDefault);
    bytes.replace(0, value->data.size(), value->data);
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    }
    return static_cast<std::int32_t>(number);
}

bool clsRegEdit::SetDWORD(std::string_view strValueName, std::int32_t lngNewValue) const
{
    const Key key(regKey_, subKey_, true);
    return key && key->setValue(*key, strValueName, platform::RegDword, littleEndian(lngNewValue));
}

std::int32_t clsRegEdit::GetBinary(
    std::string_view strValueName, std::vector<std::uint8_t> &bytValue) const
{
    bytValue.clear();
    const Key key(regKey_, subKey_, false);
    if (!key) {
        return 0;
    }
    const auto value = key->queryValue(*key, strValueName, BinaryBufferBytes);
    if (!value) {
        return 0;
    }
    bytValue.assign(value->data.begin(), value->data.end());
    return static_cast<std::int32_t>(bytValue.size());
}

bool clsRegEdit::SetBinary(std::string_view strValueName, const std::vector<std::uint8_t> &bytValue,
    std::int32_t lngValueLen) const
{
    const Key key(regKey_, subKey_, true);
    // Only bytes the array holds are written: an empty array, or a length beyond
    // it or below zero, fails instead of reading past its end.
    if (!key || bytValue.empty() || lngValueLen < 0
        || static_cast<std::size_t>(lngValueLen) > bytValue.size()) {
        return false;
    }
    return key->setValue(*key, strValueName, platform::RegBinary,
        std::string_view(reinterpret_cast<const char *>(bytValue.data()),
            static_cast<std::size_t>(lngValueLen)));
}
