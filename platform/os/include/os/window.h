// Finding a running instance by its window title and asking it to come
// forward. A window registers its title while it exists; another process
// finds it by that title.
#pragma once

// Registers title for this process (idempotent; released at process end).
void OSRegisterWindow(const char* title);
// True when a process has registered title.
bool OSFindWindow(const char* title);
// Ask the window with that title to show itself, come to the top and take the
// foreground. Each returns false when no such window exists.
bool OSShowWindow(const char* title);
bool OSBringWindowToTop(const char* title);
bool OSSetForegroundWindow(const char* title);
// True when requests to come forward reached one of this process's
// registered windows since the last call (the three requests of one second
// start usually count once); never blocks.
bool OSTakeRaiseRequest();
