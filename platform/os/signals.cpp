#include "os/signals.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

void OnTermination(int signo) { g_signal.store(signo); }

}  // namespace

void OSInstallTerminationHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns EINTR
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaction(signo, &action, nullptr);
}

int OSTerminationSignal() { return g_signal.load(); }
