#include "forms/QuillFunc_Window.h"

#include "platform/environment.h"
#include "platform/process.h"
#include "platform/screen_metrics.h"
#include "support/QuillFunc_Common.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>
#include <limits>
#include <string>

int gTwipsToPixels(std::int32_t twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel));
}

QRect gTwipsRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    return { gTwipsToPixels(left), gTwipsToPixels(top), gTwipsToPixels(width),
        gTwipsToPixels(height) };
}

QColor gVbColor(std::int32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

std::int32_t gVbColorValue(const QColor &color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

void gSetBackColor(QWidget &widget, std::int32_t value)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, gVbColor(value));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

std::int32_t gGetBackColor(const QWidget &widget)
{
    return gVbColorValue(widget.palette().color(QPalette::Window));
}

QFont gVbFont(double points, bool bold)
{
    QFont font;
    font.setFamilies({ QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
        QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック") });
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QWidget *gMakeMenuClient(
    QWidget &window, std::int32_t widthTwips, std::int32_t heightTwips, QMenuBar *&menuBar)
{
    // The menu bar sits above the designed client area.
    auto *client = new QWidget(&window);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(gTwipsToPixels(widthTwips), gTwipsToPixels(heightTwips));
    auto *frameLayout = new QVBoxLayout(&window);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->setSpacing(0);
    frameLayout->setSizeConstraint(QLayout::SetFixedSize);
    menuBar = new QMenuBar(&window);
    frameLayout->setMenuBar(menuBar);
    frameLayout->addWidget(client);
    return client;
}

QPoint gCalcWindowPosition(std::int32_t screenWidth, std::int32_t screenHeight,
    std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t positionMode)
{
    std::int64_t divisor = 0;
    switch (positionMode) {
    case 0:
        divisor = 2;
        break;
    case 1:
        divisor = 3;
        break;
    default:
        Err().Raise(vberr::InvalidProcedureCall);
    }
    auto difference = [](std::int32_t a, std::int32_t b) {
        std::int64_t d = static_cast<std::int64_t>(a) - b;
        if (d < std::numeric_limits<std::int32_t>::min()
            || d > std::numeric_limits<std::int32_t>::max()) {
            Err().Raise(vberr::Overflow);
        }
        return d;
    };
    // Integer division truncates toward zero, as the placement rule asks.
    std::int64_t top = difference(screenHeight, windowHeight) / divisor;
    std::int64_t left = difference(screenWidth, windowWidth) / 2;
    return { static_cast<int>(left), static_cast<int>(top) };
}

bool gDspWindowPosition(QWidget &form, std::int32_t positionMode)
{
    return gTrap("gDspWindowPosition", [&] {
        form.setWindowState(form.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        std::int32_t screenWidth = 0;
        std::int32_t screenHeight = 0;
        if (!gGetScreenSize(screenWidth, screenHeight)) {
            gGotoErrHandler();
        }
        // The window's outer size, title bar and border included.
        const QRect frame = form.frameGeometry();
        QPoint place = gCalcWindowPosition(screenWidth, screenHeight, frame.width() * TwipsPerPixel,
            frame.height() * TwipsPerPixel, positionMode);
        form.move(gTwipsToPixels(place.x()), gTwipsToPixels(place.y()));
        platform::process().doEvents();
    });
}

namespace {

std::int32_t pixelsToTwips(std::int32_t pixels)
{
    std::int64_t twips = static_cast<std::int64_t>(pixels) * TwipsPerPixel;
    if (twips < std::numeric_limits<std::int32_t>::min()
        || twips > std::numeric_limits<std::int32_t>::max()) {
        Err().Raise(vberr::Overflow);
    }
    return static_cast<std::int32_t>(twips);
}

} // namespace

bool gGetScreenSize(std::int32_t &width, std::int32_t &height)
{
    return gTrap("gGetScreenSize", [&] {
        std::int32_t pixels = 0;
        if (!gGetSystemMetrics(platform::SmCxScreen, pixels)) {
            gGotoErrHandler();
        }
        width = pixelsToTwips(pixels);
        if (!gGetSystemMetrics(platform::SmCyScreen, pixels)) {
            gGotoErrHandler();
        }
        height = pixelsToTwips(pixels);
    });
}

bool gGetSystemMetrics(std::int32_t index, std::int32_t &value)
{
    bool ok = false;
    try {
        auto metric = platform::screenMetrics().systemMetric(index);
        if (metric) {
            value = *metric;
            ok = true;
        } else {
            Err().Raise(vberr::InvalidProcedureCall);
        }
    } catch (...) {
        gCaptureCurrentError();
    }
    if (!ok) {
        gProcErrLog("gGetSystemMetrics", "lngTarget=" + std::to_string(index));
    }
    return ok;
}

std::string gGetAppFilePath(std::string_view relative)
{
    std::string path = gAddBackslash(platform::environment().applicationFolder());
    for (char c : relative) {
        path += c == '/' ? platform::DirSeparator : c;
    }
    return path;
}

QIcon gLoadPicture(const std::string &path)
{
    const QString file = QString::fromStdString(path);
    if (!QFile::exists(file)) {
        Err().Raise(vberr::FileNotFound);
    }
    QIcon icon;
    QImageReader reader(file);
    do {
        QImage image = reader.read();
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    } while (reader.jumpToNextImage());
    if (icon.isNull()) {
        Err().Raise(InvalidPictureError);
    }
    return icon;
}

void gCentreOnScreen(QWidget &form)
{
    const QScreen *screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = form.frameGeometry();
    frame.moveCenter(screen->geometry().center());
    form.move(frame.topLeft());
}
