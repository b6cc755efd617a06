#include "platform/msgbox.h"

#include <cstdio>

namespace platform {
namespace {

// Without a window system the box goes to standard error and counts as
// answered with OK, so nothing the user should have seen is lost.
class StderrMessageBox final : public MessageBox
{
public:
    std::int32_t show(const MessageBoxRequest &request) override
    {
        std::fprintf(stderr, "[%s]\n%s\n", request.caption.c_str(), request.text.c_str());
        std::fflush(stderr);
        return IdOk;
    }
};

} // namespace

template<> MessageBox &Seam<MessageBox>::defaultInstance()
{
    static StderrMessageBox instance;
    return instance;
}

} // namespace platform
