#include "bench_fixture.h"

#include <chrono>
#include <cstring>

namespace {

const std::string OK = " -> 0x00000000";

class ExecutorsTest : public CBenchTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kSmallBench)); }

    void SelectDevice(uint8_t address) { ASSERT_EQ(SelectDeviceByIndex(DeviceIndex(address)), BENCH_OK); }
    // Hub at address 1 is HubList[0].
    void SelectHub() {
        ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
        m_trace.clear();
    }

    uint8_t m_buffer[256] = {};
};

Lines QuiesceAndHalt() {
    return {"QuiescePort root:1" + OK, "QuiescePort root:2" + OK, "QuiescePort root:3" + OK, "QuiescePort root:4" + OK,
            "WriteRegister host:0 1 0 0x00000000" + OK};
}

TEST_F(ExecutorsTest, RootPortTestModeQuiescesEveryPortHaltsThenTestsOnePort) {
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_J, 2), BENCH_OK);
    Lines expected = QuiesceAndHalt();
    expected.push_back("SetPortFeature root:2 21 1 0" + OK);
    EXPECT_EQ(Sent(), expected);
}

TEST_F(ExecutorsTest, TestForceEnableRunsTheControllerAgain) {
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_FORCE_ENABLE, 1), BENCH_OK);
    Lines expected = QuiesceAndHalt();
    expected.push_back("SetPortFeature root:1 21 5 0" + OK);
    expected.push_back("WriteRegister host:0 1 0 0x00000001" + OK);
    EXPECT_EQ(Sent(), expected);
}

TEST_F(ExecutorsTest, RootPortTestModeAcceptedWithAWarningIsASuccess) {
    // Negative with bit 30 set is a success; every front end must show it as one.
    DestroyBench();
    BusModel() = CBusModel{};
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(
        std::string(R"(fault = [{request = "QuiescePort", target = "root:4", status = 0xC0000123}])") + kSmallBench));
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_SE0_NAK, 2), BENCH_OK);
    EXPECT_EQ(Sent().back(), "SetPortFeature root:2 21 3 0" + OK);
}

TEST_F(ExecutorsTest, RootPortTestModeStopsAtAFailedQuiesceOrRegisterRead) {
    // A port that cannot be quiesced: the controller is not halted and the
    // port gets no test mode.
    DestroyBench();
    BusModel() = CBusModel{};
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(
        std::string(
            R"(fault = [{request = "QuiescePort", target = "root:3", status = 0x80001002, count = 1}, {request = "ReadRegister", args = "1 0", status = 0x80001002, count = 3}])") +
        kSmallBench));
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_J, 2), BENCH_E_FAILED);
    EXPECT_EQ(Sent(),
              (Lines{"QuiescePort root:1" + OK, "QuiescePort root:2" + OK, "QuiescePort root:3 -> 0x80001002"}));
    // A command register that cannot be read is never written back.
    for (uint8_t code : {PORT_TEST_TEST_J, PORT_TEST_TEST_FORCE_ENABLE}) {
        EXPECT_EQ(RunHostPortTest(code, 2), BENCH_E_FAILED);
        for (const std::string& line : Sent()) {
            EXPECT_EQ(line.find("WriteRegister"), std::string::npos) << line;
            EXPECT_EQ(line.find("SetPortFeature"), std::string::npos) << line;
        }
    }
}

TEST_F(ExecutorsTest, ControllerThatNeverHaltsFailsInTimeWithoutPortTest) {
    DestroyBench();
    BusModel() = CBusModel{};
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(
        std::string(R"(fault = [{request = "ReadRegister", target = "host:0", args = "1 4", status = 0, value = 0}])") +
        kSmallBench));
    for (uint8_t code : {PORT_TEST_TEST_PACKET, PORT_TEST_TEST_FORCE_ENABLE}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunHostPortTest(code, 2), BENCH_E_FAILED);
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(2));
        for (const std::string& line : Sent()) EXPECT_EQ(line.find("SetPortFeature"), std::string::npos) << line;
    }
}

TEST_F(ExecutorsTest, RootPortActions) {
    EXPECT_EQ(RunHostPortTest(PORT_TEST_SUSPEND, 2), BENCH_OK);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_RESUME, 2), BENCH_OK);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_RESET, 2), BENCH_OK);
    EXPECT_EQ(
        Sent(),
        (Lines{"SetPortFeature root:2 2 0 0" + OK, "ResumePort root:2" + OK, "SetPortFeature root:2 4 0 0" + OK}));
    EXPECT_EQ(RunHostPortTest(PORT_TEST_NONE, 2), BENCH_E_INDEX);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_SS_TX_COMPLIANCE_MODE, 2), BENCH_E_INDEX);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_J, 5), BENCH_E_FAILED);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_J, 0), BENCH_E_FAILED);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ExecutorsTest, HubPortTestModeIdlesTheOtherPortsOnly) {
    EXPECT_EQ(RunHubPortTest(PORT_TEST_TEST_PACKET, 3), BENCH_E_INDEX);  // no hub selected
    SelectHub();
    EXPECT_EQ(RunHubPortTest(PORT_TEST_TEST_PACKET, 3), BENCH_OK);
    EXPECT_EQ(Sent(),
              (Lines{"IdlePort hub@1:1" + OK, "IdlePort hub@1:2" + OK, "IdlePort hub@1:4" + OK,
                     "SetPortFeature hub@1:3 21 4 0" + OK}));
}

TEST_F(ExecutorsTest, HubPortActions) {
    SelectHub();
    EXPECT_EQ(RunHubPortTest(PORT_TEST_SUSPEND, 2), BENCH_OK);
    EXPECT_EQ(RunHubPortTest(PORT_TEST_RESUME, 2), BENCH_OK);
    EXPECT_EQ(RunHubPortTest(PORT_TEST_RESET, 2), BENCH_OK);
    EXPECT_EQ(Sent(),
              (Lines{"SetPortFeature hub@1:2 2 0 0" + OK, "ClearPortFeature hub@1:2 2 0" + OK,
                     "SetPortFeature hub@1:2 4 0 0" + OK}));
    EXPECT_EQ(RunHubPortTest(PORT_TEST_TEST_J, 5), BENCH_E_FAILED);
    EXPECT_EQ(RunHubPortTest(12, 2), BENCH_E_INDEX);
    EXPECT_TRUE(Sent().empty());
}

// Every device command, on a device behind hub port 1.3 and on one on root port 2.
TEST_F(ExecutorsTest, DeviceCommandsSendTheirRequests) {
    const std::vector<std::pair<std::vector<uint8_t>, Lines>> sequences = {
        {{DEVICE_CMD_TEST_J}, {"SetTestMode dev@3 1"}},
        {{DEVICE_CMD_TEST_K}, {"SetTestMode dev@3 2"}},
        {{DEVICE_CMD_TEST_SE0_NAK}, {"SetTestMode dev@3 3"}},
        {{DEVICE_CMD_TEST_PACKET}, {"SetTestMode dev@3 4"}},
        {{DEVICE_CMD_SUSPEND, DEVICE_CMD_RESUME}, {"SetPortFeature hub@1:3 2 0 0", "ResumePort hub@1:3"}},
        {{DEVICE_CMD_RESET}, {"SetPortFeature hub@1:3 4 0 0"}},
        {{DEVICE_CMD_DEVICE_DESCRIPTOR, DEVICE_CMD_ENABLE_WAKEUP, DEVICE_CMD_DISABLE_WAKEUP},
         {"GetDescriptor dev@3 1 0 0 256", "EnableRemoteWakeup dev@3", "DisableRemoteWakeup dev@3"}},
        {{DEVICE_CMD_SINGLE_STEP_SET_FEATURE, DEVICE_CMD_SET_FEATURE_STEP_2},
         {"DoControlTransferSingleStep dev@3 0003003200000000 8 0", "DoControlTransferSingleStep dev@3 0 2"}},
        {{DEVICE_CMD_SINGLE_STEP_GET_DEV_DESC, DEVICE_CMD_GET_DEV_DESC_STEP_2, DEVICE_CMD_GET_DEV_DESC_STEP_3},
         {"DoControlTransferSingleStep dev@3 8006000100001200 8 0", "DoControlTransferSingleStep dev@3 18 1",
          "DoControlTransferSingleStep dev@3 0 2"}},
    };
    for (const auto& [codes, lines] : sequences) {
        // A fresh bus for each, so a test mode does not block the next.
        PowerCycle("1");
        ASSERT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
        SelectDevice(3);
        m_trace.clear();
        Lines expected;
        for (size_t i = 0; i < codes.size(); ++i) {
            EXPECT_EQ(RunDeviceCommand(codes[i], m_buffer, sizeof m_buffer), BENCH_OK) << int(codes[i]);
            expected.push_back(lines[i] + OK);
        }
        EXPECT_EQ(Sent(), expected);
    }
    SelectDevice(4);
    m_trace.clear();
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_SUSPEND, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_RESUME, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(Sent(), (Lines{"SetPortFeature root:2 2 0 0" + OK, "ResumePort root:2" + OK}));
}

TEST_F(ExecutorsTest, SetAddressReadsTheDecimalTextAndSendsItsLowByte) {
    SelectDevice(4);
    for (const auto& [text, address] : {std::pair{"7", 7}, {"abc", 0}, {"300", 44}, {" 12x", 12}}) {
        std::memset(m_buffer, 0, sizeof m_buffer);
        std::strcpy(reinterpret_cast<char*>(m_buffer), text);
        RunDeviceCommand(DEVICE_CMD_SET_ADDRESS, m_buffer, sizeof m_buffer);
        Lines sent = Sent();
        ASSERT_EQ(sent.size(), 1u) << text;
        EXPECT_EQ(sent[0].substr(0, sent[0].find(" ->")), "SetAddress dev@4 " + std::to_string(address)) << text;
        PowerCycle("2");
        ASSERT_EQ(EnumerateBus(true, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
        SelectDevice(4);
        m_trace.clear();
    }
    // Text that fills the buffer without an end is read only within it.
    std::memset(m_buffer, '9', sizeof m_buffer);
    RunDeviceCommand(DEVICE_CMD_SET_ADDRESS, m_buffer, 3);
    EXPECT_EQ(Sent(), (Lines{"SetAddress dev@4 231" + OK}));  // 999 & 0xFF
}

TEST_F(ExecutorsTest, OnlyTheSetFeatureStatusStageTakesItsWarningAsSuccess) {
    DestroyBench();
    BusModel() = CBusModel{};
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(
        std::string(R"(fault = [{request = "DoControlTransferSingleStep", status = 0x80004008}])") + kSmallBench));
    SelectDevice(4);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_SET_FEATURE_STEP_2, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_GET_DEV_DESC_STEP_3, m_buffer, sizeof m_buffer), BENCH_E_FAILED);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_SINGLE_STEP_SET_FEATURE, m_buffer, sizeof m_buffer), BENCH_E_FAILED);
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_SET_FEATURE_STEP_2, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_GET_DEV_DESC_STEP_3, m_buffer, sizeof m_buffer), BENCH_E_FAILED);
    EXPECT_EQ(RunHubDeviceCommand(HUB_DEVICE_CMD_SET_FEATURE_STEP_2, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubDeviceCommand(HUB_DEVICE_CMD_GET_DEV_DESC_STEP_3, m_buffer, sizeof m_buffer), BENCH_E_FAILED);
}

TEST_F(ExecutorsTest, UnknownCodesAndMissingTargetsSendNothing) {
    SelectDevice(4);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_LOOP_DEVICE_DESCRIPTOR, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    EXPECT_EQ(RunDeviceCommand(19, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_NONE, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHostDeviceCommand(10, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    EXPECT_EQ(RunHubDeviceCommand(11, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    // The data stage needs room for a whole device descriptor.
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_GET_DEV_DESC_STEP_2, m_buffer, 17), BENCH_E_FAILED);
    // No hub selected, and a selection past the end of a list.
    EXPECT_EQ(RunHubCommand(HUB_CMD_TEST_J, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    BusModel().SelectedDevice = static_cast<uint8_t>(BusModel().DeviceList.size());
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_J, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    BusModel().SelectedHub = static_cast<uint8_t>(BusModel().HubList.size());
    EXPECT_EQ(RunHubPortTest(PORT_TEST_TEST_J, 1), BENCH_E_INDEX);
    EXPECT_EQ(RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 1), BENCH_E_INDEX);
    BusModel().SelectedHub = NO_SELECTION;
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_ENABLE_WAKEUP, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    BusModel().SelectedDevice = NO_SELECTION;
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_J, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubDeviceCommand(HUB_DEVICE_CMD_TEST_PACKET, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ExecutorsTest, DownstreamListsPutTheirCommandsAtTheirOwnCodes) {
    SelectDevice(2);
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_DEVICE_DESCRIPTOR, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_SINGLE_STEP_SET_FEATURE, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubDeviceCommand(HUB_DEVICE_CMD_TEST_PACKET, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(Sent(),
              (Lines{"GetDescriptor dev@2 1 0 0 256" + OK,
                     "DoControlTransferSingleStep dev@2 0003003200000000 8 0" + OK, "SetTestMode dev@2 4" + OK}));
}

TEST_F(ExecutorsTest, HubCommandsActOnTheHubThroughItsRootPort) {
    SelectHub();
    EXPECT_EQ(RunHubCommand(HUB_CMD_SUSPEND, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubCommand(HUB_CMD_RESUME, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubCommand(HUB_CMD_DEVICE_DESCRIPTOR, m_buffer, sizeof m_buffer), BENCH_OK);
    EXPECT_EQ(RunHubCommand(18, m_buffer, sizeof m_buffer), BENCH_E_INDEX);
    EXPECT_EQ(
        Sent(),
        (Lines{"SetPortFeature root:1 2 0 0" + OK, "ResumePort root:1" + OK, "GetDescriptor hub@1 1 0 0 256" + OK}));
    // Parent test packet: Test Packet on the root port the hub hangs on.
    EXPECT_EQ(RunHubCommand(HUB_CMD_PARENT_TEST_PACKET, m_buffer, sizeof m_buffer), BENCH_OK);
    Lines expected = QuiesceAndHalt();
    expected.push_back("SetPortFeature root:1 21 4 0" + OK);
    EXPECT_EQ(Sent(), expected);
}

TEST_F(ExecutorsTest, ParentTestPacketClimbsToTheRootPort) {
    SelectDevice(3);
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_PARENT_TEST_PACKET, m_buffer, sizeof m_buffer), BENCH_OK);
    Lines expected = QuiesceAndHalt();
    expected.push_back("SetPortFeature root:1 21 4 0" + OK);
    EXPECT_EQ(Sent(), expected);
}

class ComplianceTest : public ExecutorsTest {
protected:
    void SetUp() override {
        ExecutorsTest::SetUp();
        SetRemoveDevicePrompt([this](const std::string& text, const std::string& caption) {
            m_boxes.push_back(text + "|" + caption);
            if (m_unplugAtBox && m_boxes.size() == m_unplugAtBox) Unplug(m_unplug);
            return m_boxes.size() < 5 ? m_answer : PROMPT_CANCEL;  // a port that never empties
        });
    }

    std::vector<std::string> m_boxes;
    size_t m_unplugAtBox = 0;
    std::string m_unplug = "4";
    EPromptAnswer m_answer = PROMPT_OK;
};

TEST_F(ComplianceTest, NothingAttachedGoesStraightToComplianceMode) {
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 3), BENCH_OK);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(Sent(), (Lines{"SetPortLinkFeature root:3 5 10 0" + OK}));
}

TEST_F(ComplianceTest, AttachedDeviceAsksUntilItIsGone) {
    m_unplugAtBox = 1;
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 4), BENCH_OK);
    // The box after the unplug is still shown; its OK proceeds.
    EXPECT_EQ(m_boxes, (Lines{"Remove Downstream Device|", "Remove Downstream Device|"}));
    EXPECT_EQ(Sent(), (Lines{"SetPortLinkFeature root:4 5 10 0" + OK}));
}

TEST_F(ComplianceTest, CancelSendsNothing) {
    m_answer = PROMPT_CANCEL;
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 4), BENCH_E_SELECT);
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ComplianceTest, NoPortOrNoModeShowsNoBox) {
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 9), BENCH_E_FAILED);
    EXPECT_EQ(RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 1), BENCH_E_INDEX);  // no hub selected
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_NONE, 4), BENCH_OK);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ComplianceTest, HubPortAndFailedLinkRequest) {
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);  // the SuperSpeed hub
    m_trace.clear();
    EXPECT_EQ(RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 2), BENCH_OK);
    m_unplugAtBox = 2;
    m_unplug = "4.1";
    EXPECT_EQ(RunHubPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 1), BENCH_OK);
    EXPECT_EQ(m_boxes.size(), 3u);
    EXPECT_EQ(Sent(), (Lines{"SetPortLinkFeature hub@5:2 5 10 0" + OK, "SetPortLinkFeature hub@5:1 5 10 0" + OK}));
    // A USB 2.0 port has no SuperSpeed link to move.
    m_boxes.clear();
    m_unplugAtBox = 1;
    m_unplug = "2";
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 2), BENCH_E_SELECT);
    EXPECT_EQ(m_boxes.size(), 2u);
}

}  // namespace
