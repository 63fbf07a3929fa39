// Times the bus model's enumeration on a full bus: 254 devices on chains of
// hubs, a hub and a device below it selected, EnumerateBus keeping the
// selection, and each list build on its own. Prints microseconds per call.
#include "bench/bus_model.h"
#include "benchline/backend.h"
#include "benchline/sim.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRootPorts = 8;
constexpr int kChains = 7;      // root ports 1 to 7 each carry a chain of hubs
constexpr int kChainDepth = 5;  // hubs per chain
constexpr int kHubPorts = 7;    // the last port of a hub carries the next hub
constexpr int kDevices = 254;
constexpr int kRounds = 200;

void AddDevice(std::string& text, const std::string& at, int number, int hubPorts) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "\n[[controller.device]]\nat = \"%s\"\nvid = 0x%04x\npid = 0x%04x\nserial = %d\nspeed = \"high\"\n"
                  "tag = %d\n",
                  at.c_str(), 0x1000 + number % 16, 0x2000 + number, number, 1000 + number);
    text += line;
    if (hubPorts) text += "hub_ports = " + std::to_string(hubPorts) + "\n";
}

// A bench file with exactly kDevices devices: kChains chains of kChainDepth
// hubs with a device on every other port, and the rest on the last root port.
std::string FullBench() {
    std::string text = "[[controller]]\nid = \"Full bus\"\nports = [";
    for (int p = 1; p <= kRootPorts; ++p) text += p == 1 ? "\"usb2\"" : ", \"usb2\"";
    text += "]\n";
    int count = 0;
    for (int chain = 1; chain <= kChains; ++chain) {
        std::string hub = std::to_string(chain);
        for (int depth = 1; depth <= kChainDepth; ++depth) {
            AddDevice(text, hub, ++count, kHubPorts);
            int leaves = depth == kChainDepth ? kHubPorts : kHubPorts - 1;
            for (int port = 1; port <= leaves; ++port) AddDevice(text, hub + "." + std::to_string(port), ++count, 0);
            hub += "." + std::to_string(kHubPorts);
        }
    }
    // The rest hang on one more hub on the last root port.
    std::string last = std::to_string(kRootPorts);
    int rest = kDevices - count - 1;
    AddDevice(text, last, ++count, rest);
    for (int port = 1; port <= rest; ++port) AddDevice(text, last + "." + std::to_string(port), ++count, 0);
    return text;
}

// Median and best of kRounds calls, in microseconds.
void Time(const char* name, const std::function<void()>& call) {
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %8.1f us   best %8.1f us\n", name, times[times.size() / 2], times.front());
}

}  // namespace

int main() {
    std::string error;
    auto backend = BLSimCreateFromText(FullBench(), "full bus", error);
    if (!backend) {
        std::fprintf(stderr, "bench_enumerate: %s\n", error.c_str());
        return 1;
    }
    BLInstallBackend(backend.release());
    std::vector<HostRecord> hosts;
    if (CreateBench() != BENCH_OK || BuildHostList(hosts) != BENCH_OK || SelectHostByIndex(0) < 0) {
        std::fprintf(stderr, "bench_enumerate: the simulated bench did not come up\n");
        return 1;
    }
    uint8_t device = NO_SELECTION, hub = NO_SELECTION;
    EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false);
    std::vector<HubRecord> hubs;
    std::vector<DeviceRecord> devices;
    BuildHubList(hubs, NO_SELECTION, SPEED_ALL);
    BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
    std::printf("bus: %zu devices, %zu hubs\n", devices.size(), hubs.size());

    // The deepest hub of the first chain and the last device below it.
    SelectHubByIndex(static_cast<uint8_t>(kChainDepth - 1));
    BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
    SelectDeviceByIndex(static_cast<uint8_t>(devices.size() - 1));
    std::printf("selected: hub %u with %zu devices below it\n", GetSelectedHub(), devices.size());

    Time("EnumerateBus, keeping hub and device", [&] { EnumerateBus(true, &device, &hub, SPEED_ALL, false); });
    if (hub == NO_SELECTION || device == NO_SELECTION) std::printf("warning: the selection was lost\n");
    Time("BuildHostList", [&] { BuildHostList(hosts); });
    SelectHostByIndex(0);
    Time("BuildHubList", [&] { BuildHubList(hubs, NO_SELECTION, SPEED_ALL); });
    Time("RebuildHubRecords", [&] { RebuildHubRecords(hubs, NO_SELECTION, SPEED_ALL); });
    SelectHubByIndex(static_cast<uint8_t>(kChainDepth - 1));
    Time("BuildDeviceList, below the deepest hub", [&] { BuildDeviceList(devices, NO_SELECTION, SPEED_ALL); });
    SelectHubByIndex(NO_SELECTION);
    Time("BuildDeviceList, whole bus", [&] { BuildDeviceList(devices, NO_SELECTION, SPEED_ALL); });
    Time("EnumerateAll", [&] {
        std::vector<HubRecord> allHubs;
        std::vector<DeviceRecord> allDevices;
        EnumerateAll(allDevices, allHubs);
    });
    DestroyBench();
    BLShutdown();
    return 0;
}
