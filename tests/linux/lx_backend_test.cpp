// The linux bench on a fake sysfs tree (a temporary directory) and a fake
// usbfs that records every setup packet: discovery, port numbering,
// addresses, identities, the exact encoding of each request, and the
// rebinding of a controller that a root-port test mode stopped.
#include "bench/bus_model.h"
#include "bench/executors.h"
#include "benchline/linux.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One request as usbfs saw it: "bus-dev RT RQ VVVV IIII LLLL".
std::string Describe(unsigned bus, unsigned device, const CLxSetup& setup) {
    char text[64];
    std::snprintf(text, sizeof text, "%u-%u %02x %02x %04x %04x %04x", bus, device, setup.RequestType,
                  setup.Request, setup.Value, setup.Index, setup.Length);
    return text;
}

class CFakeSystem : public CLxSystem {
public:
    int Control(unsigned bus, unsigned device, const CLxSetup& setup, uint8_t* data) override {
        std::string request = Describe(bus, device, setup);
        Requests.push_back(request);
        // Answers are keyed by the request without its length.
        auto answer = Answers.find(request.substr(0, request.size() - 5));
        if (answer == Answers.end()) return 0;
        if (answer->second.Error) return -answer->second.Error;
        size_t n = std::min<size_t>(setup.Length, answer->second.Data.size());
        std::copy_n(answer->second.Data.begin(), n, data);
        return static_cast<int>(n);
    }
    int WriteAttribute(const std::string& path, const std::string& text) override {
        Writes.push_back(fs::path(path).filename().string() + " " + text);
        return 0;
    }
    void Sleep(unsigned) override {
        ++Sleeps;
        if (OnSleep) OnSleep();
    }

    struct CAnswer {
        int Error = 0;
        std::vector<uint8_t> Data;
    };
    std::map<std::string, CAnswer> Answers;
    std::vector<std::string> Requests;
    std::vector<std::string> Writes;
    unsigned Sleeps = 0;
    std::function<void()> OnSleep;
};

class CLinuxBenchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("lx_test_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        // An xHCI controller: USB 2.0 root hub of 4 ports, USB 3 root hub of 4.
        //   1-1 high-speed hub of 4 ports, 1-1.1 and 1-1.3 below it, 1-2 a
        //   keyboard, 2-1 a SuperSpeed storage device.
        std::string xhci = "bus/pci/drivers/xhci_hcd/0000:00:04.0";
        File(xhci + "/vendor", "0x1b36");
        File(xhci + "/device", "0x000d");
        RootHub(xhci + "/usb1", 1, "480", 4);
        RootHub(xhci + "/usb2", 2, "5000", 4);
        Device(xhci + "/usb1/1-1", 1, 2, "480", "0451", "2046", "", 4);
        fs::create_directories(m_root / xhci / "usb1/1-1/1-1:1.0");
        Device(xhci + "/usb1/1-1/1-1.3", 1, 4, "480", "0781", "5567", "AA01", 0);
        Device(xhci + "/usb1/1-1/1-1.1", 1, 3, "12", "046d", "c077", "", 0);
        Device(xhci + "/usb1/1-2", 1, 5, "1.5", "0627", "0001", "42", 0);
        Device(xhci + "/usb2/2-1", 2, 2, "5000", "0bda", "9210", "XYZ", 0);
        File("bus/pci/drivers/xhci_hcd/bind", "");
        fs::create_directories(m_root / "bus/pci/drivers/xhci_hcd/module");
        // The USB/IP virtual controller, with nothing attached.
        std::string vhci = "bus/platform/drivers/vhci_hcd/vhci_hcd.0";
        RootHub(vhci + "/usb3", 3, "480", 8);
        RootHub(vhci + "/usb4", 4, "5000", 8);
    }
    void TearDown() override {
        DestroyBench();
        BusModel() = CBusModel{};
        BLInstallBackend(nullptr);
        fs::remove_all(m_root);
    }

    void File(const std::string& path, const std::string& text) {
        fs::create_directories((m_root / path).parent_path());
        std::ofstream(m_root / path) << text << "\n";
    }
    void RootHub(const std::string& dir, unsigned bus, const char* speed, unsigned ports) {
        File(dir + "/busnum", std::to_string(bus));
        File(dir + "/devnum", "1");
        File(dir + "/speed", speed);
        File(dir + "/maxchild", std::to_string(ports));
    }
    void Device(const std::string& dir, unsigned bus, unsigned devnum, const char* speed, const char* vid,
                const char* pid, const char* serial, unsigned ports) {
        RootHub(dir, bus, speed, ports);
        File(dir + "/devnum", std::to_string(devnum));
        File(dir + "/idVendor", vid);
        File(dir + "/idProduct", pid);
        if (*serial) File(dir + "/serial", serial);
    }

    // A backend on the tree behind the bus model, the xHCI controller
    // selected and enumerated.
    void Start() {
        auto system = std::make_unique<CFakeSystem>();
        m_system = system.get();
        m_backend = BLLinuxCreate(std::move(system), m_root.string()).release();
        BLInstallBackend(m_backend);
        ASSERT_EQ(CreateBench(), BENCH_OK);
        ASSERT_EQ(BuildHostList(m_hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
        m_system->Requests.clear();
    }
    std::vector<std::string> Take() { return std::exchange(m_system->Requests, {}); }

    fs::path m_root;
    CFakeSystem* m_system = nullptr;
    CBLBackend* m_backend = nullptr;
    std::vector<HostRecord> m_hosts;
    std::vector<DeviceRecord> m_devices;
    std::vector<HubRecord> m_hubs;
};

TEST_F(CLinuxBenchTest, ListsControllersWithUsb2PortsBeforeSuperSpeedPorts) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(m_hosts.size(), 2u);
    EXPECT_STREQ(m_hosts[0].HostId, "xHCI 0000:00:04.0 (1b36:000d)");
    EXPECT_STREQ(m_hosts[1].HostId, "vhci_hcd.0");
    EXPECT_EQ(m_backend->HostIds(), (std::vector<std::string>{"xHCI 0000:00:04.0 (1b36:000d)", "vhci_hcd.0"}));
    const HostRecord& host = m_hosts[0];
    EXPECT_EQ(host.PortCount, 8);
    EXPECT_EQ(host.Usb2PortCount, 4);
    EXPECT_EQ(host.SuperSpeedPortCount, 4);
    EXPECT_EQ(host.Usb2Ports[3], 4);
    EXPECT_EQ(host.SuperSpeedPorts[0], 5);
    EXPECT_EQ(m_hosts[1].PortCount, 16);
    // Listing asks no device anything.
    EXPECT_TRUE(m_system->Requests.empty());
}

TEST_F(CLinuxBenchTest, AddressesDevicesDepthFirstAndNumbersTheirPorts) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(m_devices.size(), 5u);
    // Address, VID, port on the parent: the hub, its ports 1 and 3, the
    // keyboard on root port 2, the SuperSpeed device on root port 5.
    const uint8_t addresses[] = {1, 2, 3, 4, 5};
    const uint16_t vids[] = {0x0451, 0x046d, 0x0781, 0x0627, 0x0bda};
    const uint8_t ports[] = {1, 1, 3, 2, 5};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(m_devices[i].Address, addresses[i]) << i;
        EXPECT_EQ(m_devices[i].Vid, vids[i]) << i;
        EXPECT_EQ(m_devices[i].ParentPort, ports[i]) << i;
        EXPECT_EQ(m_devices[i].PhysicalParentPort, ports[i]) << i;
    }
    ASSERT_EQ(m_hubs.size(), 1u);
    EXPECT_EQ(m_hubs[0].PortCount, 4);
    EXPECT_EQ(m_hubs[0].SuperSpeed, 0);

    CXhciBenchline* bench = BusModel().Root;
    uint8_t parent = 9, root = 0;
    ASSERT_EQ(bench->GetDeviceByDeviceAddress(3)->GetParentHubAddress(&parent), 0);
    EXPECT_EQ(parent, 1);
    EXPECT_EQ(GetRootPort(bench->GetDeviceByDeviceAddress(3), &root), BENCH_OK);
    EXPECT_EQ(root, 1);
    uint8_t speed = 0;
    bench->GetDeviceByDeviceAddress(5)->GetDeviceSpeed(&speed);
    EXPECT_EQ(speed, UsbSuperSpeed);
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(6), nullptr);
    EXPECT_EQ(bench->GetDeviceByDeviceAddress(0), nullptr);
}

TEST_F(CLinuxBenchTest, IdentitiesSurviveReEnumerationWhenAddressesMove) {
    ASSERT_NO_FATAL_FAILURE(Start());
    CXhciBenchline* bench = BusModel().Root;
    uint16_t vid, pid, serial, other, none;
    bench->GetDeviceByDeviceAddress(3)->GetVidPidSerialNumber(&vid, &pid, &serial);
    bench->GetDeviceByDeviceAddress(4)->GetVidPidSerialNumber(&vid, &pid, &other);
    bench->GetDeviceByDeviceAddress(2)->GetVidPidSerialNumber(&vid, &pid, &none);
    EXPECT_NE(serial, 0);
    EXPECT_NE(serial, other);
    EXPECT_EQ(none, 0);  // no serial string
    uint32_t tag = bench->GetDeviceByDeviceAddress(3)->DeviceTag;

    // A device plugged in before it moves it to address 4; tag and serial stay.
    Device("bus/pci/drivers/xhci_hcd/0000:00:04.0/usb1/1-1/1-1.2", 1, 7, "480", "1234", "5678", "", 0);
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    CDevice* moved = FindDeviceByIdentity(0x0781, 0x5567, serial, tag);
    ASSERT_NE(moved, nullptr);
    uint8_t address = 0;
    moved->GetAddress(&address);
    EXPECT_EQ(address, 4);
}

TEST_F(CLinuxBenchTest, PortRequestsGoToTheRootHubOrHubWithThePortInWIndex) {
    ASSERT_NO_FATAL_FAILURE(Start());
    CHostController* host = SelectedHostController();
    CHostPort* root2 = host->GetHostPort(2);
    CHostPort* root6 = host->GetHostPort(6);
    ASSERT_TRUE(root2 && root6 && !host->GetHostPort(9));
    EXPECT_FALSE(root2->IsSuperSpeedPort());
    EXPECT_TRUE(root6->IsSuperSpeedPort());

    EXPECT_EQ(root2->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(root2->ResumePort(), 0);
    EXPECT_EQ(root2->SetPortFeature(BL_PORT_RESET, 0, 0), 0);
    EXPECT_EQ(root2->ClearPortFeature(BL_C_PORT_CONNECTION, 0), 0);
    EXPECT_EQ(root6->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), 0);
    EXPECT_EQ(root2->QuiescePort(), 0);  // the kernel quiesces; nothing is sent
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    CHubPort* hub3 = SelectedHubDevice()->GetHubPort(3);
    ASSERT_TRUE(hub3 && !SelectedHubDevice()->GetHubPort(5));
    EXPECT_EQ(hub3->ClearPortFeature(BL_PORT_SUSPEND, 0), 0);
    EXPECT_EQ(hub3->SetPortFeature(BL_PORT_TEST, 4, 0), 0);
    EXPECT_EQ(Take(), (std::vector<std::string>{
                          "1-1 23 03 0002 0002 0000", "1-1 23 01 0002 0002 0000", "1-1 23 03 0004 0002 0000",
                          "1-1 23 01 0010 0002 0000", "2-1 23 03 0005 0a02 0000", "1-2 23 01 0002 0003 0000",
                          "1-2 23 03 0015 0403 0000"}));
}

TEST_F(CLinuxBenchTest, PortStatusOfRootPortsKeepsConnectedAndChangeOnly) {
    ASSERT_NO_FATAL_FAILURE(Start());
    m_system->Answers["1-1 a3 00 0000 0002"] = {0, {0x03, 0x05, 0x01, 0x00}};
    m_system->Answers["1-2 a3 00 0000 0001"] = {0, {0x03, 0x05, 0x01, 0x00}};
    m_system->Answers["1-1 a3 00 0000 0003"] = {ENODEV, {}};
    uint32_t status = 0;
    EXPECT_EQ(SelectedHostController()->GetHostPort(2)->GetPortStatus(&status), 0);
    EXPECT_EQ(status, 0x3u);
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    EXPECT_EQ(SelectedHubDevice()->GetHubPort(1)->GetPortStatus(&status), 0);
    EXPECT_EQ(status, 0x00010503u);
    status = 7;
    EXPECT_EQ(SelectedHostController()->GetHostPort(3)->GetPortStatus(&status),
              static_cast<BLSTATUS>(BL_LX_E_ERRNO | ENODEV));
    EXPECT_EQ(status, 7u);
}

TEST_F(CLinuxBenchTest, DeviceRequestsAndWhatUsbfsCannotDo) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(2), BENCH_OK);  // 1-1.3, bus 1 device 4
    uint8_t buffer[256] = {'7'};
    m_system->Answers["1-4 80 06 0100 0000"] = {0, {18, 1, 0x00, 0x02}};
    EXPECT_EQ(RunDeviceCommand(8, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(buffer[0], 18);
    EXPECT_EQ(RunDeviceCommand(11, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(RunDeviceCommand(12, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(RunDeviceCommand(4, buffer, sizeof buffer), BENCH_OK);
    m_system->Answers["1-4 00 03 0002 0100"] = {EPIPE, {}};  // Test_J not implemented: stall
    EXPECT_EQ(RunDeviceCommand(1, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-4 80 06 0100 0000 0100", "1-4 00 03 0001 0000 0000",
                                                "1-4 00 01 0001 0000 0000", "1-4 00 03 0002 0400 0000",
                                                "1-4 00 03 0002 0100 0000"}));

    CDevice* device = SelectedDeviceObject();
    EXPECT_EQ(device->SetTestMode(BL_TEST_J), static_cast<BLSTATUS>(BL_LX_E_ERRNO | EPIPE));
    EXPECT_EQ(device->SetAddress(7), BL_LX_E_UNSUPPORTED);
    EXPECT_EQ(device->DoControlTransferSingleStep(buffer, 8, BL_SETUP_STAGE, nullptr, nullptr), BL_LX_E_UNSUPPORTED);
    EXPECT_EQ(RunDeviceCommand(10, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_EQ(RunDeviceCommand(13, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-4 00 03 0002 0100 0000"}));  // only the real request
}

TEST_F(CLinuxBenchTest, HubPortTestSuspendsTheOtherEnabledPortsFirst) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    // Port 1 enabled, port 3 enabled but suspended, port 4 empty.
    m_system->Answers["1-2 a3 00 0000 0001"] = {0, {0x03, 0x05, 0, 0}};
    m_system->Answers["1-2 a3 00 0000 0003"] = {0, {0x07, 0x05, 0, 0}};
    m_system->Answers["1-2 a3 00 0000 0004"] = {0, {0x00, 0x01, 0, 0}};
    EXPECT_EQ(RunHubPortTest(4, 2), BENCH_OK);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-2 a3 00 0000 0001 0004", "1-2 23 03 0002 0001 0000",
                                                "1-2 a3 00 0000 0003 0004", "1-2 a3 00 0000 0004 0004",
                                                "1-2 23 03 0015 0402 0000"}));
    EXPECT_TRUE(m_system->Writes.empty());  // a hub port test mode leaves the controller alone
}

TEST_F(CLinuxBenchTest, RootPortTestModeHaltsTheModelAndEnumerationRebinds) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(RunHostPortTest(4, 2), 0);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-1 23 03 0015 0402 0000"}));
    uint32_t status = 0;
    SelectedHostController()->ReadRegister(BL_REG_USBSTS, &status);
    EXPECT_EQ(status & 1, 1u);  // halted

    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-1 23 01 0015 0002 0000"}));  // PORT_TEST cleared on port 2
    EXPECT_EQ(m_system->Writes, (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0"}));
    EXPECT_EQ(m_devices.size(), 5u);
    SelectedHostController()->ReadRegister(BL_REG_USBSTS, &status);
    EXPECT_EQ(status & 1, 0u);

    // Once back, the next enumeration rebinds nothing; nor does clean-up.
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 0);
    EXPECT_EQ(m_system->Writes.size(), 2u);
}

TEST_F(CLinuxBenchTest, ForceEnableRunsAgainAndSuperSpeedPortsNeedNoRebind) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(RunHostPortTest(5, 1), BENCH_OK);
    uint32_t status = 1;
    SelectedHostController()->ReadRegister(BL_REG_USBSTS, &status);
    EXPECT_EQ(status & 1, 0u);
    // Clean-up after the root object is gone still brings the controller back.
    DestroyBench();
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 0);
    EXPECT_EQ(m_system->Writes, (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0"}));

    m_system->Writes.clear();
    ASSERT_EQ(CreateBench(), BENCH_OK);
    ASSERT_EQ(BuildHostList(m_hosts), BENCH_OK);
    ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
    SelectedHostController()->GetHostPort(6)->SetPortFeature(BL_PORT_TEST, 4, 0);  // the kernel refuses it anyway
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(m_system->Writes.empty());
}

TEST_F(CLinuxBenchTest, RebindWaitsForTheDevicesToComeBack) {
    ASSERT_NO_FATAL_FAILURE(Start());
    fs::path keyboard = m_root / "bus/pci/drivers/xhci_hcd/0000:00:04.0/usb1/1-2";
    fs::rename(keyboard, m_root / "gone");
    ASSERT_EQ(RunHostPortTest(4, 2), 0);
    m_system->OnSleep = [&] {
        if (m_system->Sleeps == 3) fs::rename(m_root / "gone", keyboard);
    };
    // Before the test mode four devices were listed: the rebind waits for them.
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_devices.size(), 5u);
    EXPECT_EQ(m_system->Sleeps, 3u);
}

TEST_F(CLinuxBenchTest, RebindGivesUpWithAWarningWhenDevicesStayAway) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(RunHostPortTest(4, 2), 0);
    fs::remove_all(m_root / "bus/pci/drivers/xhci_hcd/0000:00:04.0/usb1/1-2");
    EXPECT_EQ(BusModel().Root->Enumerate(), BL_S_ENUMERATE_WARNING);
    EXPECT_EQ(m_system->Sleeps, 101u);  // 10 s in 100 ms steps
    // The controller is back, so it is not rebound again.
    EXPECT_EQ(BusModel().Root->Enumerate(), 0);
    EXPECT_EQ(m_system->Writes.size(), 2u);
}

TEST_F(CLinuxBenchTest, StackSwitchListsSelectsAndNeedsNothing) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_LIST, ""), 0);
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_SELECT, "vhci_hcd.0"), 0);
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_SELECT, "xHCI 0000:00:05.0 (1b36:000d)"), -1);
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_STACK, ""), 0);
    fs::remove_all(m_root / "bus");
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_LIST, ""), -1);
    EXPECT_TRUE(m_system->Writes.empty());
}

TEST(LinuxBenchRootTest, RefusesToStartWithoutRootNamingWhatNeedsIt) {
    auto check = [] {
        std::string error;
        bool refused = !BLLinuxCreateReal(error) && error.find("needs root") != std::string::npos &&
                       error.find("/dev/bus/usb") != std::string::npos;
        return refused;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

TEST_F(CLinuxBenchTest, FailedRescanLeavesNoListPointingAtDroppedDevices) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(1), BENCH_OK);
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    // The controller vanishes: the rescan fails and the backend drops the
    // devices it had listed.
    fs::path controller = m_root / "bus/pci/drivers/xhci_hcd/0000:00:04.0";
    fs::rename(controller, m_root / "gone");
    EXPECT_LT(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(m_devices.empty());
    EXPECT_TRUE(m_hubs.empty());
    EXPECT_TRUE(BusModel().DeviceList.empty());
    EXPECT_TRUE(BusModel().HubList.empty());
    // Everything that went by index now finds nothing, and touches nothing freed.
    uint8_t buffer[256] = {};
    EXPECT_EQ(SelectDeviceByIndex(1), BENCH_E_INDEX);
    EXPECT_EQ(SelectHubByIndex(0), BENCH_E_INDEX);
    EXPECT_EQ(RunHubCommand(HUB_CMD_DEVICE_DESCRIPTOR, buffer, sizeof buffer), BENCH_E_INDEX);
    EXPECT_EQ(RunHostDeviceCommand(HOST_DEVICE_CMD_DEVICE_DESCRIPTOR, buffer, sizeof buffer), BENCH_E_INDEX);
    EXPECT_TRUE(Take().empty());
    fs::rename(m_root / "gone", controller);
}
