#pragma once
// The start of both programs: the toolkit, the window-system services, Main
// and the event loop.

/// Runs the program; returns the process status (the program normally ends
/// from its end window instead).
int gRunProgram(int argc, char **argv);

/// Compiles the pictures into whichever program links the window library.
void gInitPictures();
