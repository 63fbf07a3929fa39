#include "os/console.h"

#include "os/signals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr size_t OS_READ_CHUNK = 4096;

COSLineReader& ConsoleReader() {
    static COSLineReader reader(STDIN_FILENO);
    return reader;
}

// Waits until fd has input (or an end or error to report). False when a
// termination signal asked the program to end. All signals are blocked from
// the check of the flag until ppoll waits with the caller's mask, so a
// signal that arrives in between still ends the wait.
bool WaitReadable(int fd) {
    sigset_t all, caller;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &caller);
    int ready = 0;
    while (ready <= 0 && OSTerminationSignal() == 0) {
        pollfd entry{fd, POLLIN, 0};
        ready = ppoll(&entry, 1, nullptr, &caller);
        if (ready < 0 && errno != EINTR) ready = 1;  // let read() report the error
    }
    pthread_sigmask(SIG_SETMASK, &caller, nullptr);
    return ready > 0;
}

}  // namespace

void OSAllocConsole() {}  // the console is the process's own stdin and stdout
void OSFreeConsole() {}
bool OSAttachParentConsole() { return fcntl(STDOUT_FILENO, F_GETFD) != -1; }
int OSStdInput() { return STDIN_FILENO; }
int OSStdOutput() { return STDOUT_FILENO; }

void OSSetConsoleTitle(const char* title) {
    if (!title || !isatty(STDOUT_FILENO)) return;
    std::string escape = "\033]0;";
    for (const char* p = title; *p; ++p) {
        // A control character would end the escape early or start another.
        if (static_cast<unsigned char>(*p) >= 0x20 && *p != 0x7F) escape += *p;
    }
    escape += '\007';
    OSWriteAll(STDOUT_FILENO, escape.data(), escape.size());
}

bool OSWriteAll(int fd, const char* data, size_t length) {
    // SIGPIPE is held back while writing, so a reader that went away ends the
    // write instead of the program (which still has to restore the driver stack).
    sigset_t pipeOnly, caller, pending;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &caller);
    sigpending(&pending);
    bool pipeWasPending = sigismember(&pending, SIGPIPE);

    bool complete = true;
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n >= 0) {
            data += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR && OSTerminationSignal() == 0) continue;
        if (errno == EAGAIN) {
            pollfd entry{fd, POLLOUT, 0};
            if (poll(&entry, 1, -1) >= 0 || (errno == EINTR && OSTerminationSignal() == 0)) continue;
        }
        if (errno == EPIPE && !pipeWasPending) {
            timespec now{};
            sigtimedwait(&pipeOnly, nullptr, &now);  // take back the SIGPIPE this write raised
        }
        complete = false;
        break;
    }
    pthread_sigmask(SIG_SETMASK, &caller, nullptr);
    return complete;
}

void OSWriteConsole(const char* text, size_t length) {
    if (text) OSWriteAll(STDOUT_FILENO, text, length);
}

void OSFlushConsoleInput() { ConsoleReader().FlushTypeAhead(); }

EOSReadResult OSReadConsoleLine(char* buffer, size_t capacity, size_t* length) {
    return ConsoleReader().ReadLine(buffer, capacity, length);
}

void COSLineReader::FlushTypeAhead() {
    // Input from a pipe or file may be commands written ahead by another
    // program; only a terminal's type-ahead is dropped.
    if (!isatty(m_fd)) return;
    tcflush(m_fd, TCIFLUSH);
    m_pending.clear();
    m_discarding = false;
}

EOSReadResult COSLineReader::Fill() {
    char chunk[OS_READ_CHUNK];
    for (;;) {
        if (!WaitReadable(m_fd)) return OS_READ_INTERRUPTED;
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_pending.append(chunk, static_cast<size_t>(n));
            return OS_READ_LINE;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return OS_READ_END;  // the end, or an error such as a terminal that went away
    }
}

EOSReadResult COSLineReader::ReadLine(char* buffer, size_t capacity, size_t* length) {
    *length = 0;
    size_t searched = 0;
    for (;;) {
        size_t end = m_pending.find('\n', searched);
        if (end != std::string::npos) {
            size_t size = end + 1;
            bool fits = !m_discarding && size <= capacity;
            if (fits) {
                std::memcpy(buffer, m_pending.data(), size);
                *length = size;
            }
            m_pending.erase(0, size);
            m_discarding = false;
            return fits ? OS_READ_LINE : OS_READ_TOO_LONG;
        }
        if (m_pending.size() > capacity) {
            m_discarding = true;  // only where the line ends matters now
            m_pending.clear();
        }
        searched = m_pending.size();
        EOSReadResult filled = Fill();
        if (filled == OS_READ_INTERRUPTED) return filled;
        if (filled == OS_READ_END) {
            if (m_discarding) {
                m_discarding = false;
                return OS_READ_TOO_LONG;
            }
            if (m_pending.empty()) return OS_READ_END;
            std::memcpy(buffer, m_pending.data(), m_pending.size());
            *length = m_pending.size();
            m_pending.clear();
            return OS_READ_LINE;
        }
    }
}
