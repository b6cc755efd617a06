#include "platform/process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace platform {
namespace {

class PosixProcess final : public Process
{
public:
    void sleep(std::int32_t milliseconds) override
    {
        if (milliseconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    }
    void doEvents() override { }
    void terminate(int exitCode) override
    {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
};

} // namespace

template<> Process &Seam<Process>::defaultInstance()
{
    static PosixProcess instance;
    return instance;
}

} // namespace platform
