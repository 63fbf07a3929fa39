// Holds a single-instance guard named by argv[1] (ASCII), prints what
// IsAnotherInstanceRunning() said, and keeps the guard until stdin ends.
#include "trialkit/trialkit.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::wstring name(argv[1], argv[1] + std::strlen(argv[1]));
    CLimitSingleInstance guard(name.c_str());
    std::printf("%d\n", guard.IsAnotherInstanceRunning());
    std::fflush(stdout);
    char c;
    while (read(STDIN_FILENO, &c, 1) > 0) {}
    return 0;
}
