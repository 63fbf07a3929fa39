// Runs the built programs as a user would: with an environment, in a working
// directory, on pipes or on a pseudo-terminal.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct CProcessResult {
    int ExitStatus = -1;  // exit code, or 128 + signal when killed by one
    std::string Out;
    std::string Err;
};

struct CProcessOptions {
    std::vector<std::string> Arguments;              // program first
    std::map<std::string, std::string> Environment;  // added to (or replacing) the test's own
    std::vector<std::string> Unset;                  // removed from the environment
    std::string WorkingDirectory;                    // empty: the test's own
    std::string Input;                               // written to stdin, then stdin is closed
    bool Terminal = false;                           // run on a pseudo-terminal instead of pipes
};

// Runs to the end (killed after the timeout).
CProcessResult RunProcess(const CProcessOptions& options, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A process running in the background on a pseudo-terminal.
class CRunningProcess {
public:
    explicit CRunningProcess(const CProcessOptions& options);
    ~CRunningProcess();
    CRunningProcess(const CRunningProcess&) = delete;
    CRunningProcess& operator=(const CRunningProcess&) = delete;

    void Write(const std::string& text);
    void Signal(int signo);
    // Waits for the end; returns the exit status as CProcessResult does.
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Everything the process wrote to its terminal so far.
    std::string Output();

private:
    void Drain(int timeoutMs);

    int m_pid = -1;
    int m_master = -1;
    int m_status = -1;
    std::string m_output;
};

// Waits until predicate holds, polling; false after the timeout.
bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A fresh directory below the system's temporary directory, removed with the object.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
std::vector<std::string> ReadLines(const std::string& path);
// A name no other test process uses, for VOLTARIS_INSTANCE.
std::string UniqueInstanceName();
