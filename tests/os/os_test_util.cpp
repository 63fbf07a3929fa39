#include "os_test_util.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

CTestPipe::CTestPipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) ADD_FAILURE() << "pipe2 failed";
    ReadFd = fds[0];
    WriteFd = fds[1];
}

CTestPipe::~CTestPipe() {
    CloseRead();
    CloseWrite();
}

void CTestPipe::CloseRead() {
    if (ReadFd >= 0) close(ReadFd);
    ReadFd = -1;
}

void CTestPipe::CloseWrite() {
    if (WriteFd >= 0) close(WriteFd);
    WriteFd = -1;
}

void CTestPipe::Write(const std::string& text) const {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(WriteFd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ADD_FAILURE() << "pipe write failed";
            return;
        }
        done += static_cast<size_t>(n);
    }
}

std::string CTestPipe::Read(size_t size) const {
    std::string text(size, '\0');
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(ReadFd, text.data() + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    return text;
}

pid_t StartChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int WaitChild(pid_t pid) {
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "child " << pid << " hangs";
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

bool WaitUntilBlocked(pid_t pid) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        size_t end = text.rfind(')');
        if (end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'S') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::string TestInstanceName() { return "os-test-" + std::to_string(getpid()); }
