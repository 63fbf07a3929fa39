// Fuzzes the reader of the linux bench's record under /run. Whatever the
// file holds, every entry it yields must name one of the bench's drivers and
// a plain device name, since the bench writes that name into the driver's
// bind file as root.
#include "lx_sysfs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const auto& drivers = LxDriverDirs();
    for (const CLxRecordEntry& entry : LxParseRecord(text)) {
        bool known = std::find(drivers.begin(), drivers.end(), entry.Driver) != drivers.end();
        bool plain = !entry.Name.empty() && entry.Name != "." && entry.Name != ".." &&
                     entry.Name.find_first_of("/\n\r \t") == std::string::npos && entry.Name.size() < 64;
        if (!known || !plain) std::abort();
    }
    return 0;
}
