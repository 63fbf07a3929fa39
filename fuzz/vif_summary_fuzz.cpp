// Makes a device or hub summary from the input: the first byte chooses the
// role, the rest is the Vendor Info File.
#include "vif_fuzz_input.h"

#include <scrivlet/scrivlet.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const EUsbType role = data[0] % 2 ? UsbHub : UsbDevice;
    const std::string path = WriteVifInput(data + 1, size - 1);
    // Nothing a file holds makes the constructor throw.
    CVIFSummary summary(role, path.c_str());
    if (!summary.IsValid() && (summary.Speed().size() != 0 || summary.Display().size() != 0)) std::abort();
    const CVIFSummary copy = summary;
    summary.Clear();
    if (summary.IsValid() || copy.PortNumber() != summary.PortNumber()) std::abort();
    return 0;
}
