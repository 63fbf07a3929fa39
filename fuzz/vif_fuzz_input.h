// Hands fuzz input to the library as a file: an in-memory file reached
// through /proc, rewritten for every input.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

inline std::string WriteVifInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("vif_input", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}
