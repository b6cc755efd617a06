#pragma once
// The start of both programs: the toolkit, the window-system services, Main
// and the event loop.

#include <functional>
#include <optional>
#include <string>

/// Runs the program; returns the process status (the program normally ends
/// from its end window instead). @p afterStart runs once the main window is
/// up, before the event loop (the demo opens its board window there).
int gRunProgram(int argc, char **argv, const std::function<void()> &afterStart = {});

/// Closes the program as the user's close does when the session ends it
/// (SIGTERM, SIGHUP, SIGINT, log-out). Call once the QApplication exists.
void gInstallSessionEndHandler();

/// Compiles the pictures into whichever program links the window library.
void gInitPictures();

/// How the window system is reached, asked before Qt starts (Qt aborts when
/// its platform plugin cannot connect).
struct DisplayProbes
{
    std::function<bool(const std::string &)> x11; ///< an X server lets us in at DISPLAY
    std::function<bool(const std::string &)> wayland; ///< a compositor at WAYLAND_DISPLAY
    std::function<bool()> waylandPlugin; ///< Qt's Wayland plugin is installed
};

struct DisplayChoice
{
    std::string platform; ///< QT_QPA_PLATFORM to use; empty: leave it as it is
    std::string problem; ///< which display could not be opened, and why
    bool noDisplay = false; ///< no display is named at all
};

/// Picks the display: an explicit QT_QPA_PLATFORM of xcb or wayland must be
/// reachable, others are left to Qt; otherwise Wayland where it is set, its
/// plugin installed and a compositor listens, else X11 where an X server lets
/// us in. @p variable reads the environment.
DisplayChoice gChooseDisplay(
    const std::function<std::optional<std::string>(const char *)> &variable,
    const DisplayProbes &probes);
