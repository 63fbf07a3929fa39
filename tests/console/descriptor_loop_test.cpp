// The looping descriptor read on its worker thread, against the simulated
// bench: it reads about every 100 ms, stops when told, and can run again.
// Built under ThreadSanitizer by the tsan preset.
#include "console/descriptor_loop.h"

#include "bench/bus_model.h"
#include "benchline/backend.h"
#include "benchline/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Collects the descriptor reads from the trace; the sink runs on the worker.
struct CReads {
    std::mutex Mutex;
    std::vector<Clock::time_point> Times;
    std::vector<std::string> Lines;

    size_t Count() {
        std::lock_guard lock(Mutex);
        return Times.size();
    }
};

void CollectReads(const std::string& line, void* context) {
    if (line.rfind("GetDescriptor ", 0) != 0) return;
    auto* reads = static_cast<CReads*>(context);
    std::lock_guard lock(reads->Mutex);
    reads->Times.push_back(Clock::now());
    reads->Lines.push_back(line);
}

bool WaitForReads(CReads& reads, size_t count) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (reads.Count() < count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class DescriptorLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        BLInstallBackend(BLSimCreateDefault().release());
        ASSERT_NE(BLBackend(), nullptr);
        ASSERT_EQ(CreateBench(), BENCH_OK);
        std::vector<HostRecord> hosts;
        ASSERT_EQ(BuildHostList(hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        std::vector<DeviceRecord> devices;
        BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
        ASSERT_FALSE(devices.empty());
        ASSERT_EQ(SelectDeviceByIndex(0), BENCH_OK);
        BLSetTraceSink(CollectReads, &m_reads);
    }
    void TearDown() override {
        StopDescriptorLoop();
        BLSetTraceSink(nullptr, nullptr);
        DestroyBench();
        BLInstallBackend(nullptr);
    }

    CReads m_reads;
};

}  // namespace

TEST_F(DescriptorLoopTest, ReadsTheDescriptorEveryPeriodUntilStopped) {
    ASSERT_TRUE(StartDescriptorLoop());
    ASSERT_TRUE(WaitForReads(m_reads, 4));
    StopDescriptorLoop();
    size_t stopped = m_reads.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * DESCRIPTOR_LOOP_PERIOD_MS));
    EXPECT_EQ(m_reads.Count(), stopped) << "a read after the loop was stopped";

    std::lock_guard lock(m_reads.Mutex);
    for (size_t i = 1; i < m_reads.Times.size(); ++i) {
        EXPECT_GE(m_reads.Times[i] - m_reads.Times[i - 1], std::chrono::milliseconds(DESCRIPTOR_LOOP_PERIOD_MS - 5));
    }
    for (const auto& line : m_reads.Lines) {
        EXPECT_NE(line.find(" 1 0 0 "), std::string::npos) << line;  // device descriptor, index 0, language 0
        EXPECT_NE(line.find("-> 0x00000000"), std::string::npos) << line;
    }
}

TEST_F(DescriptorLoopTest, StopsAtOnceAndRunsAgain) {
    ASSERT_TRUE(StartDescriptorLoop());
    StopDescriptorLoop();
    EXPECT_LE(m_reads.Count(), 1u);
    StopDescriptorLoop();  // stopping twice is harmless

    size_t before = m_reads.Count();
    ASSERT_TRUE(StartDescriptorLoop());
    ASSERT_TRUE(WaitForReads(m_reads, before + 2));
    StopDescriptorLoop();
}
