// The console front end, entered when "/C" chose console mode.
#pragma once

#include "trialkit/trialkit.h"

#include <string>

class CVoltarisApp;

// Runs the console until the user leaves it; on return app.Mode says what
// happens next: MODE_GUI (hand over to the dialogs), MODE_EXIT, or
// MODE_CONSOLE when the console's own start-up failed.
void RunConsoleInterpreter(CVoltarisApp& app, CIniArgs stackConfig, std::string text);
