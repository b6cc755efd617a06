#include "hid_rigs_hidraw.h"
#include "link_test_base.h"

#include <csignal>

std::vector<Backend> linkBackends()
{
    return { Backend::Sim, Backend::Hidraw };
}

std::unique_ptr<rigs::Rig> makeRig(Backend backend, std::uint32_t waitLimitMs)
{
    if (backend == Backend::Sim) {
        return std::make_unique<rigs::SimRig>();
    }
    // A board thread that has gone away must not end the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    return std::make_unique<rigs::HidrawRig>(waitLimitMs);
}

std::string backendName(Backend backend)
{
    return backend == Backend::Sim ? "Sim" : "Hidraw";
}
