#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<std::string> BuildEnvironment(const CProcessOptions& options) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        size_t eq = entry.find('=');
        if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& name : options.Unset) env.erase(name);
    for (const auto& [name, value] : options.Environment) env[name] = value;
    std::vector<std::string> out;
    for (const auto& [name, value] : env) out.push_back(name + "=" + value);
    return out;
}

// In the child: switch directory and exec; never returns.
[[noreturn]] void ExecChild(const CProcessOptions& options, const std::vector<std::string>& env) {
    if (!options.WorkingDirectory.empty() && chdir(options.WorkingDirectory.c_str()) != 0) _exit(126);
    std::vector<char*> argv, envp;
    for (const auto& a : options.Arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

bool ReadAvailable(int fd, std::string& into) {
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && errno == EINTR;
}

}  // namespace

CProcessResult RunProcess(const CProcessOptions& options, std::chrono::milliseconds timeout) {
    if (options.Terminal) {
        CRunningProcess process(options);
        CProcessResult result;
        result.ExitStatus = process.Wait(timeout);
        result.Out = process.Output();
        return result;
    }
    std::vector<std::string> env = BuildEnvironment(options);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        ExecChild(options, env);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The child may exit before reading its input; a write then must not kill the test.
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (options.Input.empty()) close(in[1]);

    CProcessResult result;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    bool outOpen = true, errOpen = true, inOpen = !options.Input.empty();
    while (outOpen || errOpen) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inOpen ? in[1] : -1, POLLOUT, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        poll(fds, 3, static_cast<int>(left.count()));
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP))) outOpen = ReadAvailable(out[0], result.Out);
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP))) errOpen = ReadAvailable(err[0], result.Err);
        if (inOpen && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(in[1], options.Input.data() + written, options.Input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == options.Input.size()) {
                close(in[1]);
                inOpen = false;
            }
        }
    }
    if (inOpen) close(in[1]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.ExitStatus = DecodeStatus(status);
    return result;
}

CRunningProcess::CRunningProcess(const CProcessOptions& options) {
    std::vector<std::string> env = BuildEnvironment(options);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    m_pid = forkpty(&m_master, nullptr, nullptr, &size);
    if (m_pid < 0) throw std::runtime_error("forkpty");
    if (m_pid == 0) ExecChild(options, env);
    if (!options.Input.empty()) Write(options.Input);
}

CRunningProcess::~CRunningProcess() {
    if (m_status < 0 && m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_master >= 0) close(m_master);
}

void CRunningProcess::Write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(m_master, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

void CRunningProcess::Signal(int signo) { kill(m_pid, signo); }

void CRunningProcess::Drain(int timeoutMs) {
    pollfd fd{m_master, POLLIN, 0};
    while (poll(&fd, 1, timeoutMs) > 0 && (fd.revents & POLLIN)) {
        if (!ReadAvailable(m_master, m_output)) break;
        timeoutMs = 0;
    }
}

int CRunningProcess::Wait(std::chrono::milliseconds timeout) {
    if (m_status >= 0) return m_status;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (true) {
        Drain(20);
        pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
    }
    Drain(0);
    m_status = DecodeStatus(status);
    return m_status;
}

std::string CRunningProcess::Output() {
    Drain(0);
    return m_output;
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "voltaris-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string UniqueInstanceName() {
    static int counter = 0;
    return "test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}
