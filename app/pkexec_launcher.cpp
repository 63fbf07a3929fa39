// voltaris-pkexec: what the desktop menu starts. It runs voltaris as root
// through pkexec; the polkit policy installed with voltaris asks for an
// administrator's password (kept for a few minutes) and lets voltaris keep
// the user's display. When pkexec does not start voltaris, the launcher says
// why on one line on stderr and, for the dialogs, in a message box, and ends
// with status 2; otherwise it ends with voltaris's own status.
#include "app/dialog_surface.h"
#include "app/voltaris_app.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char kWithoutRoot[] =
    "; the menu's \"Simulated bench\" (VOLTARIS_BENCH=sim voltaris) runs without root";

// What pkexec's own statuses mean (126: its password dialog was dismissed,
// 127: not authorized or it failed); voltaris never ends with either. Empty
// for any other status.
std::string Refusal(int status) {
    std::string why;
    if (status == 126) why = "the administrator's password was not given, so voltaris did not start";
    if (status == 127)
        why = "pkexec did not start voltaris as root (not authorized, or no polkit authentication agent runs)";
    return why.empty() ? why : why + kWithoutRoot;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> command = {const_cast<char*>("pkexec"), const_cast<char*>(VOLTARIS_PROGRAM)};
    command.insert(command.end(), argv + 1, argv + argc);
    command.push_back(nullptr);

    // Ctrl+C at a terminal reaches voltaris, which ends through its normal
    // shut-down; the launcher waits for it. voltaris gets the defaults back.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int error = posix_spawnp(&pid, "pkexec", nullptr, &attributes, command.data(), environ);
    posix_spawnattr_destroy(&attributes);
    std::string refusal;
    int status = 0;
    if (error != 0) {
        refusal = std::string("cannot run pkexec (") + std::strerror(error) +
            "), which starts voltaris as root: install the package pkexec" + kWithoutRoot;
    } else {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        status = WEXITSTATUS(status);
        refusal = Refusal(status);
    }
    if (refusal.empty()) return status;
    std::fprintf(stderr, "voltaris: %s\n", refusal.c_str());
    if (argc == 1) ShowFailureInWindow(refusal);  // the dialogs, as the desktop menu starts them
    return VOLTARIS_EXIT_BENCH_ERROR;
}
