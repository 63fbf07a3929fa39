// Termination signals (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) end the program through its
// normal shut-down, so the driver stack is always restored: the handler only
// records the signal, blocking reads return early (no SA_RESTART), and the
// front ends leave their loops when they see it.
#pragma once

// Installs the handlers; call once at start-up.
void OSInstallTerminationHandlers();

// The signal that asked the program to end, or 0.
int OSTerminationSignal();
