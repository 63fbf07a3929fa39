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
        auto plainName = [](const std::string& name) {
            return !name.empty() && name != "." && name != ".." &&
                name.find_first_of("/\n\r \t") == std::string::npos && name.size() < 64;
        };
        bool plain = plainName(entry.Name);
        size_t slash = entry.Driver.rfind('/');
        std::string bus = slash == std::string::npos ? "" : entry.Driver.substr(0, slash + 1);
        bool driver = entry.Kind != LX_RECORD_REBIND ||
            ((bus == "bus/pci/drivers/" || bus == "bus/platform/drivers/") &&
             plainName(entry.Driver.substr(slash + 1)));
        bool port = entry.Kind == LX_RECORD_REBIND || (entry.Port >= 1 && entry.Port <= 255 && entry.Devnum >= 1);
        if (!plain || !driver || !port) std::abort();
        std::vector<CLxRecordEntry> again = LxParseRecord(LxRecordLine(entry));
        if (again.size() != 1 || LxRecordLine(again[0]) != LxRecordLine(entry)) std::abort();
    }
    return 0;
}
