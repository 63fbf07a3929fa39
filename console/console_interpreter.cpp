// Stand-in until the console commands land: opens the console, says so and
// reports a failed console start-up.
#include "console/console_interpreter.h"

#include "app/voltaris_app.h"

void RunConsoleInterpreter(CVoltarisApp& app, CIniArgs, std::string) {
    app.OpenConsole();
    app.WriteConsoleText("- xHCI Voltaris - \n\n Console mode is not available in this build\n");
}
