#pragma once
// QuillFunc_Window: screen metrics and window placement, plus the window
// layer's conversions between twips, pixels, colour values and fonts.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>

#include <cstdint>
#include <string>
#include <string_view>

QT_BEGIN_NAMESPACE
class QMenuBar;
class QWidget;
QT_END_NAMESPACE

/// Twips per (device-independent) pixel: 1440 twips per inch at 96 dots per inch.
inline constexpr int TwipsPerPixel = 15;

/// Colour values as the program stores and compares them (red in the low byte).
inline constexpr std::int32_t vbRed = 255;
inline constexpr std::int32_t vbGreen = 65280;
inline constexpr std::int32_t vbBlue = 16711680;

/// Run-time error of a file that holds no picture.
inline constexpr std::int32_t InvalidPictureError = 481;

/// @p twips in pixels, rounded to the nearest pixel.
int gTwipsToPixels(std::int32_t twips);

/// A rectangle given in twips (left, top, width, height), in pixels.
QRect gTwipsRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

/// The colour of value @p value (0x00BBGGRR).
QColor gVbColor(std::int32_t value);

/// The value (0x00BBGGRR) of @p color.
std::int32_t gVbColorValue(const QColor &color);

/// Paints @p widget's background with colour value @p value.
void gSetBackColor(QWidget &widget, std::int32_t value);

/// The colour value of @p widget's background.
std::int32_t gGetBackColor(const QWidget &widget);

/// The windows' font "ＭＳ ゴシック" at @p points, falling back to IPA Gothic
/// where it is not installed, so Japanese text never turns into boxes.
QFont gVbFont(double points, bool bold = false);

/// Lays out @p window as a menu bar over a designed client area of
/// @p widthTwips by @p heightTwips, at a fixed size.
/// @returns the client area, to place the window's controls on; @p menuBar
/// receives the bar.
QWidget *gMakeMenuClient(
    QWidget &window, std::int32_t widthTwips, std::int32_t heightTwips, QMenuBar *&menuBar);

/// Left and top, in twips, that place a window of @p windowWidth by
/// @p windowHeight on a screen of @p screenWidth by @p screenHeight: centred
/// across, and down by half (mode 0) or a third (mode 1) of the free height,
/// truncated toward zero. Negative when the window is the larger.
/// Raises run-time error 5 for any other mode and 6 on 32-bit overflow.
QPoint gCalcWindowPosition(std::int32_t screenWidth, std::int32_t screenHeight,
    std::int32_t windowWidth, std::int32_t windowHeight, std::int32_t positionMode);

/// Moves @p form to the place of @p positionMode (see gCalcWindowPosition)
/// without resizing it.
/// @returns true when done; on failure reports "gDspWindowPosition" and answers false.
bool gDspWindowPosition(QWidget &form, std::int32_t positionMode);

/// The primary screen's size in twips.
/// @returns true when done; on failure reports "gGetScreenSize" and answers
/// false (the outs may already have changed).
bool gGetScreenSize(std::int32_t &width, std::int32_t &height);

/// Screen metric @p index (0 width, 1 height, in pixels) into @p value.
/// @returns true when done; on failure reports "gGetSystemMetrics" and answers false.
bool gGetSystemMetrics(std::int32_t index, std::int32_t &value);

/// The path of @p relative (parts separated by "/") in the application folder.
std::string gGetAppFilePath(std::string_view relative);

/// All images of the picture file @p path (each size of an icon file).
/// Raises run-time error 53 when the file is missing and 481 when it holds no
/// readable picture.
QIcon gLoadPicture(const std::string &path);

/// Puts @p form in the middle of the screen it is on.
void gCentreOnScreen(QWidget &form);
