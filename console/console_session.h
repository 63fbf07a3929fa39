// What one run of the console holds, shared by the interpreter and the test
// commands: the console's input and output, the last result, the token list
// and the records that the listing commands show.
#pragma once

#include "bench/bus_model.h"
#include "os/console.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The result of a console command, judged by its sign as the driving program
// reads it from the status file: CONSOLE_OK, CONSOLE_E_FAILED, or the bench
// result or component status the command ended with, passed on as it is.
enum EConsoleResult : int32_t {
    CONSOLE_OK = 0,
    CONSOLE_E_FAILED = static_cast<int32_t>(0x80000000u),  // a failure with no code of its own
};
constexpr EConsoleResult ConsoleResult(EBenchResult result) { return static_cast<EConsoleResult>(result); }
constexpr EConsoleResult ConsoleResult(BLSTATUS status) { return static_cast<EConsoleResult>(status); }

enum EConsoleRead {
    CONSOLE_READ_LINE,      // a line was read (it may give no token)
    CONSOLE_READ_TOO_LONG,  // the line was too long and was discarded
    CONSOLE_READ_END,       // end of input, or the program was asked to end
};

class CConsoleSession {
public:
    // All console output goes through write; lines come from read, the
    // console's input by default.
    using ConsoleWriter = std::function<void(const char* text)>;
    using LineReader = std::function<EOSReadResult(char* buffer, size_t capacity, size_t* length)>;
    explicit CConsoleSession(ConsoleWriter write, LineReader read = {});
    ~CConsoleSession();
    CConsoleSession(const CConsoleSession&) = delete;
    CConsoleSession& operator=(const CConsoleSession&) = delete;

    void Write(const char* text);
    // Formats one line, whole, and writes it to the console.
    void WriteLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Formats one line, whole, and appends it to the information file.
    void AppendInfo(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes to the information file as WriteInfoLine does, keeping the first
    // failure until TakeInfoFailure.
    void WriteInfo(const std::string& text, bool truncate);
    // What kept the information file from being written whole since the last
    // call; empty when nothing did.
    std::string TakeInfoFailure();

    // Shows the prompt, marks the status file READY (UNSUCCESSFUL when
    // lastResult is negative), reads one line, marks it BUSY and splits the
    // line into tokens; count receives their number.
    EConsoleRead ReadCommandLine(const char* prompt, std::vector<std::string>& tokens, int& count,
                                 EConsoleResult lastResult);
    // The same without touching the status file: a question asked in the
    // middle of a command, which stays busy meanwhile.
    EConsoleRead ReadAnswer(const char* prompt, std::vector<std::string>& tokens);

    // True once the input has ended or the program was asked to end; no
    // further line is read then.
    bool InputEnded() const { return m_ended; }

    EConsoleResult LastResult = CONSOLE_OK;
    std::vector<std::string> Tokens;
    int TokenCount = 0;
    std::vector<HostRecord> Hosts;
    std::vector<HubRecord> Hubs;
    std::vector<DeviceRecord> Devices;

private:
    EConsoleRead ReadLine(const char* prompt, std::vector<std::string>& tokens, int& count, bool setStatus,
                          EConsoleResult lastResult);

    ConsoleWriter m_write;
    LineReader m_read;
    bool m_ended = false;
    std::string m_infoFailure;
};
