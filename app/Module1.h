#pragma once
// Module1: the program's start, its settings file and its last clean-up step.

#include <string>

/// The entry point: refuses a second copy, quiets the library error log and
/// shows the main window. The program then lives in the window's handlers.
void Main();

/// Reads the vendor and product ID texts from the settings file ("1352" and
/// "100" where missing or empty).
/// @returns true; a failure ends the program through the fatal path.
bool gGetSettingData(std::string &vendor, std::string &product);

/// Writes the vendor and product ID texts to the settings file as they are.
/// @returns true; a failure ends the program through the fatal path.
bool gSetSettingData(const std::string &vendor, const std::string &product);

/// The session ends (a signal, a log-out): the main window closes as the
/// user's close does (unload, settings saved, end window, status 0). Without
/// a main window the program ends at once with status 0. A failure on the
/// way is logged and ends with status 1 without a box (gbooSessionEnding).
void gEndSession();

/// The end window's clean-up step; everything was released by its owners already.
/// @returns true.
bool gProcEndProcess();

/// The settings file's path for writing, and where reading looks first.
/// It is "setting.ini" in the application folder while that folder is
/// writable, otherwise the same name in the user's own settings folder.
std::string gGetSettingFileName();
