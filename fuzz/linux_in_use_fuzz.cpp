// Fuzzes the readers of what the machine runs on: /proc/self/mountinfo,
// /proc/swaps, the routing tables and the input capability bitmaps. The
// first byte picks the reader, the rest is the file.
#include "lx_in_use.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0: LxParseMountInfo(text); break;
    case 1: LxParseSwaps(text); break;
    case 2: LxParseDefaultRoutes(text, text); break;
    default: {
        size_t cut = text.find('\n');
        std::string first = text.substr(0, cut), rest = cut == std::string::npos ? "" : text.substr(cut + 1);
        LxInputKind(first, rest, text, 32);
        LxInputKind(first, rest, text);
    }
    }
    return 0;
}
