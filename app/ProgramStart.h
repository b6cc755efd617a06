#pragma once
// The start of both programs: the toolkit, the window-system services, Main
// and the event loop.

#include <functional>

/// Runs the program; returns the process status (the program normally ends
/// from its end window instead). @p afterStart runs once the main window is
/// up, before the event loop (the demo opens its board window there).
int gRunProgram(int argc, char **argv, const std::function<void()> &afterStart = {});

/// Closes the program as the user's close does when the session ends it
/// (SIGTERM, SIGHUP, log-out). Call once the QApplication exists.
void installSessionEndHandler();

/// Compiles the pictures into whichever program links the window library.
void gInitPictures();
