#include "support/QuillFunc_REG.h"

#include "support/ErrObject.h"

namespace {

// KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS
// | KEY_NOTIFY | KEY_CREATE_LINK
constexpr std::uint32_t AccessMask = 63;
constexpr std::uint32_t StringBufferChars = 256;

class OpenKey
{
public:
    OpenKey(platform::Registry &registry, platform::RegistryKey key)
        : registry_(registry), key_(key)
    { }
    ~OpenKey() { registry_.close(key_); }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;
    platform::RegistryKey get() const { return key_; }

private:
    platform::Registry &registry_;
    platform::RegistryKey key_;
};

bool isBlank(const std::string &text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

RegValue gSetRegValue(platform::RegistryRoot root, std::string_view subkey,
    std::string_view valueName, std::int32_t valueType, const RegValue &defaultValue)
{
    RegValue result = defaultValue;
    gTrap("gSetRegValue", [&] {
        platform::Registry &registry = platform::registry();
        const std::optional<platform::RegistryKey> handle = registry.open(root, subkey, AccessMask);
        if (!handle) {
            return;
        }
        {
            const OpenKey key(registry, *handle);
            if (valueType == platform::RegSz) {
                if (auto text = registry.queryString(key.get(), valueName, StringBufferChars)) {
                    result = *text;
                }
            } else if (valueType == platform::RegDword) {
                if (auto number = registry.queryDword(key.get(), valueName)) {
                    result = *number;
                }
            }
        }
        if (valueType == platform::RegSz) {
            if (const auto *text = std::get_if<std::string>(&result); text && isBlank(*text)) {
                result = std::string();
            }
        }
    });
    return result;
}
