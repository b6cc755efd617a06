#include "link_test_base.h"

#include <stdexcept>

// Windows has no hidraw: the shared scenarios run on the virtual board.
std::vector<Backend> linkBackends()
{
    return { Backend::Sim };
}

std::unique_ptr<rigs::Rig> makeRig(Backend backend, std::uint32_t)
{
    if (backend != Backend::Sim) {
        throw std::invalid_argument("no hidraw backend on this system");
    }
    return std::make_unique<rigs::SimRig>();
}

std::string backendName(Backend)
{
    return "Sim";
}
