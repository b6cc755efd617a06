#pragma once
// The window system's versions of the message box, process and window-handle services.

namespace platform {

/// Makes message boxes real Qt dialogs and lets "pending window events run
/// once" drive Qt's event loop; outside Windows it also vouches for the
/// program's own windows as window handles. Call once, after the
/// QApplication exists.
void installQtSeams();

} // namespace platform
