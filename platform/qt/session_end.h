#pragma once
// The end of the user's session as the window system and the operating
// system announce it.

#include <functional>

namespace platform {

/// Calls @p onEnd from the event loop when the operating system ends the
/// program: SIGTERM, SIGHUP or SIGINT (a log-out without session manager,
/// `kill`, a closed terminal, Ctrl+C in it). The signal handler only writes a byte to a pipe; the call
/// itself is an ordinary event on the window thread. A session manager's end
/// arrives as Qt's quit event: @p onEnd runs before Qt closes the windows
/// for it. Call once, after the QApplication exists.
void watchSessionEnd(std::function<void()> onEnd);

} // namespace platform
