// voltaris-sim against a simulated bench in this test's own process: the real
// binary talks to the control socket while the bench answers requests from
// another thread.
#include "process.h"
#include "sim_test_util.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

class SimControl : public ::testing::Test {
protected:
    SimControl() {
        setenv("VOLTARIS_INSTANCE", m_instance.c_str(), 1);
        BLInstallBackend(BLSimCreateDefault().release());
        BLSimStartControl(BLBackend());
        m_bench.reset(BLCreateBenchline());
    }
    ~SimControl() override {
        m_bench.reset();
        BLShutdown();
        unsetenv("VOLTARIS_INSTANCE");
    }

    CProcessResult Sim(std::vector<std::string> arguments) {
        CProcessOptions options;
        options.Arguments = {VOLTARIS_SIM_BINARY};
        options.Arguments.insert(options.Arguments.end(), arguments.begin(), arguments.end());
        options.Environment = {{"VOLTARIS_INSTANCE", m_instance}};
        return RunProcess(options);
    }
    uint32_t RootStatus(uint32_t port) {
        uint32_t status = 0;
        EXPECT_EQ(m_bench->FindFirstHC()->GetHostPort(port)->GetPortStatus(&status), 0);
        return status;
    }

    std::string m_instance = UniqueInstanceName();
    CBenchHolder m_bench;
};

}  // namespace

TEST_F(SimControl, UnplugPlugAndCycleReachTheRunningBench) {
    CProcessResult result = Sim({"unplug", "2"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "ok\n");
    EXPECT_EQ(RootStatus(2), 2u) << "disconnected, connect change";

    result = Sim({"-c", "0", "plug", "2"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(RootStatus(2), 3u);

    CDevice* camera = m_bench->GetDeviceByDeviceAddress(7);
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetTestMode(BL_TEST_PACKET), 0);
    EXPECT_EQ(Sim({"cycle", "6"}).ExitStatus, 0);
    ASSERT_EQ(m_bench->Enumerate(), 0);
    uint16_t vid, pid, serial;
    EXPECT_EQ(camera->GetVidPidSerialNumber(&vid, &pid, &serial), 0);
}

TEST_F(SimControl, ShowPrintsTheTreeAndErrorsExitNonZero) {
    CProcessResult result = Sim({"show"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_NE(result.Out.find("controller 0 \"Norvane"), std::string::npos) << result.Out;
    EXPECT_NE(result.Out.find("    1.3: dev@3 3A17:2002 serial 0103 full-speed\n"), std::string::npos) << result.Out;
    EXPECT_EQ(result.Out.substr(result.Out.size() - 3), "ok\n");

    result = Sim({"unplug", "1.2"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "error: no device at 1.2 on controller 0\n");
    result = Sim({"-c", "3", "show"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "error: no controller 3 on this bench\n");
    result = Sim({"frobnicate"});
    EXPECT_EQ(result.ExitStatus, 2);
    EXPECT_NE(result.Err.find("usage: voltaris-sim"), std::string::npos);
}

TEST_F(SimControl, NoBenchListeningIsSaidPlainly) {
    m_bench.reset();
    BLShutdown();
    CProcessResult result = Sim({"show"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "voltaris-sim: no simulated bench is running\n");
}

TEST_F(SimControl, CommandsAndComponentCallsFromOtherThreadsDoNotRace) {
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        CHostController* host = m_bench->FindFirstHC();
        while (!stop) {
            uint32_t status;
            host->GetHostPort(1)->GetPortStatus(&status);
            if (CDevice* device = m_bench->GetDeviceByDeviceAddress(3)) {
                uint8_t address;
                device->GetAddress(&address);
            }
        }
    });
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Sim({"unplug", "1"}).ExitStatus, 0);
        EXPECT_EQ(Sim({"plug", "1"}).ExitStatus, 0);
    }
    stop = true;
    poller.join();
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_TRUE(m_bench->GetDeviceByDeviceAddress(7));
}
