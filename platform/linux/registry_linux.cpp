#include "platform/registry.h"

namespace platform {
namespace {

// Linux has no registry: none of the keys the program reads exists, so every
// open fails the way RegOpenKeyExA does for a missing key.
class AbsentRegistry final : public Registry
{
public:
    std::optional<RegistryKey> open(RegistryRoot, std::string_view, std::uint32_t) override
    {
        return std::nullopt;
    }
    std::optional<std::string> queryString(RegistryKey, std::string_view, std::uint32_t) override
    {
        return std::nullopt;
    }
    std::optional<std::int32_t> queryDword(RegistryKey, std::string_view) override
    {
        return std::nullopt;
    }
    void close(RegistryKey) override { }
};

} // namespace

template<> Registry &Seam<Registry>::defaultInstance()
{
    static AbsentRegistry instance;
    return instance;
}

} // namespace platform
