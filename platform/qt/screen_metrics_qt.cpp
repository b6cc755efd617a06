#include "platform/screen_metrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {
namespace {

// Qt answers in device-independent pixels, which is what the program's
// 15-twips-per-pixel arithmetic expects on any display density.
class QtScreenMetrics final : public ScreenMetrics
{
public:
    std::optional<std::int32_t> systemMetric(std::int32_t index) const override
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen) {
            return std::nullopt;
        }
        switch (index) {
        case SmCxScreen:
            return screen->size().width();
        case SmCyScreen:
            return screen->size().height();
        default:
            return std::nullopt;
        }
    }
};

} // namespace

template<> ScreenMetrics &Seam<ScreenMetrics>::defaultInstance()
{
    static QtScreenMetrics instance;
    return instance;
}

} // namespace platform
