// The default bench behaves like hardware: test modes, halting, port states,
// control transfer stages, addressing, enumeration and hot plug.
//
// Default bench addresses: 1 hub at 1, 2 device at 1.1, 3 device at 1.3,
// 4 device at 2, 5 SuperSpeed hub at 5, 6 device at 5.2, 7 device at 6.
#include "sim_test_util.h"

namespace {

class SimHardware : public ::testing::Test {
protected:
    SimHardware() : m_backend(BLSimCreateDefault()), m_bench(m_backend->CreateBenchline()) {
        m_host = m_bench->FindFirstHC();
        EXPECT_EQ(m_bench->SelectHostController(m_host, true, false), 0);
    }

    CDevice* Dev(uint8_t address) { return m_bench->GetDeviceByDeviceAddress(address); }
    CHubDevice* Hub(uint8_t address) { return dynamic_cast<CHubDevice*>(Dev(address)); }
    CHostPort* Root(uint32_t port) { return m_host->GetHostPort(port); }
    BLSTATUS Ask(CDevice* device) {
        uint16_t vid, pid, serial;
        return device->GetVidPidSerialNumber(&vid, &pid, &serial);
    }
    uint16_t Vid(uint8_t address) {
        uint16_t vid = 0, pid, serial;
        CDevice* device = Dev(address);
        EXPECT_TRUE(device) << int(address);
        if (device) {
            EXPECT_EQ(device->GetVidPidSerialNumber(&vid, &pid, &serial), 0) << int(address);
        }
        return vid;
    }
    uint32_t Status(CBLPort* port) {
        uint32_t status = 0xFFFFFFFF;
        EXPECT_EQ(port->GetPortStatus(&status), 0);
        return status;
    }
    uint32_t Register(tagRegSelector reg) {
        uint32_t value = 0xFFFFFFFF;
        EXPECT_EQ(m_host->ReadRegister(reg, &value), 0);
        return value;
    }
    void SetRunning(bool run) { EXPECT_EQ(m_host->WriteRegister(BL_REG_USBCMD, run ? 1 : 0), 0); }

    std::unique_ptr<CBLBackend> m_backend;
    CBenchHolder m_bench;
    CHostController* m_host = nullptr;
};

}  // namespace

TEST_F(SimHardware, DeviceTestModeSilencesItUntilPowerCycleAndEnumerate) {
    CDevice* camera = Dev(4);
    EXPECT_EQ(camera->SetTestMode(BL_TEST_PACKET), 0);
    EXPECT_EQ(Ask(camera), BL_SIM_E_NO_RESPONSE);
    uint8_t address = 0;
    EXPECT_EQ(camera->GetAddress(&address), 0) << "the host still has its records";
    EXPECT_EQ(address, 4);
    EXPECT_EQ(camera->SetTestMode(BL_TEST_J), BL_SIM_E_NO_RESPONSE);

    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Vid(4), 0x2B4E) << "the camera is not found; the SuperSpeed hub moves up to 4";
    EXPECT_EQ(Dev(7), nullptr);
    EXPECT_EQ(camera->GetAddress(&address), BL_SIM_E_NOT_CONNECTED);

    std::string error;
    ASSERT_TRUE(BLSimPowerCycle(m_backend.get(), 0, "2", error)) << error;
    EXPECT_EQ(Dev(7), nullptr) << "found again only by the next enumeration";
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Dev(4), camera);
    EXPECT_EQ(Ask(camera), 0);
}

TEST_F(SimHardware, HubInTestModeLosesEverythingBelowIt) {
    EXPECT_EQ(Dev(1)->SetTestMode(BL_TEST_K), 0);
    EXPECT_EQ(Ask(Dev(2)), BL_SIM_E_NO_RESPONSE);
    uint32_t status;
    EXPECT_EQ(Hub(1)->GetHubPort(1)->GetPortStatus(&status), BL_SIM_E_NO_RESPONSE);
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Vid(1), 0x1C4D) << "the camera on root port 2 is now first";
    EXPECT_EQ(Dev(5), nullptr);
    EXPECT_EQ(Dev(1)->SetTestMode(static_cast<tagBL_TEST_MODE_SELECTOR>(5)), BL_SIM_E_REFUSED);
    EXPECT_EQ(Dev(1)->SetTestMode(static_cast<tagBL_TEST_MODE_SELECTOR>(0)), BL_SIM_E_REFUSED);
}

TEST_F(SimHardware, RunStopHaltsAndRestartsTheController) {
    EXPECT_EQ(Register(BL_REG_USBCMD), 1u);
    EXPECT_EQ(Register(BL_REG_USBSTS), 0u);
    SetRunning(false);
    EXPECT_EQ(Register(BL_REG_USBSTS), 1u);
    EXPECT_EQ(Ask(Dev(2)), BL_SIM_E_NO_RESPONSE);
    EXPECT_EQ(Status(Root(2)), 1u) << "port requests still work";
    SetRunning(true);
    EXPECT_EQ(Register(BL_REG_USBSTS), 0u);
    EXPECT_EQ(Ask(Dev(2)), 0);

    uint32_t value;
    EXPECT_EQ(m_host->ReadRegister({1, 8}, &value), BL_SIM_E_INVALID_ARGUMENT);
    EXPECT_EQ(m_host->ReadRegister({0, 0}, &value), BL_SIM_E_INVALID_ARGUMENT);
    EXPECT_EQ(m_host->WriteRegister({2, 0}, 0), BL_SIM_E_INVALID_ARGUMENT);
}

TEST_F(SimHardware, RootPortTestModeNeedsAHaltedControllerAndAUsb2Port) {
    EXPECT_EQ(Root(2)->SetPortFeature(BL_PORT_TEST, 1, 0), BL_SIM_E_REFUSED) << "running";
    SetRunning(false);
    EXPECT_EQ(Root(6)->SetPortFeature(BL_PORT_TEST, 1, 0), BL_SIM_E_REFUSED) << "SuperSpeed port";
    EXPECT_EQ(Root(2)->SetPortFeature(BL_PORT_TEST, 0, 0), BL_SIM_E_REFUSED);
    EXPECT_EQ(Root(2)->SetPortFeature(BL_PORT_TEST, 6, 0), BL_SIM_E_REFUSED);
    EXPECT_EQ(Root(2)->SetPortFeature(BL_PORT_TEST, 4, 0), 0);
    SetRunning(true);
    EXPECT_EQ(Ask(Dev(4)), BL_SIM_E_NO_RESPONSE) << "the port sends its test pattern";
    EXPECT_EQ(Ask(Dev(7)), 0);
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Ask(Dev(4)), 0);
}

TEST_F(SimHardware, ForceEnableIsAcceptedHaltedAndTheControllerRunsAgain) {
    for (uint32_t p = 1; p <= 8; ++p) EXPECT_EQ(Root(p)->QuiescePort(), 0);
    SetRunning(false);
    EXPECT_EQ(Root(3)->SetPortFeature(BL_PORT_TEST, 5, 0), 0);
    SetRunning(true);
    EXPECT_EQ(Register(BL_REG_USBSTS), 0u);
    EXPECT_EQ(Ask(Dev(4)), BL_SIM_E_NO_RESPONSE) << "quiesced ports stay disabled until enumeration";
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Ask(Dev(4)), 0);
}

TEST_F(SimHardware, SingleStepStagesMustComeInOrder) {
    CDevice* drive = Dev(2);
    uint8_t getDescriptor[8] = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};
    uint8_t setFeature[8] = {0x00, 0x03, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00};
    uint8_t data[18] = {};
    auto step = [&](uint8_t* buffer, uint32_t length, tagSINGLE_STEP stage) {
        return drive->DoControlTransferSingleStep(buffer, length, stage, nullptr, nullptr);
    };
    EXPECT_EQ(step(nullptr, 0, BL_STATUS_STAGE), BL_SIM_E_REFUSED);
    EXPECT_EQ(step(getDescriptor, 8, BL_SETUP_STAGE), 0);
    EXPECT_EQ(step(nullptr, 0, BL_STATUS_STAGE), BL_SIM_E_REFUSED) << "data stage skipped";
    EXPECT_EQ(step(data, 18, BL_DATA_STAGE), BL_SIM_E_REFUSED) << "the failure reset the sequence";

    EXPECT_EQ(step(getDescriptor, 8, BL_SETUP_STAGE), 0);
    EXPECT_EQ(step(data, 18, BL_DATA_STAGE), 0);
    EXPECT_EQ(step(nullptr, 0, BL_STATUS_STAGE), 0);
    uint8_t descriptor[18];
    ASSERT_EQ(drive->GetDescriptor(1, 0, 0, descriptor, 18), 0);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 18), std::vector<uint8_t>(descriptor, descriptor + 18));

    EXPECT_EQ(step(setFeature, 8, BL_SETUP_STAGE), 0);
    EXPECT_EQ(step(data, 18, BL_DATA_STAGE), BL_SIM_E_REFUSED) << "SET_FEATURE has no data stage";
    EXPECT_EQ(step(setFeature, 8, BL_SETUP_STAGE), 0);
    EXPECT_EQ(step(nullptr, 0, BL_STATUS_STAGE), 0);

    uint8_t configuration[8] = {0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0x09, 0x00};
    EXPECT_EQ(step(configuration, 8, BL_SETUP_STAGE), BL_SIM_E_REFUSED) << "stall";
    EXPECT_EQ(step(getDescriptor, 7, BL_SETUP_STAGE), BL_SIM_E_INVALID_ARGUMENT);
    uint8_t shortRead[8] = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x08, 0x00};
    uint8_t eight[18] = {};
    EXPECT_EQ(step(shortRead, 8, BL_SETUP_STAGE), 0);
    EXPECT_EQ(step(eight, 18, BL_DATA_STAGE), 0);
    EXPECT_EQ(eight[7], descriptor[7]);
    EXPECT_EQ(eight[8], 0) << "only wLength bytes";
}

TEST_F(SimHardware, TransmitterComplianceNeedsAnEmptySuperSpeedPort) {
    EXPECT_EQ(Root(6)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), BL_SIM_E_REFUSED);
    std::string error;
    ASSERT_TRUE(BLSimUnplug(m_backend.get(), 0, "6", error)) << error;
    EXPECT_EQ(Status(Root(6)), 2u) << "disconnected, connect change";
    EXPECT_EQ(Root(6)->SetPortLinkFeature(BL_PORT_LINK_STATE, 9, 0, nullptr), BL_SIM_E_REFUSED);
    EXPECT_EQ(Root(6)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), 0);
    EXPECT_EQ(Root(3)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), BL_SIM_E_REFUSED)
        << "USB 2.0 port";

    EXPECT_EQ(Hub(5)->GetHubPort(1)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), 0);
    EXPECT_EQ(Hub(5)->GetHubPort(2)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr),
              BL_SIM_E_REFUSED);
    EXPECT_EQ(Hub(1)->GetHubPort(2)->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr),
              BL_SIM_E_REFUSED);
    EXPECT_TRUE(Hub(5)->GetHubPort(1)->IsSuperSpeedPort());
    EXPECT_FALSE(Hub(1)->GetHubPort(1)->IsSuperSpeedPort());
}

TEST_F(SimHardware, SetAddressMovesTheDeviceToAFreeAddress) {
    CDevice* camera = Dev(4);
    EXPECT_EQ(camera->SetAddress(20), 0);
    EXPECT_EQ(Dev(20), camera);
    EXPECT_EQ(Dev(4), nullptr);
    uint8_t address = 0;
    EXPECT_EQ(camera->GetAddress(&address), 0);
    EXPECT_EQ(address, 20);
    EXPECT_EQ(camera->SetAddress(20), 0) << "its own address";
    EXPECT_EQ(camera->SetAddress(2), BL_SIM_E_REFUSED) << "in use";
    EXPECT_EQ(camera->SetAddress(0), BL_SIM_E_INVALID_ARGUMENT);
    EXPECT_EQ(camera->SetAddress(255), BL_SIM_E_INVALID_ARGUMENT);
    uint8_t parent = 99;
    EXPECT_EQ(Dev(2)->GetParentHubAddress(&parent), 0);
    EXPECT_EQ(parent, 1);
    EXPECT_EQ(Dev(1)->SetAddress(30), 0);
    EXPECT_EQ(Dev(2)->GetParentHubAddress(&parent), 0);
    EXPECT_EQ(parent, 30);
}

TEST_F(SimHardware, EnumerateReadressesDepthFirstAndSkipsUnpluggedSubtrees) {
    std::string error;
    ASSERT_TRUE(BLSimUnplug(m_backend.get(), 0, "1.1", error));
    EXPECT_EQ(Dev(2), nullptr) << "an unplugged device loses its address at once";
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Vid(1), 0x2B4E);
    EXPECT_EQ(Vid(2), 0x3A17) << "the keyboard at 1.3";
    EXPECT_EQ(Vid(3), 0x1C4D);
    EXPECT_EQ(Dev(7), nullptr);

    ASSERT_TRUE(BLSimUnplug(m_backend.get(), 0, "5", error));
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Dev(5), nullptr) << "the SuperSpeed hub and the disk below it are gone";
    EXPECT_EQ(Vid(4), 0x1C4D);

    ASSERT_TRUE(BLSimPlug(m_backend.get(), 0, "5", error));
    ASSERT_TRUE(BLSimPlug(m_backend.get(), 0, "1.1", error));
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Vid(7), 0x1C4D);
}

TEST_F(SimHardware, SuspendAndResumeBelowAHub) {
    CHubPort* port1 = Hub(1)->GetHubPort(1);
    CHubPort* port2 = Hub(1)->GetHubPort(2);
    CHubPort* port3 = Hub(1)->GetHubPort(3);
    EXPECT_EQ(Hub(1)->GetHubPort(5), nullptr);
    EXPECT_EQ(Status(port1), 0x0503u) << "connected, enabled, powered, high-speed";
    EXPECT_EQ(Status(port2), 0x0100u) << "empty, powered";
    EXPECT_EQ(Status(port3), 0x0103u) << "full-speed";

    EXPECT_EQ(port1->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(Status(port1) & 4u, 4u);
    EXPECT_EQ(Ask(Dev(2)), BL_SIM_E_NO_RESPONSE);
    EXPECT_EQ(Ask(Dev(3)), 0);
    EXPECT_EQ(port1->ClearPortFeature(BL_PORT_SUSPEND, 0), 0);
    EXPECT_EQ(Ask(Dev(2)), 0);
    EXPECT_EQ(port1->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(port1->ResumePort(), 0);
    EXPECT_EQ(Ask(Dev(2)), 0);

    // Suspending the root port above the hub silences the hub and its ports.
    EXPECT_EQ(Root(1)->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(Ask(Dev(1)), BL_SIM_E_NO_RESPONSE);
    uint32_t status;
    EXPECT_EQ(port1->GetPortStatus(&status), BL_SIM_E_NO_RESPONSE);
    EXPECT_EQ(Root(1)->ClearPortFeature(BL_PORT_SUSPEND, 0), 0);
    EXPECT_EQ(Ask(Dev(2)), 0);
    EXPECT_EQ(port1->SetPortFeature(BL_PORT_LINK_STATE, 0, 0), BL_SIM_E_REFUSED) << "unknown feature";
}

TEST_F(SimHardware, HubPortTestModeNeedsTheOtherEnabledPortsSuspended) {
    CHubDevice* hub = Hub(1);
    EXPECT_EQ(hub->GetHubPort(2)->SetPortFeature(BL_PORT_TEST, 4, 0), BL_SIM_E_REFUSED);
    EXPECT_EQ(hub->GetHubPort(1)->IdlePort(), 0);
    EXPECT_EQ(hub->GetHubPort(2)->SetPortFeature(BL_PORT_TEST, 4, 0), BL_SIM_E_REFUSED) << "port 3 still enabled";
    EXPECT_EQ(hub->GetHubPort(3)->IdlePort(), 0);
    EXPECT_EQ(hub->GetHubPort(4)->IdlePort(), 0) << "nothing to suspend on an empty port";
    EXPECT_EQ(hub->GetHubPort(2)->SetPortFeature(BL_PORT_TEST, 6, 0), BL_SIM_E_REFUSED);
    EXPECT_EQ(hub->GetHubPort(2)->SetPortFeature(BL_PORT_TEST, 4, 0), 0);
    EXPECT_EQ(Status(hub->GetHubPort(2)) & 0x800u, 0x800u);
    EXPECT_EQ(Ask(hub), 0) << "the hub itself still answers";

    EXPECT_EQ(Hub(5)->GetHubPort(1)->SetPortFeature(BL_PORT_TEST, 4, 0), BL_SIM_E_REFUSED) << "SuperSpeed hub";
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Status(hub->GetHubPort(2)), 0x0100u) << "enumeration cleared the test mode";
    EXPECT_EQ(Ask(Dev(2)), 0) << "and the suspend of the idled ports";
}

TEST_F(SimHardware, PortResetClearsSuspendAndTestModesBelowButKeepsAddresses) {
    EXPECT_EQ(Hub(1)->GetHubPort(3)->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(Root(1)->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(Root(1)->SetPortFeature(BL_PORT_RESET, 0, 0), 0);
    EXPECT_EQ(Ask(Dev(1)), 0);
    EXPECT_EQ(Ask(Dev(3)), 0) << "the hub port below was reset too";
    EXPECT_EQ(Vid(3), 0x3A17);

    EXPECT_EQ(Dev(4)->SetTestMode(BL_TEST_J), 0);
    EXPECT_EQ(Root(2)->SetPortFeature(BL_PORT_RESET, 0, 0), 0);
    EXPECT_EQ(Ask(Dev(4)), BL_SIM_E_NO_RESPONSE) << "a device test mode ends only with a power cycle";
}

TEST_F(SimHardware, QuiescedPortSilencesItsDeviceUntilEnumerate) {
    EXPECT_EQ(Root(2)->QuiescePort(), 0);
    EXPECT_EQ(Ask(Dev(4)), BL_SIM_E_NO_RESPONSE);
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Ask(Dev(4)), 0);
}

TEST_F(SimHardware, HotPlugSetsConnectAndChangeBits) {
    CHubPort* port3 = Hub(1)->GetHubPort(3);
    std::string error;
    ASSERT_TRUE(BLSimUnplug(m_backend.get(), 0, "1.3", error));
    EXPECT_EQ(Status(port3), 0x10100u) << "disconnected, change";
    EXPECT_EQ(port3->ClearPortFeature(BL_C_PORT_CONNECTION, 0), 0);
    EXPECT_EQ(Status(port3), 0x0100u);
    ASSERT_TRUE(BLSimPlug(m_backend.get(), 0, "1.3", error));
    EXPECT_EQ(Status(port3), 0x10103u);
    EXPECT_EQ(Dev(3), nullptr) << "not addressed before the next enumeration";
    ASSERT_EQ(m_bench->Enumerate(), 0);
    EXPECT_EQ(Status(port3), 0x0103u) << "enumeration clears change bits";
    EXPECT_EQ(Vid(3), 0x3A17);

    ASSERT_TRUE(BLSimUnplug(m_backend.get(), 0, "2", error));
    EXPECT_EQ(Status(Root(2)), 2u);
    EXPECT_EQ(Root(2)->ClearPortFeature(BL_C_PORT_CONNECTION, 0), 0);
    EXPECT_EQ(Status(Root(2)), 0u);

    EXPECT_FALSE(BLSimUnplug(m_backend.get(), 0, "2", error));
    EXPECT_EQ(error, "the device at 2 is already unplugged");
    EXPECT_FALSE(BLSimPlug(m_backend.get(), 0, "1.3", error));
    EXPECT_EQ(error, "the device at 1.3 is already plugged in");
    EXPECT_FALSE(BLSimUnplug(m_backend.get(), 0, "1.2", error));
    EXPECT_EQ(error, "no device at 1.2 on controller 0");
    EXPECT_FALSE(BLSimPowerCycle(m_backend.get(), 1, "1", error));
    EXPECT_EQ(error, "no controller 1 on this bench");
}

TEST_F(SimHardware, DescriptorReadsAndRemoteWakeup) {
    uint8_t buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(Dev(2)->GetDescriptor(1, 0, 0, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 18);
    EXPECT_EQ(buffer[8], 0xEE) << "no more than asked for";
    EXPECT_EQ(Dev(2)->GetDescriptor(1, 0, 0, buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[18], 0xEE) << "no more than 18 bytes";
    EXPECT_EQ(Dev(2)->GetDescriptor(2, 0, 0, buffer, 9), BL_SIM_E_REFUSED);
    EXPECT_EQ(Dev(2)->GetDescriptor(1, 1, 0, buffer, 18), BL_SIM_E_REFUSED);
    EXPECT_EQ(Dev(2)->GetDescriptor(1, 0, 0, nullptr, 18), BL_SIM_E_INVALID_ARGUMENT);
    EXPECT_EQ(Dev(2)->EnableRemoteWakeup(), 0);
    EXPECT_EQ(Dev(2)->DisableRemoteWakeup(), 0);
    uint8_t* none = nullptr;
    EXPECT_EQ(Dev(2)->GetAddress(none), BL_SIM_E_INVALID_ARGUMENT);
}

TEST_F(SimHardware, HardwareStateOutlivesRootObjects) {
    EXPECT_EQ(Dev(4)->SetTestMode(BL_TEST_SE0_NAK), 0);
    CDevice* camera = Dev(4);
    m_bench.reset();
    CBenchHolder again(m_backend->CreateBenchline());
    EXPECT_EQ(again->GetDeviceByDeviceAddress(4), camera) << "device objects live as long as the bench";
    EXPECT_EQ(Ask(camera), BL_SIM_E_NO_RESPONSE);
}

TEST(SimSwitchStack, AnswersByTheControllersOnTheBench) {
    auto backend = BLSimCreateDefault();
    std::string id = backend->HostIds().at(0);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_LIST, ""), 0);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_SELECT, id), 0);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_SELECT, id + "x"), -1);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_STACK, ""), 0);
    EXPECT_EQ(backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 0);
}
