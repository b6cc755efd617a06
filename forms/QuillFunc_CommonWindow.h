#pragma once
// QuillFunc_Common, window side: showing, sizing and titling windows, the
// second-copy check and the program's end sequence.

#include <QtGlobal>

#include <cstdint>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

/// Shows @p form modeless (@p showMode 0) or modal (1). A modal show returns
/// once the window has closed. A modeless one is then sized to @p sizeRate of
/// the screen when @p resize is set, and placed by @p positionMode (0 centred,
/// 1 upper third, 9 left where it is).
/// @returns true when done; on failure reports "gDspForm" and answers false.
bool gDspForm(
    QWidget &form, std::int32_t positionMode, std::int32_t showMode, bool resize, float sizeRate);

/// Sizes @p form to @p sizeRate of the screen's width and height.
/// @returns true when done; on failure reports "gDspWindowSize" and answers false.
bool gDspWindowSize(QWidget &form, float sizeRate);

/// Adds the application title to @p form's caption: after it in mode 0,
/// before it in mode 1, five spaces between; other modes change nothing.
/// @returns true, always.
bool gSetFormCaption(QWidget &form, std::int32_t captionMode);

/// Ends the program at once when another copy of it is running, telling the
/// user first only when @p showMessage is set. Returns when this is the only copy.
void gChkDoubleStarting(bool showMessage);

/// Shows the end window (the registered EndProgramCalls::showEndWindow, as the
/// window lives in the layer above), which ends the program after two seconds.
/// @returns true once the end window has closed (only where ending the
/// process returns, as under test); a failure is logged as "gProcEndProgram"
/// and the program ends at once.
bool gProcEndProgram();

/// Blocks the thread for @p milliseconds.
/// @returns true when it waited; false at once for a negative value.
bool gProcSleep(std::int32_t milliseconds);

/// The status the process ends with from the end window: 0 normally.
int gEndProgramExitCode();
void gSetEndProgramExitCode(int exitCode);
