// The request trace: one line per request in the documented format, and the
// fault table, which matches on the same texts.
#include "sim_test_util.h"

#include <fstream>
#include <sstream>

namespace {

// The default bench with extra entries appended.
std::unique_ptr<CBLBackend> DefaultWith(const std::string& faults) {
    std::ifstream file(VOLTARIS_EXAMPLES "/default-bench.toml");
    std::stringstream text;
    text << file.rdbuf();
    return LoadBench(text.str() + faults);
}

}  // namespace

TEST(SimTrace, EveryRequestIsOneLineWithTargetArgumentsStatusAndOutValues) {
    auto backend = BLSimCreateDefault();
    CTraceCapture trace;
    {
        CBenchHolder bench(backend->CreateBenchline());
        bench->SelectStack(BL_STACK_COMPLIANCE);
        CHostController* host = bench->FindFirstHC();
        bench->FindNextHC();
        bench->SelectHostController(host, true, false);
        uint32_t value;
        host->ReadRegister(BL_REG_USBSTS, &value);
        host->WriteRegister(BL_REG_USBCMD, 0);
        host->GetHostPort(2)->GetPortStatus(&value);
        host->GetHostPort(2)->SetPortFeature(BL_PORT_TEST, 1, 0);
        host->WriteRegister(BL_REG_USBCMD, 1);
        host->GetHostPort(5)->IsSuperSpeedPort();
        host->GetNumberHostPorts();
        auto* hub = static_cast<CHubDevice*>(bench->GetDeviceByDeviceAddress(1));
        hub->GetHubPort(3)->GetPortStatus(&value);
        CDevice* drive = bench->GetDeviceByDeviceAddress(2);
        uint16_t vid, pid, serial;
        drive->GetVidPidSerialNumber(&vid, &pid, &serial);
        uint8_t address;
        drive->GetAddress(&address);
        uint8_t packet[8] = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};
        drive->DoControlTransferSingleStep(packet, 8, BL_SETUP_STAGE, nullptr, nullptr);
        uint8_t data[18];
        drive->DoControlTransferSingleStep(data, 18, BL_DATA_STAGE, nullptr, nullptr);
        drive->GetDescriptor(1, 0, 0, data, 18);
        bench->GetDeviceByDeviceAddress(7)->SetTestMode(BL_TEST_PACKET);
        bench->GetDeviceByDeviceAddress(7)->GetVidPidSerialNumber(&vid, &pid, &serial);
        bench->GetDeviceByDeviceAddress(9);
        bench->GetBLInterface()->GetDriverVersion(&value);
        bench->Enumerate();
    }
    const std::vector<std::string> expected = {
        "new CXhciBenchline",
        "SelectStack bench 5 -> 0x00000000",
        "FindFirstHC bench -> host:0",
        "FindNextHC bench -> null",
        "SelectHostController bench host:0 1 0 -> 0x00000000",
        "ReadRegister host:0 1 4 -> 0x00000000 0x00000000",
        "WriteRegister host:0 1 0 0x00000000 -> 0x00000000",
        "GetHostPort host:0 2 -> root:2",
        "GetPortStatus root:2 -> 0x00000000 0x00000001",
        "GetHostPort host:0 2 -> root:2",
        "SetPortFeature root:2 21 1 0 -> 0x00000000",
        "WriteRegister host:0 1 0 0x00000001 -> 0x00000000",
        "GetHostPort host:0 5 -> root:5",
        "IsSuperSpeedPort root:5 -> 1",
        "GetNumberHostPorts host:0 -> 8",
        "GetDeviceByDeviceAddress bench 1 -> hub@1",
        "GetHubPort hub@1 3 -> hub@1:3",
        "GetPortStatus hub@1:3 -> 0x00000000 0x00000103",
        "GetDeviceByDeviceAddress bench 2 -> dev@2",
        "GetVidPidSerialNumber dev@2 -> 0x00000000 0x3A17 0x1001 0x0101",
        "GetAddress dev@2 -> 0x00000000 2",
        "DoControlTransferSingleStep dev@2 8006000100001200 8 0 -> 0x00000000",
        "DoControlTransferSingleStep dev@2 18 1 -> 0x00000000",
        "GetDescriptor dev@2 1 0 0 18 -> 0x00000000",
        "GetDeviceByDeviceAddress bench 7 -> dev@7",
        "SetTestMode dev@7 4 -> 0x00000000",
        "GetDeviceByDeviceAddress bench 7 -> dev@7",
        "GetVidPidSerialNumber dev@7 -> 0x80001001",
        "GetDeviceByDeviceAddress bench 9 -> null",
        "GetBLInterface bench -> interface",
        "GetDriverVersion interface -> 0x00000000 0x01000300",
        "Enumerate bench -> 0x00000000",
        "delete CXhciBenchline",
    };
    EXPECT_EQ(trace.Take(), expected);
}

TEST(SimFaults, CountLimitsHowOftenAFaultFiresAndValueReplacesTheOutValue) {
    auto backend = DefaultWith(R"(
[[fault]]
request = "ReadRegister"
target = "host:0"
args = "1 4"
status = 0
value = 1
count = 2
)");
    CBenchHolder bench(backend->CreateBenchline());
    CHostController* host = bench->FindFirstHC();
    uint32_t value = 0;
    CTraceCapture trace;
    EXPECT_EQ(host->ReadRegister(BL_REG_USBSTS, &value), 0);
    EXPECT_EQ(value, 1u) << "reads halted although running";
    EXPECT_EQ(host->ReadRegister(BL_REG_USBCMD, &value), 0);
    EXPECT_EQ(value, 1u) << "other args do not match";
    EXPECT_EQ(host->ReadRegister(BL_REG_USBSTS, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(host->ReadRegister(BL_REG_USBSTS, &value), 0);
    EXPECT_EQ(value, 0u) << "count spent";
    std::vector<std::string> lines = trace.Take();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "ReadRegister host:0 1 4 -> 0x00000000 0x00000001") << "the trace shows what the caller got";
}

TEST(SimFaults, AFailingFaultAnswersInsteadOfTheHardware) {
    auto backend = DefaultWith(R"(
[[fault]]
request = "SetTestMode"
target = "dev@4"
status = 0x80000005
[[fault]]
request = "GetDeviceByDeviceAddress"
args = "3"
status = 0x80000005
[[fault]]
request = "GetDriverVersion"
status = 0
value = 0x01000400
)");
    CBenchHolder bench(backend->CreateBenchline());
    CDevice* camera = bench->GetDeviceByDeviceAddress(4);
    EXPECT_EQ(camera->SetTestMode(BL_TEST_J), static_cast<BLSTATUS>(0x80000005u));
    EXPECT_EQ(camera->SetTestMode(BL_TEST_J), static_cast<BLSTATUS>(0x80000005u)) << "no count: always";
    uint16_t vid, pid, serial;
    EXPECT_EQ(camera->GetVidPidSerialNumber(&vid, &pid, &serial), 0) << "the device never entered the test mode";
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(2)->SetTestMode(BL_TEST_J), 0) << "other targets unaffected";
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(3), nullptr);
    EXPECT_NE(bench->GetDeviceByDeviceAddress(1), nullptr);
    uint32_t version = 0;
    EXPECT_EQ(bench->GetBLInterface()->GetDriverVersion(&version), 0);
    EXPECT_EQ(version, 0x01000400u);
}

TEST(SimFaults, EnumerateWarningStillRescansTheBus) {
    auto backend = DefaultWith(R"(
[[fault]]
request = "Enumerate"
status = 0x80007009
count = 1
)");
    CBenchHolder bench(backend->CreateBenchline());
    ASSERT_EQ(bench->GetDeviceByDeviceAddress(4)->SetTestMode(BL_TEST_J), 0);
    EXPECT_EQ(bench->Enumerate(), BL_S_ENUMERATE_WARNING);
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(7), nullptr) << "the device in a test mode was dropped";
    EXPECT_EQ(bench->Enumerate(), 0);
}

TEST(SimFaults, StackSwitcherRequestsTakeTheFaultStatus) {
    auto backend = DefaultWith(R"(
[[fault]]
request = "InitRailswap"
target = "list"
status = 1
[[fault]]
request = "InitRailswap"
target = "select"
args = "other"
status = 0
[[fault]]
request = "InitRailswap"
target = "stack"
status = -2147483648
count = 1
[[fault]]
request = "CleanupRailswap"
target = "stack"
status = 7
)");
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_LIST, ""), 1);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_SELECT, "other"), 0) << "names no controller, but the fault answers";
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_SELECT, "nobody"), -1);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_STACK, ""), INT32_MIN);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_STACK, ""), 0);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 7);
}
