#include "platform/linux/registry_store.h"

namespace platform {

// One store per process: each root's database stays open once used, the way a
// loaded hive stays loaded.
template<> Registry &Seam<Registry>::defaultInstance()
{
    static RegistryStore instance(defaultRegistryStoreOptions());
    return instance;
}

} // namespace platform
