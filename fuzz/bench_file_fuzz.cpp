// Bench file text from the fuzzer: it either loads, and the bench then
// survives an enumeration and a walk over every address, or it is refused
// with one line that names the file and a line.
#include "benchline/sim.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto backend = BLSimCreateFromText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.toml", error);
    if (!backend) {
        if (error.rfind("bench file fuzz.toml:", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    std::unique_ptr<CXhciBenchline> bench(backend->CreateBenchline());
    for (CHostController* host = bench->FindFirstHC(); host; host = bench->FindNextHC()) {
        bench->SelectHostController(host, true, false);
        bench->Enumerate();
        for (unsigned address = 1; address <= 254; ++address) {
            CDevice* device = bench->GetDeviceByDeviceAddress(static_cast<uint8_t>(address));
            uint8_t descriptor[18];
            if (device) device->GetDescriptor(1, 0, 0, descriptor, sizeof descriptor);
        }
        for (CHubDevice* hub = bench->FindFirstHub(); hub; hub = bench->FindNextHub())
            for (unsigned port = 1; port <= hub->PortCount; ++port) {
                uint32_t status;
                hub->GetHubPort(static_cast<uint8_t>(port))->GetPortStatus(&status);
            }
    }
    return 0;
}
