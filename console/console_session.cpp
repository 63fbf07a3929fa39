#include "console/console_session.h"

#include "console/command_line.h"
#include "console/status_files.h"
#include "benchline/backend.h"
#include "os/console.h"
#include "os/signals.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Formats into a 256-byte buffer. A line that would not fit is cut, and keeps
// its line end so that the next line still starts on a line of its own.
void FormatInto(char (&buffer)[256], const char* format, va_list args) {
    int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
    size_t length = std::char_traits<char>::length(format);
    if (needed >= static_cast<int>(sizeof buffer) && length > 0 && format[length - 1] == '\n') {
        buffer[sizeof buffer - 2] = '\n';
    }
}

}  // namespace

// A long wait inside a request (a controller coming back after a test mode)
// shows one dot per second.
CConsoleSession::CConsoleSession(ConsoleWriter write) : m_write(std::move(write)) {
    BLSetProgressSink([](void* session) { static_cast<CConsoleSession*>(session)->Write("."); }, this);
}

CConsoleSession::~CConsoleSession() { BLSetProgressSink(nullptr, nullptr); }

void CConsoleSession::Write(const char* text) { m_write(text); }

void CConsoleSession::WriteLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatInto(m_lineBuffer, format, args);
    va_end(args);
    Write(m_lineBuffer);
}

void CConsoleSession::AppendInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatInto(m_lineBuffer, format, args);
    va_end(args);
    WriteInfoLine(m_lineBuffer, false);
}

EConsoleRead CConsoleSession::ReadCommandLine(const char* prompt, std::vector<std::string>& tokens, int& count,
                                              int32_t lastResult) {
    return ReadLine(prompt, tokens, count, true, lastResult);
}

EConsoleRead CConsoleSession::ReadAnswer(const char* prompt, std::vector<std::string>& tokens) {
    int count = 0;
    return ReadLine(prompt, tokens, count, false, 0);
}

EConsoleRead CConsoleSession::ReadLine(const char* prompt, std::vector<std::string>& tokens, int& count,
                                       bool setStatus, int32_t lastResult) {
    tokens.clear();
    count = 0;
    Write("\n");
    Write(prompt);
    OSFlushConsoleInput();
    if (setStatus) WriteStatusFile(lastResult < 0 ? STATUS_UNSUCCESSFUL : STATUS_READY);

    char line[CONSOLE_LINE_BUFFER];
    size_t length = 0;
    EOSReadResult read = OS_READ_END;
    if (!m_ended && OSTerminationSignal() == 0) read = OSReadConsoleLine(line, sizeof line, &length);
    if (setStatus) WriteStatusFile(STATUS_BUSY);

    if (read == OS_READ_END || read == OS_READ_INTERRUPTED) {
        m_ended = true;
        return CONSOLE_READ_END;
    }
    if (read == OS_READ_TOO_LONG || !SplitConsoleLine(std::string_view(line, length), tokens)) {
        Write("\n  Command line too long\n");
        return CONSOLE_READ_TOO_LONG;
    }
    count = static_cast<int>(tokens.size());
    return CONSOLE_READ_LINE;
}
