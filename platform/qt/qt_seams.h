#pragma once
// The window system's versions of the message box and process services.

namespace platform {

/// Makes message boxes real Qt dialogs and lets "pending window events run
/// once" drive Qt's event loop. Call once, after the QApplication exists.
void installQtSeams();

} // namespace platform
