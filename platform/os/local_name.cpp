#include "os/local_name.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct CLocalAddress {
    sockaddr_un Address{};
    socklen_t Length = 0;
};

CLocalAddress AddressOf(const std::string& name) {
    std::string full = name;
    if (const char* instance = std::getenv("VOLTARIS_INSTANCE")) full += std::string("-") + instance;
    CLocalAddress local;
    local.Address.sun_family = AF_UNIX;
    // sun_path[0] stays 0: that selects the abstract namespace.
    size_t size = std::min(full.size(), sizeof local.Address.sun_path - 1);
    std::memcpy(local.Address.sun_path + 1, full.data(), size);
    local.Length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
    return local;
}

// Makes a socket and applies step (bind or connect) to it with name's address.
template <typename Step>
int LocalSocket(const std::string& name, Step step) {
    CLocalAddress local = AddressOf(name);
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (step(fd, reinterpret_cast<const sockaddr*>(&local.Address), local.Length) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

int OSBindLocalName(const std::string& name) { return LocalSocket(name, ::bind); }
int OSConnectLocalName(const std::string& name) { return LocalSocket(name, ::connect); }
