#include "promptkit/promptkit.h"

void InitHelperDialogs(CWinApp*) {}
void GuiInterfaceSetWinApp() {}
void CleanupHelperDialogs() {}
