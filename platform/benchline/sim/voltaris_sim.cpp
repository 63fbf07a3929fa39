// voltaris-sim: hot-plug commands for the simulated bench of a running
// voltaris, sent over its control socket.
//   voltaris-sim [-c N] unplug AT | plug AT | cycle AT | show
#include "sim_world.h"
#include "voltaris_version.h"

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: voltaris-sim [-c N] COMMAND\n"
    "  unplug AT   unplug the device at port path AT (\"1\", \"1.3\", \"1.3.2\")\n"
    "  plug AT     plug it in again\n"
    "  cycle AT    power-cycle it (clears its test mode; it answers after the next Enumerate)\n"
    "  show        print the bench's tree with addresses and states\n"
    "  -c N        the controller, counted from 0 (default 0; show: all)\n"
    "The bench is the one of the voltaris started with the same VOLTARIS_INSTANCE.\n";

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "voltaris-sim: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

// Sends the request and returns the reply; empty when nothing listens.
std::string Ask(const std::string& request, bool& listening) {
    std::string name = SimControlName();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    listening = false;
    if (name.size() + 1 > sizeof address.sun_path) return "";
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        if (fd >= 0) ::close(fd);
        return "";
    }
    listening = true;
    std::string reply;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        pollfd pfd{fd, POLLIN, 0};
        char buffer[4096];
        ssize_t got;
        while (::poll(&pfd, 1, 5000) > 0 && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return reply;
}

}  // namespace

int main(int argc, char** argv) {
    std::string controller;
    int i = 1;
    if (i < argc && (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("voltaris-sim " VOLTARIS_VERSION);
        return 0;
    }
    if (i < argc && std::strcmp(argv[i], "-c") == 0) {
        if (i + 1 >= argc) return Usage("-c needs a controller index");
        controller = argv[i + 1];
        if (controller.empty() || controller.size() > 3 ||
            controller.find_first_not_of("0123456789") != std::string::npos)
            return Usage("-c needs a controller index (0, 1, ...)");
        i += 2;
    }
    if (i >= argc) return Usage(nullptr);
    std::string command = argv[i++];
    std::string request;
    if (command == "show") {
        request = controller.empty() ? "show" : "show " + controller;
    } else if (command == "unplug" || command == "plug" || command == "cycle") {
        if (i >= argc) return Usage((command + " needs a port path").c_str());
        request = command + " " + (controller.empty() ? "0" : controller) + " " + argv[i++];
    } else {
        return Usage(("unknown command \"" + command + "\"").c_str());
    }
    if (i < argc) return Usage(("unexpected argument \"" + std::string(argv[i]) + "\"").c_str());

    bool listening;
    std::string reply = Ask(request + "\n", listening);
    if (!listening) {
        std::fputs("voltaris-sim: no simulated bench is running\n", stderr);
        return 1;
    }
    // The reply's last line says how it went: "ok" or "error: ...".
    if (reply.empty() || reply.back() != '\n') {
        std::fputs("voltaris-sim: the bench gave no answer\n", stderr);
        return 1;
    }
    size_t last = reply.rfind('\n', reply.size() - 2);
    last = last == std::string::npos ? 0 : last + 1;
    std::string status = reply.substr(last);
    std::fwrite(reply.data(), 1, last, stdout);
    bool ok = status == "ok\n";
    std::fputs(status.c_str(), ok ? stdout : stderr);
    return ok ? 0 : 1;
}
