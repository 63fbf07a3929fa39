#include "console/descriptor_loop.h"

#include "bench/catalogue.h"
#include "bench/executors.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

// Written by the console thread, read by the worker.
std::atomic<bool> LoopActive{false};
std::thread g_loopThread;

// The console thread only waits for the Enter key meanwhile, so the bus
// model is the worker's alone.
void DescriptorLoopThread() {
    uint8_t buffer[256] = {};
    while (LoopActive.load()) {
        RunDeviceCommand(DEVICE_CMD_DEVICE_DESCRIPTOR, buffer, sizeof buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(DESCRIPTOR_LOOP_PERIOD_MS));
    }
}

}  // namespace

bool StartDescriptorLoop() {
    LoopActive.store(true);
    try {
        g_loopThread = std::thread(DescriptorLoopThread);
    } catch (const std::system_error&) {
        LoopActive.store(false);
        return false;
    }
    return true;
}

void StopDescriptorLoop() {
    LoopActive.store(false);
    if (g_loopThread.joinable()) g_loopThread.join();
}
