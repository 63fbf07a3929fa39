// Drives a running "voltaris /C" the way an automation program does: it
// waits until CLStatus.txt reads READY or UNSUCCESSFUL, writes the next
// command, and reads CLInformation.txt. The console runs on pipes or on a
// pseudo-terminal; its output is collected all along, so it never blocks on
// a full pipe.
//
// Before each command the client empties CLStatus.txt, so the READY it then
// waits for can only come from the prompt after that command, never from the
// prompt before it.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct CConsoleClientOptions {
    std::string Binary;                              // the voltaris program
    std::vector<std::string> Arguments = {"/C"};     // after the program name
    std::string WorkingDirectory;                    // where the status files are
    std::map<std::string, std::string> Environment;  // added to the client's own
    bool Terminal = false;                           // a pseudo-terminal instead of pipes
};

class CConsoleClient {
public:
    explicit CConsoleClient(const CConsoleClientOptions& options);
    ~CConsoleClient();
    CConsoleClient(const CConsoleClient&) = delete;
    CConsoleClient& operator=(const CConsoleClient&) = delete;

    // Waits until the status file holds one of the words (without its CR LF);
    // returns that word, or "" after the timeout or when the console ended
    // without writing one.
    std::string WaitForStatus(const std::vector<std::string>& words,
                              std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits for a prompt: READY or UNSUCCESSFUL.
    std::string WaitForPrompt(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Empties the status file (without creating it).
    void ClearStatus();
    // Empties the status file and writes the line with a line end.
    void Send(const std::string& line);
    // Writes bytes as they are (no status file change, no line end).
    void SendRaw(const std::string& bytes);
    // Send and WaitForPrompt.
    std::string Command(const std::string& line);

    // Raw bytes of the two files.
    std::string Status() const;
    std::string Information() const;

    // Console output since the last call (all of it on the first call).
    std::string TakeOutput();
    // Waits until the console output so far contains text (output is kept).
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void CloseInput();
    void Signal(int signo);
    // Waits for the program to end; its exit status, 128 + N after signal N,
    // -1 after the timeout (the program is then killed).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    void Pump(int timeoutMs);
    void Reap();
    std::string File(const char* name) const { return m_directory + "/" + name; }

    std::string m_directory;
    int m_pid = -1;
    int m_input = -1;   // pipe to stdin, or the terminal's master side
    int m_output = -1;  // pipe from stdout, or the same master side
    int m_watch = -1;   // inotify on the working directory
    bool m_reaped = false;
    int m_status = -1;
    std::string m_all;
    size_t m_taken = 0;
};
