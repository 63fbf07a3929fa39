// Promptkit: helper dialogs of the support libraries. The program calls these
// at fixed points of start-up and shut-down; on this platform they have no
// visible effect.
#pragma once

class CWinApp;

void InitHelperDialogs(CWinApp* app);
void GuiInterfaceSetWinApp();
void CleanupHelperDialogs();
