// The connection monitor of the host test dialog ("Disconnect Notify") as a
// program of its own, for the QEMU test: selects controller HOST on the
// linux bench, enumerates, prints READY, then polls root port PORT as the
// dialog does and prints DISCONNECTED and CONNECTED as it sees them; ends
// after seeing both, or after SECONDS.
//   monitor_probe HOST PORT SECONDS
#include "bench/bus_model.h"
#include "benchline/backend.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: monitor_probe HOST PORT SECONDS\n");
        return 2;
    }
    std::string error;
    if (!BLConfigure("linux", std::getenv("VOLTARIS_TRACE"), error)) {
        std::fprintf(stderr, "monitor_probe: %s\n", error.c_str());
        return 1;
    }
    std::vector<HostRecord> hosts;
    std::vector<DeviceRecord> devices;
    std::vector<HubRecord> hubs;
    auto host = static_cast<uint8_t>(std::atoi(argv[1]));
    auto port = static_cast<uint8_t>(std::atoi(argv[2]));
    int polls = std::atoi(argv[3]) * 5;
    int status = 1;
    if (CreateBench() == BENCH_OK && BuildHostList(hosts) == BENCH_OK && SelectHostByIndex(host) == BENCH_OK &&
        EnumerateAll(devices, hubs) >= 0) {
        std::printf("READY\n");
        std::fflush(stdout);
        bool sawDisconnect = false, sawConnect = false;
        for (int i = 0; i < polls && !(sawDisconnect && sawConnect); ++i) {
            bool disconnected = false, connected = false;
            if (PollPortConnection(&disconnected, &connected, 2, port) != BENCH_OK) std::printf("POLL FAILED\n");
            if (disconnected) std::printf("DISCONNECTED\n");
            if (connected && sawDisconnect) std::printf("CONNECTED\n");
            sawDisconnect |= disconnected;
            sawConnect |= connected && sawDisconnect;
            std::fflush(stdout);
            ::usleep(200000);
        }
        status = sawDisconnect && sawConnect ? 0 : 1;
    }
    DestroyBench();
    BLShutdown();
    return status;
}
