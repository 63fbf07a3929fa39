#include "os/window.h"

#include "os/local_name.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A window holds its title as a local name with a datagram socket; requests
// to come forward are one-line datagrams to it, read when the owner polls.

namespace {

struct CRegisteredWindow {
    std::string Title;
    int Fd;
};

std::vector<CRegisteredWindow>& RegisteredWindows() {
    static std::vector<CRegisteredWindow> windows;
    return windows;
}

bool SendRequest(const char* title, const char* request) {
    if (!title) return false;
    int fd = OSConnectLocalName(title);
    if (fd < 0) return false;
    ssize_t sent = send(fd, request, std::strlen(request), MSG_DONTWAIT | MSG_NOSIGNAL);
    // A full queue means requests already wait there; this one adds nothing.
    bool delivered = sent >= 0 || errno == EAGAIN;
    close(fd);
    return delivered;
}

}  // namespace

void OSRegisterWindow(const char* title) {
    if (!title) return;
    for (const auto& window : RegisteredWindows()) {
        if (window.Title == title) return;
    }
    int fd = OSBindLocalName(title);
    if (fd >= 0) RegisteredWindows().push_back({title, fd});
}

bool OSFindWindow(const char* title) {
    if (!title) return false;
    int fd = OSConnectLocalName(title);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool OSShowWindow(const char* title) { return SendRequest(title, "SHOW\n"); }
bool OSBringWindowToTop(const char* title) { return SendRequest(title, "TOP\n"); }
bool OSSetForegroundWindow(const char* title) { return SendRequest(title, "FOREGROUND\n"); }

bool OSTakeRaiseRequest() {
    bool raised = false;
    char request[64];
    for (const auto& window : RegisteredWindows()) {
        while (recv(window.Fd, request, sizeof request, MSG_DONTWAIT) >= 0) raised = true;
    }
    return raised;
}
