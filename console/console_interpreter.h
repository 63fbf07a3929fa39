// The console front end, entered when "/C" chose console mode.
#pragma once

#include "trialkit/trialkit.h"

#include <string>

// What the console needs from the program that runs it: a console window to
// open, and the text written to it.
class CConsoleHost {
public:
    virtual ~CConsoleHost() = default;
    virtual void OpenConsole() = 0;
    virtual void WriteConsoleText(const char* text) = 0;
};

// How the console was left.
enum EConsoleExit {
    CONSOLE_EXIT_START_FAILED,  // its own start-up failed
    CONSOLE_EXIT_DONE,          // EXIT, or the end of its input
    CONSOLE_EXIT_TO_DIALOGS,    // GUI: the bench and the switched stack stay for the dialogs
};

// Runs the console until the user leaves it. The user input dialog of the
// support libraries is titled inputTitle meanwhile.
EConsoleExit RunConsoleInterpreter(CConsoleHost& host, CIniArgs stackConfig, std::string text,
                                   const std::string& inputTitle);
