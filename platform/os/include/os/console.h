// The console: the process's own terminal or pipes (stdin and stdout).
#pragma once

#include <cstddef>
#include <sys/types.h>

// Opens the console for console mode (stdin and stdout of the process).
void OSAllocConsole();
// Releases the console; the process's descriptors stay open.
void OSFreeConsole();
// "/?" writes into the console it was started from: true when stdout is open.
bool OSAttachParentConsole();
// Sets the terminal's title, only when stdout is a terminal.
void OSSetConsoleTitle(const char* title);
int OSStdInput();
int OSStdOutput();

// Writes all bytes to stdout at once, unbuffered.
void OSWriteConsole(const char* text, size_t length);

// Drops input typed ahead at a terminal; input arriving through a pipe is kept.
void OSFlushConsoleInput();

enum EOSReadResult {
    OS_READ_LINE,         // a line (with its line end, when it had one)
    OS_READ_TOO_LONG,     // the line did not fit; it was read to its end and dropped
    OS_READ_END,          // end of input
    OS_READ_INTERRUPTED,  // a termination signal arrived
};

// Reads one line into buffer (at most capacity bytes, no NUL added); length
// receives the bytes stored.
EOSReadResult OSReadConsoleLine(char* buffer, size_t capacity, size_t* length);
