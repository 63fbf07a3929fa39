// The console: the process's own terminal or pipes (stdin and stdout).
#pragma once

#include <cstddef>
#include <string>
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
// Writes all bytes to fd, going on after partial writes and signals. False
// when they could not all be written: the reader went away (no SIGPIPE is
// raised), another error, or a termination signal interrupted a write that
// was blocked.
bool OSWriteAll(int fd, const char* data, size_t length);

// Drops input typed ahead at a terminal; input arriving through a pipe is kept.
void OSFlushConsoleInput();

enum EOSReadResult {
    OS_READ_LINE,         // a line (with its line end, when it had one)
    OS_READ_TOO_LONG,     // the line did not fit; it was read to its end and dropped
    OS_READ_END,          // end of input
    OS_READ_INTERRUPTED,  // a termination signal arrived
};

// Reads one line from stdin into buffer (at most capacity bytes, no NUL
// added); length receives the bytes stored. A line ends after its "\n" (a
// "\r" before it stays); a last line without one is still a line. A line
// that needs more than capacity bytes is OS_READ_TOO_LONG with nothing
// stored. A termination signal ends the wait at once (OS_READ_INTERRUPTED);
// other signals do not.
EOSReadResult OSReadConsoleLine(char* buffer, size_t capacity, size_t* length);

// Reads lines from one descriptor the way OSReadConsoleLine reads stdin (it
// uses one of these). Input is read ahead into a buffer, so lines written
// ahead through a pipe are all kept for the following calls. For one thread
// at a time.
class COSLineReader {
public:
    explicit COSLineReader(int fd) : m_fd(fd) {}
    EOSReadResult ReadLine(char* buffer, size_t capacity, size_t* length);
    // Drops input typed ahead when fd is a terminal; keeps anything else.
    void FlushTypeAhead();

private:
    // Waits for input and appends it to m_pending: OS_READ_LINE when bytes
    // came, OS_READ_END at the end of input, or OS_READ_INTERRUPTED.
    EOSReadResult Fill();

    int m_fd;
    std::string m_pending;      // read but not yet returned
    bool m_discarding = false;  // inside a line that was too long
};
