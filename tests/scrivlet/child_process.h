// Runs work that may crash or hang in a child process, so that a crash is a
// failed test and not a lost test run.
#pragma once

#include <scrivlet/scrivlet.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>

// Runs the work in a child process and tells how it ended: its text, or
// how it crashed or that it ran past the time bound.
inline std::string InChild(const std::function<std::string()>& work, std::chrono::seconds bound) {
    int pipe[2];
    if (::pipe(pipe) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string answer;
        try {
            answer = work();
        } catch (const CQXRunTimeException& error) {
            answer = std::string("CQXRunTimeException: ") + error.what();
        } catch (const std::regex_error& error) {
            answer = std::string("regex_error: ") + error.what();
        }
        if (::write(pipe[1], answer.data(), answer.size()) < 0) _exit(3);
        _exit(0);
    }
    ::close(pipe[1]);
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{pipe[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) == 0) {
            ::kill(child, SIGKILL);
            answer = "timed out";
            break;
        }
        char block[4096];
        const ssize_t got = ::read(pipe[0], block, sizeof block);
        if (got <= 0) break;
        answer.append(block, static_cast<std::size_t>(got));
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (answer != "timed out" && WIFSIGNALED(status)) return "crashed with signal " + std::to_string(WTERMSIG(status));
    return answer;
}
