// The looping descriptor read through the real "voltaris /C": it reads
// about ten times a second until Enter, the end of the input or a signal
// stops it. Labelled threads, so the ThreadSanitizer build runs it against
// an instrumented voltaris.
#include "console_fixture.h"

#include <csignal>
#include <thread>

namespace {

const std::string kPrompt = "\nEnter Command: ";
const std::string kLoopPrompt = "\nPress Enter to stop looping...";

}  // namespace

class ConsoleLoopTest : public ConsoleE2ETest {
protected:
    // Starts the loop on device 0 and waits for a few reads.
    void StartLoop() {
        StartReady(kOneDeviceBench);
        m_console->Send("TD LOOP_DEVICE_DESCRIPTOR 0");
        ASSERT_EQ(m_console->WaitForPrompt(), "READY");
        ASSERT_TRUE(m_console->WaitForOutput(kLoopPrompt));
        EXPECT_EQ(m_console->TakeOutput(), "\n Setting Device into LOOP_DEVICE_DESCRIPTOR mode \n" + kLoopPrompt);
        ASSERT_TRUE(WaitFor([&] { return TraceOf("GetDescriptor dev@1 1 0 0 256 -> 0x00000000").size() >= 3; }));
    }
    size_t Reads() const { return TraceOf("GetDescriptor").size(); }
    void ExpectStopped() {
        size_t reads = Reads();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(Reads(), reads) << "the loop went on reading";
    }
    void ExpectRestored() {
        std::vector<std::string> steps = Steps();
        ASSERT_GE(steps.size(), 2u);
        EXPECT_EQ(steps[steps.size() - 2], "delete CXhciBenchline");
        EXPECT_EQ(steps.back(), "CleanupRailswap stack -> 0");
    }
};

TEST_F(ConsoleLoopTest, ReadsUntilEnterThenReportsTheSelection) {
    StartLoop();
    std::string status;
    EXPECT_EQ(Run("", &status), " Successful\n" + kPrompt);
    EXPECT_EQ(status, "READY");
    ExpectStopped();
    // The loop is no test mode: the next command does not re-enumerate.
    size_t enumerations = TraceOf("Enumerate ").size();
    EXPECT_EQ(Run("TD DEVICE_DESCRIPTOR 0"), "\n Setting Device into DEVICE_DESCRIPTOR mode \n Successful\n" + kPrompt);
    EXPECT_EQ(TraceOf("Enumerate ").size(), enumerations);
    EXPECT_EQ(Exit(), 0);
}

TEST_F(ConsoleLoopTest, EndOfInputStopsTheLoopAndLeaves) {
    StartLoop();
    m_console->CloseInput();
    EXPECT_EQ(m_console->Wait(), 0);
    EXPECT_EQ(m_console->TakeOutput(), " Successful\n\n Exiting application\n");
    ExpectStopped();
    ExpectRestored();
}

TEST_F(ConsoleLoopTest, SignalStopsTheLoopAndLeaves) {
    StartLoop();
    m_console->Signal(SIGTERM);
    EXPECT_EQ(m_console->Wait(), 128 + SIGTERM);
    EXPECT_EQ(m_console->TakeOutput(), " Successful\n\n Exiting application\n");
    ExpectRestored();
}
