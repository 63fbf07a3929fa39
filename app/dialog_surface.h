// Where the dialogs are shown: in windows on a desktop, else on the terminal.
// VOLTARIS_SURFACE=window|terminal forces one of them.
#pragma once

#include "dlg/surface.h"

#include <memory>
#include <string>

enum class EDialogSurface { Window, Terminal, Refused };

struct CSurfaceChoice {
    EDialogSurface surface = EDialogSurface::Refused;
    bool forced = false;  // by VOLTARIS_SURFACE: no falling back
    std::string error;    // why dialog mode cannot start (Refused), one line
};

// The choice from VOLTARIS_SURFACE (null or empty: not forced), whether a
// display is named (DISPLAY or WAYLAND_DISPLAY), whether stdin and stdout are
// terminals and whether this build has windows.
CSurfaceChoice ChooseDialogSurface(const char* forced, bool display, bool terminal, bool windowsBuilt);

// The choice for this process, from its environment.
CSurfaceChoice ChooseDialogSurface();

// Opens the window surface and installs it; null, with error set, when no
// window can be opened.
std::unique_ptr<CDlgSurface> OpenWindowSurface(std::string& error);

// Opens the terminal surface on stdin and stdout and installs it; null, with
// error set, when the terminal cannot be used.
std::unique_ptr<CDlgSurface> OpenTerminalSurface(std::string& error);

// A start that cannot go on, for a user who started the dialogs from the
// desktop and has no terminal to read stderr on: when the dialogs would be
// windows and one opens, the line in a message box (titled "xHCI Voltaris")
// until it is closed; nothing otherwise.
void ShowFailureInWindow(const std::string& line);
