// The dialog front end's main dialog, run modally between the stack switch
// and its restore.
#pragma once

// Runs the main dialog until the user closes it.
void RunMainDialog();
