#include "console_client.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

}  // namespace

CConsoleClient::CConsoleClient(const CConsoleClientOptions& options) : m_directory(options.WorkingDirectory) {
    // The console may end before it reads what is written to it.
    signal(SIGPIPE, SIG_IGN);
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0 || inotify_add_watch(m_watch, m_directory.c_str(), IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE) < 0)
        throw std::runtime_error("inotify on " + m_directory);

    std::map<std::string, std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        size_t eq = entry.find('=');
        if (eq != std::string::npos) environment[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : options.Environment) environment[name] = value;
    std::vector<std::string> envText, argText = {options.Binary};
    for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
    argText.insert(argText.end(), options.Arguments.begin(), options.Arguments.end());
    std::vector<char*> argv, envp;
    for (auto& a : argText) argv.push_back(a.data());
    for (auto& e : envText) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (options.Terminal) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 80;
        m_pid = forkpty(&m_input, nullptr, nullptr, &size);
    } else {
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        m_pid = fork();
    }
    if (m_pid < 0) throw std::runtime_error("fork");
    if (m_pid == 0) {
        if (!options.Terminal) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
        }
        if (chdir(m_directory.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (options.Terminal) {
        m_output = m_input;
    } else {
        close(in[0]);
        close(out[1]);
        m_input = in[1];
        m_output = out[0];
    }
}

CConsoleClient::~CConsoleClient() {
    if (!m_reaped && m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_output >= 0 && m_output != m_input) close(m_output);
    if (m_input >= 0) close(m_input);
    if (m_watch >= 0) close(m_watch);
}

// Collects console output and file events for up to timeoutMs; returns
// early when either arrives.
void CConsoleClient::Pump(int timeoutMs) {
    pollfd fds[2] = {{m_output, POLLIN, 0}, {m_watch, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return;
    if (fds[0].revents & (POLLIN | POLLHUP)) {
        char buffer[4096];
        ssize_t n = read(m_output, buffer, sizeof buffer);
        if (n > 0) {
            m_all.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            // The console closed its side; stop watching it.
            if (m_output != m_input) close(m_output);
            m_output = -1;
        }
    }
    if (fds[1].revents & POLLIN) {
        char events[4096];
        while (read(m_watch, events, sizeof events) > 0) {}
    }
}

std::string CConsoleClient::WaitForStatus(const std::vector<std::string>& words, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (true) {
        std::string status = Status();
        if (status.size() >= 2 && status.compare(status.size() - 2, 2, "\r\n") == 0) {
            status.resize(status.size() - 2);
            if (std::find(words.begin(), words.end(), status) != words.end()) return status;
        }
        bool ended = m_reaped;
        Reap();
        if (ended || Clock::now() > deadline) return "";
        // File events wake the wait; the timeout only bounds it.
        Pump(std::min(MillisecondsLeft(deadline), 50));
    }
}

std::string CConsoleClient::WaitForPrompt(std::chrono::milliseconds timeout) {
    return WaitForStatus({"READY", "UNSUCCESSFUL"}, timeout);
}

void CConsoleClient::ClearStatus() {
    int fd = open(File("CLStatus.txt").c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) close(fd);
}

void CConsoleClient::Send(const std::string& line) {
    ClearStatus();
    SendRaw(line + "\n");
}

void CConsoleClient::SendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(m_input, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

std::string CConsoleClient::Command(const std::string& line) {
    Send(line);
    return WaitForPrompt();
}

std::string CConsoleClient::Status() const { return ReadBytes(File("CLStatus.txt")); }
std::string CConsoleClient::Information() const { return ReadBytes(File("CLInformation.txt")); }

std::string CConsoleClient::TakeOutput() {
    Pump(0);
    std::string text = m_all.substr(m_taken);
    m_taken = m_all.size();
    return text;
}

bool CConsoleClient::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (m_all.find(text, m_taken) == std::string::npos) {
        if (Clock::now() > deadline || m_output < 0) return false;
        Pump(std::min(MillisecondsLeft(deadline), 50));
    }
    return true;
}

void CConsoleClient::CloseInput() {
    if (m_output == m_input) {
        SendRaw("\x04");  // a terminal's end of input, at the start of a line
        return;
    }
    close(m_input);
    m_input = -1;
}

void CConsoleClient::Signal(int signo) { kill(m_pid, signo); }

void CConsoleClient::Reap() {
    int raw = 0;
    if (!m_reaped && waitpid(m_pid, &raw, WNOHANG) == m_pid) {
        m_reaped = true;
        m_status = DecodeStatus(raw);
    }
}

int CConsoleClient::Wait(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (Reap(); !m_reaped; Reap()) {
        if (Clock::now() > deadline) {
            int raw = 0;
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &raw, 0);
            m_reaped = true;
            m_status = -1;
            break;
        }
        Pump(20);
    }
    Pump(0);
    return m_status;
}
