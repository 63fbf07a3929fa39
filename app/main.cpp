// Process entry. The three process-wide objects are built before main in
// this order and destroyed in reverse: the single-instance guard, the title
// of the console's user-input object, and the application object.
#include "app/voltaris_app.h"

CLimitSingleInstance g_SingleInstanceGuard(L"{6F1C2A54-3B7E-4D19-9A0E-5C2B8D7E41A3}");
const std::string g_TimedCommandLineTitle = "Timed Command Line Mode";
CVoltarisApp theApp;

int main(int argc, char** argv) {
    theApp.SetCommandLine(std::vector<std::string>(argv, argv + argc));
    theApp.InitInstance();
    return theApp.ExitCode();
}
