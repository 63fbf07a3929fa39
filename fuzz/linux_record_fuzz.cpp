// Fuzzes the reader of the linux bench's record under /run. Whatever the
// file holds, every entry it yields must name a driver directory and a
// plain device name, or a plain hub name with a port, since the bench
// writes into that driver's bind file, or to that port, as root; and an
// entry written back reads the same.
#include "lx_sysfs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const CLxRecordEntry& entry : LxParseRecord(text)) {
        bool plain = !entry.Name.empty() && entry.Name != "." && entry.Name != ".." &&
                     entry.Name.find_first_of("/\n\r \t") == std::string::npos && entry.Name.size() < 64;
        bool driver = entry.Kind != LX_RECORD_REBIND ||
                      ((entry.Driver.rfind("bus/pci/drivers/", 0) == 0 ||
                        entry.Driver.rfind("bus/platform/drivers/", 0) == 0) &&
                       entry.Driver.find("..") == std::string::npos && entry.Driver.find(' ') == std::string::npos);
        bool port = entry.Kind == LX_RECORD_REBIND || (entry.Port >= 1 && entry.Port <= 255 && entry.Devnum >= 1);
        if (!plain || !driver || !port) std::abort();
        std::vector<CLxRecordEntry> again = LxParseRecord(LxRecordLine(entry));
        if (again.size() != 1 || LxRecordLine(again[0]) != LxRecordLine(entry)) std::abort();
    }
    return 0;
}
