#include "console/console_session.h"

#include "console/command_line.h"
#include "console/status_files.h"
#include "os/console.h"
#include "os/signals.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {

// Formats a whole line, however long: a record cut short would still end in
// a line end and read as complete to the program parsing it.
std::string FormatLine(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string text(static_cast<size_t>(needed), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

}  // namespace

// A long wait inside a request (a controller coming back after a test mode)
// shows one dot per second.
CConsoleSession::CConsoleSession(ConsoleWriter write, LineReader read)
    : m_write(std::move(write)), m_read(read ? std::move(read) : LineReader(OSReadConsoleLine)) {
    SetProgressSink([](void* session) { static_cast<CConsoleSession*>(session)->Write("."); }, this);
}

CConsoleSession::~CConsoleSession() { SetProgressSink(nullptr, nullptr); }

void CConsoleSession::Write(const char* text) { m_write(text); }

void CConsoleSession::WriteLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLine(format, args);
    va_end(args);
    Write(line.c_str());
}

void CConsoleSession::AppendInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLine(format, args);
    va_end(args);
    WriteInfo(line, false);
}

void CConsoleSession::WriteInfo(const std::string& text, bool truncate) {
    std::string failure;
    if (!WriteInfoLine(text, truncate, &failure) && m_infoFailure.empty()) m_infoFailure = failure;
}

std::string CConsoleSession::TakeInfoFailure() { return std::exchange(m_infoFailure, {}); }

EConsoleRead CConsoleSession::ReadCommandLine(const char* prompt, std::vector<std::string>& tokens, int& count,
                                              EConsoleResult lastResult) {
    return ReadLine(prompt, tokens, count, true, lastResult);
}

EConsoleRead CConsoleSession::ReadAnswer(const char* prompt, std::vector<std::string>& tokens) {
    int count = 0;
    return ReadLine(prompt, tokens, count, false, CONSOLE_OK);
}

EConsoleRead CConsoleSession::ReadLine(const char* prompt, std::vector<std::string>& tokens, int& count, bool setStatus,
                                       EConsoleResult lastResult) {
    tokens.clear();
    count = 0;
    Write("\n");
    Write(prompt);
    OSFlushConsoleInput();
    if (setStatus) WriteStatusFile(lastResult < 0 ? STATUS_UNSUCCESSFUL : STATUS_READY);

    char line[CONSOLE_LINE_BUFFER];
    size_t length = 0;
    EOSReadResult read = OS_READ_END;
    if (!m_ended && OSTerminationSignal() == 0) read = m_read(line, sizeof line, &length);
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
