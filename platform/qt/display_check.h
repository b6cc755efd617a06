#pragma once
// Whether the window system the toolkit is about to use can be reached, asked
// before Qt starts: Qt aborts when its platform plugin cannot connect.

#include <string>

namespace platform {

/// True when an X server answers at @p display (DISPLAY's syntax) and lets
/// this user in. The connection stays open until closeDisplayProbes: an X
/// server resets when its last client leaves, and would refuse the toolkit's
/// own connection meanwhile.
bool x11DisplayUsable(const std::string &display);

/// Closes what the probes left open; call once the toolkit is connected.
void closeDisplayProbes();

/// True when a Wayland compositor listens at @p display (WAYLAND_DISPLAY: a
/// socket name in XDG_RUNTIME_DIR, or an absolute path).
bool waylandDisplayUsable(const std::string &display);

/// True when Qt's platform plugin for Wayland is installed.
bool waylandPluginInstalled();

} // namespace platform
