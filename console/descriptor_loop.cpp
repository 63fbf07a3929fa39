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
// The first failed read, or BENCH_OK. Written by the worker only; read by the
// console thread after joining it.
EBenchResult g_loopResult = BENCH_OK;

// The console thread only waits for the Enter key meanwhile, so the bus
// model is the worker's alone. The descriptor is read at least once, so a
// loop stopped at once still reports a read that was made.
void DescriptorLoopThread() {
    uint8_t buffer[256] = {};
    do {
        EBenchResult result = RunDeviceCommand(DEVICE_CMD_DEVICE_DESCRIPTOR, buffer, sizeof buffer);
        if (result < 0 && g_loopResult == BENCH_OK) g_loopResult = result;
        std::this_thread::sleep_for(std::chrono::milliseconds(DESCRIPTOR_LOOP_PERIOD_MS));
    } while (LoopActive.load());
}

}  // namespace

bool StartDescriptorLoop() {
    g_loopResult = BENCH_OK;
    LoopActive.store(true);
    try {
        g_loopThread = std::thread(DescriptorLoopThread);
    } catch (const std::system_error&) {
        LoopActive.store(false);
        return false;
    }
    return true;
}

EBenchResult StopDescriptorLoop() {
    LoopActive.store(false);
    if (g_loopThread.joinable()) g_loopThread.join();
    return g_loopResult;
}
