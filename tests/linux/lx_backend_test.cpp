// The linux bench on a fake sysfs tree (a temporary directory) and a fake
// usbfs that records every setup packet: discovery, port numbering,
// addresses, identities, the exact encoding of each request, and the
// rebinding of a controller that a root-port test mode stopped.
#include "bench/bus_model.h"
#include "bench/executors.h"
#include "benchline/linux.h"
#include "lx_in_use.h"
#include "lx_sysfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One request as usbfs saw it: "bus-dev RT RQ VVVV IIII LLLL".
std::string Describe(unsigned bus, unsigned device, const CLxSetup& setup) {
    char text[64];
    std::snprintf(text, sizeof text, "%u-%u %02x %02x %04x %04x %04x", bus, device, setup.RequestType, setup.Request,
                  setup.Value, setup.Index, setup.Length);
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
    // Unbinding a controller takes its root hubs out of the tree and binding
    // puts them back, as the kernel does; FailBinds makes that many binds fail.
    // A port's switch is logged with its port: "usb1-port2/disable 1";
    // FailWrites makes that many of such writes fail.
    int WriteAttribute(const std::string& path, const std::string& text) override {
        std::string file = fs::path(path).filename().string();
        if (file == "disable") file = fs::weakly_canonical(path).parent_path().filename().string() + "/disable";
        Writes.push_back(file + " " + text);
        if (FailWrites[file + " " + text] > 0) {
            --FailWrites[file + " " + text];
            return -EIO;
        }
        fs::path controller = fs::path(path).parent_path() / text;
        fs::path stash = fs::path(path).parent_path().parent_path() / ("unbound-" + text);
        if (file == "unbind") {
            if (!fs::exists(controller / "usb1") && !fs::exists(controller / "usb3")) return -ENODEV;
            fs::create_directories(stash);
            std::vector<fs::path> hubs;
            for (const auto& entry : fs::directory_iterator(controller))
                if (entry.path().filename().string().rfind("usb", 0) == 0) hubs.push_back(entry.path());
            for (const fs::path& hub : hubs) fs::rename(hub, stash / hub.filename());
        } else if (file == "bind") {
            if (FailBinds > 0) {
                --FailBinds;
                return -EIO;
            }
            if (fs::exists(stash)) {
                std::vector<fs::path> hubs;
                for (const auto& entry : fs::directory_iterator(stash)) hubs.push_back(entry.path());
                for (const fs::path& hub : hubs) fs::rename(hub, controller / hub.filename());
                fs::remove_all(stash);
            }
        }
        return 0;
    }
    int Node(ELxNodeOp op, unsigned bus, unsigned device, unsigned arg) override {
        const char* names[] = {"hold", "drop", "reset", "detach", "attach", "claim", "release"};
        std::string text =
            std::string(names[static_cast<int>(op)]) + " " + std::to_string(bus) + "-" + std::to_string(device);
        if (op != ELxNodeOp::Hold && op != ELxNodeOp::Drop && op != ELxNodeOp::Reset) text += " " + std::to_string(arg);
        Nodes.push_back(text);
        if (op == ELxNodeOp::Hold) ++Holds[text.substr(5)];
        if (op == ELxNodeOp::Drop) --Holds[text.substr(5)];
        if (NodeErrors.count(text)) return -NodeErrors[text];
        return op == ELxNodeOp::Reset ? -ResetError : 0;
    }
    void Sleep(unsigned) override {
        ++Sleeps;
        if (OnSleep) OnSleep();
    }
    void Report(const std::string& line) override { Reports.push_back(line); }

    struct CAnswer {
        int Error = 0;
        std::vector<uint8_t> Data;
    };
    std::map<std::string, CAnswer> Answers;
    std::vector<std::string> Requests;
    std::vector<std::string> Writes;
    std::vector<std::string> Nodes;
    std::map<std::string, int> Holds;  // open count per node
    std::vector<std::string> Reports;
    int FailBinds = 0;
    int ResetError = 0;
    std::map<std::string, int> NodeErrors;  // errno of one node operation, by its text
    std::map<std::string, int> FailWrites;
    unsigned Sleeps = 0;
    std::function<void()> OnSleep;
};

class CLinuxBenchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
            ("lx_test_" + std::to_string(::getpid()) + "_" +
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
        File(xhci + "/usb1/1-1/1-1:1.0/bInterfaceNumber", "00");
        File(xhci + "/usb1/1-2/1-2:1.0/bInterfaceNumber", "00");  // a keyboard with two interfaces
        File(xhci + "/usb1/1-2/1-2:1.1/bInterfaceNumber", "01");
        // The ports in sysfs: each SuperSpeed root port's peer is the USB 2.0
        // root port of the same number.
        for (int port = 1; port <= 4; ++port) {
            std::string number = std::to_string(port);
            fs::create_directories(m_root / xhci / ("usb1/1-0:1.0/usb1-port" + number));
            fs::create_directories(m_root / xhci / ("usb2/2-0:1.0/usb2-port" + number));
            fs::create_symlink("../../../usb1/1-0:1.0/usb1-port" + number,
                               m_root / xhci / ("usb2/2-0:1.0/usb2-port" + number + "/peer"));
            fs::create_symlink("../../../usb2/2-0:1.0/usb2-port" + number,
                               m_root / xhci / ("usb1/1-0:1.0/usb1-port" + number + "/peer"));
            File(xhci + "/usb1/1-1/1-1:1.0/1-1-port" + number + "/disable", "0");
        }
        File("bus/pci/drivers/xhci_hcd/bind", "");
        fs::create_directories(m_root / "bus/pci/drivers/xhci_hcd/module");
        // The USB/IP virtual controller, with nothing attached.
        std::string vhci = "bus/platform/drivers/vhci_hcd/vhci_hcd.0";
        RootHub(vhci + "/usb3", 3, "480", 8);
        RootHub(vhci + "/usb4", 4, "5000", 8);
    }
    void TearDown() override {
        SetConfirmPrompt({});
        DestroyBench();
        BusModel() = CBusModel{};
        BLInstallBackend(nullptr);
        fs::remove_all(m_root);
    }

    void File(const std::string& path, const std::string& text) {
        fs::create_directories((m_root / path).parent_path());
        std::ofstream(m_root / path) << text << "\n";
    }
    // A root hub names its host controller driver in its manufacturer string.
    void RootHub(const std::string& dir, unsigned bus, const char* speed, unsigned ports,
                 const char* maker = "Linux 6.1.0-18-amd64 xhci-hcd") {
        File(dir + "/manufacturer", maker);
        File(dir + "/busnum", std::to_string(bus));
        File(dir + "/devnum", "1");
        File(dir + "/speed", speed);
        File(dir + "/maxchild", std::to_string(ports));
    }
    // A sysfs class or device-number link to a device directory, made with it.
    void Link(const std::string& name, const std::string& target) {
        fs::create_directories(m_root / target);
        fs::create_directories((m_root / name).parent_path());
        fs::create_symlink(m_root / target, m_root / name);
    }
    // Interface number of the device in dir, bound to driver unless that is null.
    void Interface(const std::string& dir, unsigned number, const char* driver) {
        std::string interface = dir + "/" + fs::path(dir).filename().string() + ":1." + std::to_string(number);
        File(interface + "/bInterfaceNumber", "0" + std::to_string(number));
        if (driver) fs::create_symlink(m_root / "bus/usb/drivers" / driver, m_root / interface / "driver");
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
        m_backend =
            BLLinuxCreate(std::move(system), m_root.string(), Record().string(), (m_root / "proc").string()).release();
        BLInstallBackend(m_backend);
        ASSERT_EQ(CreateBench(), BENCH_OK);
        ASSERT_EQ(BuildHostList(m_hosts), BENCH_OK);
        ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
        ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
        m_started = std::exchange(m_system->Requests, {});
    }
    // Starts again on the tree as it is now, as the next run would.
    void Restart() {
        DestroyBench();
        BusModel() = CBusModel{};
        Start();
    }
    std::vector<std::string> Take() { return std::exchange(m_system->Requests, {}); }
    // The requests that change something (no reads), from Take().
    std::vector<std::string> TakeSent() {
        std::vector<std::string> sent;
        for (const std::string& request : Take())
            if (request[request.find(' ') + 1] < '8') sent.push_back(request);
        return sent;
    }
    fs::path Record() const { return m_root / "run/voltaris/test-mode"; }
    std::string ReadRecord() const {
        std::ifstream file(Record());
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool HasReport(const std::string& text) const {
        for (const std::string& line : m_system->Reports)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    static constexpr const char* kXhci = "bus/pci/drivers/xhci_hcd/0000:00:04.0";

    fs::path m_root;
    CFakeSystem* m_system = nullptr;
    std::vector<std::string> m_started;  // the requests of the start, up to the first enumeration
    CBLBackend* m_backend = nullptr;
    std::vector<HostRecord> m_hosts;
    std::vector<DeviceRecord> m_devices;
    std::vector<HubRecord> m_hubs;
};

TEST_F(CLinuxBenchTest, ListsControllersWithUsb2PortsBeforeSuperSpeedPorts) {
    // xHCI controllers that are platform devices, as on ARM boards, bound
    // to the generic driver and to a SoC's own; an EHCI controller is not
    // the xHCI core's.
    RootHub("bus/platform/drivers/xhci-hcd/xhci-hcd.0.auto/usb5", 5, "480", 1);
    RootHub("bus/platform/drivers/xhci-hcd/xhci-hcd.0.auto/usb6", 6, "5000", 1);
    RootHub("bus/platform/drivers/tegra-xusb/3610000.usb/usb7", 7, "480", 3);
    RootHub("bus/pci/drivers/ehci-pci/0000:00:1d.0/usb9", 9, "480", 2, "Linux 6.1.0-18-amd64 ehci_hcd");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(m_hosts.size(), 4u);
    EXPECT_STREQ(m_hosts[0].HostId, "xHCI 0000:00:04.0 (1b36:000d)");
    EXPECT_STREQ(m_hosts[2].HostId, "xHCI xhci-hcd.0.auto");
    EXPECT_EQ(m_hosts[2].PortCount, 2);
    EXPECT_STREQ(m_hosts[3].HostId, "vhci_hcd.0");
    EXPECT_EQ(m_backend->HostIds(),
              (std::vector<std::string>{"xHCI 0000:00:04.0 (1b36:000d)", "xHCI 3610000.usb", "xHCI xhci-hcd.0.auto",
                                        "vhci_hcd.0"}));
    // Each is rebound through the driver that binds it.
    std::vector<CLxControllerInfo> controllers = LxScanControllers(m_root.string());
    EXPECT_EQ(controllers[1].DriverDir, (m_root / "bus/platform/drivers/tegra-xusb").string());
    EXPECT_TRUE(controllers[3].Virtual);
    const HostRecord& host = m_hosts[0];
    EXPECT_EQ(host.PortCount, 8);
    EXPECT_EQ(host.Usb2PortCount, 4);
    EXPECT_EQ(host.SuperSpeedPortCount, 4);
    EXPECT_EQ(host.Usb2Ports[3], 4);
    EXPECT_EQ(host.SuperSpeedPorts[0], 5);
    EXPECT_EQ(m_hosts[3].PortCount, 16);
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
    CHostPort* root3 = host->GetHostPort(3);
    CHostPort* root6 = host->GetHostPort(6);
    ASSERT_TRUE(root2 && root3 && root6 && !host->GetHostPort(9));
    EXPECT_FALSE(root2->IsSuperSpeedPort());
    EXPECT_TRUE(root6->IsSuperSpeedPort());

    EXPECT_EQ(root2->SetPortFeature(BL_PORT_SUSPEND, 0, 0), 0);
    EXPECT_EQ(root2->ResumePort(), 0);
    EXPECT_EQ(root3->SetPortFeature(BL_PORT_RESET, 0, 0), 0);            // nothing on root port 3: a raw reset
    m_system->Answers["2-1 a3 00 0000 0002"] = {0, {0x40, 0x01, 0, 0}};  // link state 10: Compliance Mode
    EXPECT_EQ(root6->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr), 0);
    EXPECT_EQ(root2->QuiescePort(), 0);  // the kernel quiesces; nothing is sent
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    CHubPort* hub3 = SelectedHubDevice()->GetHubPort(3);
    ASSERT_TRUE(hub3 && !SelectedHubDevice()->GetHubPort(5));
    EXPECT_EQ(hub3->ClearPortFeature(BL_PORT_SUSPEND, 0), 0);
    EXPECT_EQ(hub3->SetPortFeature(BL_PORT_TEST, 4, 0), 0);
    EXPECT_EQ(
        Take(),
        (std::vector<std::string>{"1-1 23 03 0002 0002 0000", "1-1 23 01 0002 0002 0000", "1-1 23 03 0004 0003 0000",
                                  "2-1 23 03 0005 0a02 0000", "2-1 a3 00 0000 0002 0004", "1-2 23 01 0002 0003 0000",
                                  "1-2 23 03 0015 0403 0000"}));
    EXPECT_TRUE(m_system->Reports.empty());
}

TEST_F(CLinuxBenchTest, ResetOfAPortWithADeviceGoesThroughTheKernelsDeviceReset) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(2), BENCH_OK);  // 1-1.3, bus 1 device 4, on port 3 of the hub
    uint8_t buffer[256] = {};
    EXPECT_EQ(RunDeviceCommand(7, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(RunHostPortTest(8, 2), BENCH_OK);  // the keyboard's root port
    EXPECT_TRUE(Take().empty());                 // no raw PORT_RESET reached a port with a device
    EXPECT_EQ(m_system->Nodes, (std::vector<std::string>{"reset 1-4", "reset 1-5"}));

    m_system->ResetError = ENODEV;  // unplugged meanwhile
    EXPECT_EQ(RunDeviceCommand(7, buffer, sizeof buffer), BENCH_E_FAILED);
    // Once the device is gone from sysfs, the port is empty: a raw reset.
    fs::remove_all(m_root / "bus/pci/drivers/xhci_hcd/0000:00:04.0/usb1/1-1/1-1.3");
    EXPECT_EQ(RunDeviceCommand(7, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-2 23 03 0004 0003 0000"}));
}

TEST_F(CLinuxBenchTest, TheConnectionMonitorFollowsSysfsAndLeavesTheHubsChangeBitsAlone) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::string usb1 = "bus/pci/drivers/xhci_hcd/0000:00:04.0/usb1";
    // The hub reports a connect change of its own: it is the hub driver's.
    m_system->Answers["1-2 a3 00 0000 0001"] = {0, {0x03, 0x05, 0x01, 0x00}};
    m_system->Answers["1-1 a3 00 0000 0003"] = {ENODEV, {}};
    uint32_t status = 0;
    EXPECT_EQ(SelectedHostController()->GetHostPort(2)->GetPortStatus(&status), 0);
    EXPECT_EQ(status, 0x1u);  // the keyboard, no change since the enumeration
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    EXPECT_EQ(SelectedHubDevice()->GetHubPort(1)->GetPortStatus(&status), 0);
    EXPECT_EQ(status, 0x0503u);
    status = 7;
    EXPECT_EQ(SelectedHostController()->GetHostPort(3)->GetPortStatus(&status),
              static_cast<BLSTATUS>(BL_LX_E_ERRNO | ENODEV));
    EXPECT_EQ(status, 7u);

    // Unplugged: the kernel removed the device; the hub still shows it connected.
    fs::rename(m_root / usb1 / "1-1/1-1.1", m_root / "mouse");
    bool disconnected = false, connected = false;
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, 1, 1), BENCH_OK);
    EXPECT_TRUE(disconnected && !connected);
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, 1, 1), BENCH_OK);
    EXPECT_FALSE(disconnected || connected);  // seen once
    fs::rename(m_root / "mouse", m_root / usb1 / "1-1/1-1.1");
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, 1, 1), BENCH_OK);
    EXPECT_TRUE(connected && !disconnected);

    fs::rename(m_root / usb1 / "1-2", m_root / "keyboard");
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, 2, 2), BENCH_OK);
    EXPECT_TRUE(disconnected && !connected);
    // Only status reads reached the wire: never a C_PORT_CONNECTION clear.
    for (const std::string& request : Take()) EXPECT_EQ(request.substr(4, 5), "a3 00") << request;
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
    EXPECT_EQ(
        Take(),
        (std::vector<std::string>{"1-4 80 06 0100 0000 0100", "1-4 00 03 0001 0000 0000", "1-4 00 01 0001 0000 0000",
                                  "1-4 00 03 0002 0400 0000", "1-4 00 03 0002 0100 0000"}));

    CDevice* device = SelectedDeviceObject();
    EXPECT_EQ(device->SetTestMode(BL_TEST_J), static_cast<BLSTATUS>(BL_LX_E_ERRNO | EPIPE));
    EXPECT_EQ(device->SetAddress(7), BL_LX_E_UNSUPPORTED);
    EXPECT_EQ(device->DoControlTransferSingleStep(buffer, 8, BL_SETUP_STAGE, nullptr, nullptr), BL_LX_E_UNSUPPORTED);
    EXPECT_EQ(RunDeviceCommand(10, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_EQ(RunDeviceCommand(13, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_TRUE(HasReport("dev@3: SET ADDRESS cannot be sent through usbfs"));
    EXPECT_TRUE(HasReport("dev@3: single-step control transfers cannot be done through usbfs"));
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-4 00 03 0002 0100 0000"}));  // only the real request
}

TEST_F(CLinuxBenchTest, HubPortTestSuspendsTheOtherEnabledPortsFirst) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    // Port 1 enabled (the mouse, which usbhid drives), port 3 enabled but
    // suspended, port 4 empty.
    Interface(std::string(kXhci) + "/usb1/1-1/1-1.1", 0, "usbhid");
    m_system->Answers["1-2 a3 00 0000 0001"] = {0, {0x03, 0x05, 0, 0}};
    m_system->Answers["1-2 a3 00 0000 0003"] = {0, {0x07, 0x05, 0, 0}};
    m_system->Answers["1-2 a3 00 0000 0004"] = {0, {0x00, 0x01, 0, 0}};
    EXPECT_EQ(RunHubPortTest(4, 2), BENCH_OK);
    EXPECT_EQ(
        Take(),
        (std::vector<std::string>{"1-2 a3 00 0000 0001 0004", "1-2 23 03 0002 0001 0000", "1-2 a3 00 0000 0003 0004",
                                  "1-2 a3 00 0000 0004 0004", "1-2 23 03 0015 0402 0000"}));
    EXPECT_TRUE(m_system->Writes.empty());  // a hub port test mode leaves the controller alone
    // The hub stays open from its first request on; the port is claimed.
    // The mouse let go of usbhid, and its port was claimed, before it was
    // suspended: no driver resets a port of the hub during the test.
    EXPECT_EQ(m_system->Nodes, (std::vector<std::string>{"hold 1-2", "claim 1-2 1", "detach 1-3 0", "claim 1-2 2"}));
    // Only a reset of the hub ends the port test mode (and wakes the
    // suspended ports): the next enumeration does it, gives the mouse its
    // driver back, then lets go.
    m_system->Nodes.clear();
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Nodes,
              (std::vector<std::string>{"release 1-2 2", "release 1-2 1", "reset 1-2", "attach 1-3 0", "drop 1-2"}));
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    m_system->ResetError = EIO;
    EXPECT_EQ(RunHubPortTest(5, 4), BENCH_OK);
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(HasReport("hub 1-1 could not be reset to end its port test mode"));
    EXPECT_EQ(m_system->Holds["1-2"], 0);
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

    // A test mode the kernel refused outright (a stall) stopped nothing;
    // one that failed after it had begun (the halt timed out) leaves the
    // controller to be rebound.
    for (auto [error, rebinds] : {std::pair{EPIPE, false}, std::pair{ETIMEDOUT, true}}) {
        m_system->Writes.clear();
        m_system->Answers["1-1 23 03 0015 0103"] = {error, {}};
        EXPECT_EQ(RunHostPortTest(1, 3), BENCH_E_FAILED);
        ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
        EXPECT_EQ(m_system->Writes.size(), rebinds ? 2u : 0u) << error;
    }
    EXPECT_TRUE(HasReport("root:3: the kernel failed to enter the test mode (Connection timed out)"));
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
    fs::remove(m_root / kXhci / "usb2/2-0:1.0/usb2-port2/peer");
    EXPECT_EQ(SelectedHostController()->GetHostPort(6)->SetPortFeature(BL_PORT_TEST, 4, 0), BL_LX_E_REFUSED);
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
    // Before the test mode four devices were listed: the rebind waits for
    // them, and shows that it waits.
    int dots = 0;
    BLSetProgressSink([](void* count) { ++*static_cast<int*>(count); }, &dots);
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    BLSetProgressSink(nullptr, nullptr);
    EXPECT_EQ(m_devices.size(), 5u);
    EXPECT_EQ(m_system->Sleeps, 3u);
    EXPECT_EQ(dots, 1);
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

TEST_F(CLinuxBenchTest, DeviceTestModeTakesTheDeviceFromItsDriversUntilThePortIsPowerCycled) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(3), BENCH_OK);  // the keyboard 1-2, device 5 on root port 2
    uint8_t buffer[256] = {};
    EXPECT_EQ(RunDeviceCommand(4, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-5 00 03 0002 0400 0000"}));
    // The device is held open (nothing autosuspends it or its port), its
    // port on the root hub is claimed through the held root hub, and both
    // interface drivers let go, before the test mode.
    EXPECT_EQ(m_system->Nodes,
              (std::vector<std::string>{"hold 1-5", "hold 1-1", "claim 1-1 2", "detach 1-5 0", "detach 1-5 1"}));
    m_system->Nodes.clear();

    // In the test mode it answers nothing; the root hub switches each port's power.
    m_system->Answers["1-5 80 00 0000 0000"] = {EPROTO, {}};
    m_system->Answers["1-1 a0 06 2900 0000"] = {0, {9, 0x29, 4, 0x01, 0x00, 50, 0, 0, 0xFF}};
    std::string keyboard = std::string(kXhci) + "/usb1/1-2";
    m_system->OnSleep = [&] {
        if (m_system->Sleeps == 12) File(keyboard + "/devnum", "9");  // back after the power cycle
    };
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    // Both ports of the connector are switched, so that VBUS really drops.
    EXPECT_EQ(m_system->Writes,
              (std::vector<std::string>{"usb1-port2/disable 1", "usb2-port2/disable 1", "usb1-port2/disable 0",
                                        "usb2-port2/disable 0"}));
    EXPECT_EQ(m_system->Nodes, (std::vector<std::string>{"release 1-1 2", "drop 1-1", "drop 1-5"}));
    ASSERT_EQ(m_devices.size(), 5u);
    EXPECT_EQ(m_devices[3].Vid, 0x0627);
    EXPECT_TRUE(m_system->Reports.empty());
}

TEST_F(CLinuxBenchTest, ADeviceLeftInATestModeIsNotListedUntilItIsReplugged) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(3), BENCH_OK);
    uint8_t buffer[256] = {};
    ASSERT_EQ(RunDeviceCommand(1, buffer, sizeof buffer), BENCH_OK);
    m_system->Answers["1-5 80 00 0000 0000"] = {EPROTO, {}};
    m_system->Answers["1-1 a0 06 2900 0000"] = {0, {9, 0x29, 4, 0x00, 0x00, 50, 0, 0, 0xFF}};  // ganged power
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_devices.size(), 4u);  // the front ends ask for a power cycle
    EXPECT_TRUE(HasReport("1-2 stays in its test mode until it is unplugged or power-cycled"));
    EXPECT_TRUE(m_system->Writes.empty());
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_devices.size(), 4u);
    File(std::string(kXhci) + "/usb1/1-2/devnum", "11");  // replugged by hand: a new device
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_devices.size(), 5u);
}

TEST_F(CLinuxBenchTest, DriversComeBackWhenTheDeviceRefusedOrLeftTheTestMode) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(3), BENCH_OK);
    uint8_t buffer[256] = {};
    m_system->Answers["1-5 00 03 0002 0200"] = {EPIPE, {}};  // Test_K not implemented
    EXPECT_EQ(RunDeviceCommand(2, buffer, sizeof buffer), BENCH_E_FAILED);
    EXPECT_EQ(m_system->Nodes,
              (std::vector<std::string>{"hold 1-5", "hold 1-1", "claim 1-1 2", "detach 1-5 0", "detach 1-5 1",
                                        "attach 1-5 0", "attach 1-5 1", "release 1-1 2"}));
    m_system->Nodes.clear();
    // Taken, but the device still answers at the next enumeration.
    EXPECT_EQ(RunDeviceCommand(4, buffer, sizeof buffer), BENCH_OK);
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Nodes,
              (std::vector<std::string>{"claim 1-1 2", "detach 1-5 0", "detach 1-5 1", "release 1-1 2", "attach 1-5 0",
                                        "attach 1-5 1", "drop 1-1", "drop 1-5"}));
    EXPECT_EQ(m_devices.size(), 5u);
    // At exit everything is given back too.
    m_system->Nodes.clear();
    EXPECT_EQ(RunDeviceCommand(4, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 0);
    EXPECT_EQ(m_system->Holds["1-1"], 0);
    EXPECT_EQ(m_system->Holds["1-5"], 0);
}

TEST_F(CLinuxBenchTest, SuperSpeedPortsSuspendAndResumeThroughTheirLinkState) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(RunHostPortTest(6, 5), BENCH_OK);
    EXPECT_EQ(RunHostPortTest(7, 5), BENCH_OK);
    ASSERT_EQ(SelectDeviceByIndex(4), BENCH_OK);  // 2-1 on root port 5
    uint8_t buffer[256] = {};
    EXPECT_EQ(RunDeviceCommand(5, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(RunDeviceCommand(6, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(Take(),
              (std::vector<std::string>{"2-1 23 03 0005 0301 0000", "2-1 23 03 0005 0001 0000",
                                        "2-1 23 03 0005 0301 0000", "2-1 23 03 0005 0001 0000"}));
}

TEST_F(CLinuxBenchTest, ComplianceModeOnlyOnSuperSpeedPortsAndSaysWhatTheControllerDoes) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(RunHostPortCompliance(1, 3), BENCH_E_SELECT);  // a USB 2.0 root port
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-1 a3 00 0000 0003 0004"}));
    EXPECT_TRUE(HasReport("root:3 is a USB 2.0 port"));

    // The link stays in RxDetect: the controller enters Compliance Mode by itself later.
    m_system->Answers["2-1 a3 00 0000 0002"] = {0, {0xA0, 0x02, 0, 0}};
    CHostPort* root6 = SelectedHostController()->GetHostPort(6);
    EXPECT_EQ(root6->SetPortLinkFeature(BL_PORT_LINK_STATE, BL_LINK_STATE_COMPLIANCE, 0, nullptr),
              BL_LX_I_COMPLIANCE_ON_TIMEOUT);
    EXPECT_TRUE(HasReport("root:6 is not in Compliance Mode yet"));
    EXPECT_EQ(RunHostPortCompliance(1, 6), BENCH_OK);
}

TEST_F(CLinuxBenchTest, UsbTwoTestModesOfASuperSpeedPortGoToItsPeer) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(4), BENCH_OK);  // 2-1 on root port 5, whose peer is root port 1
    uint8_t buffer[256] = {};
    EXPECT_EQ(RunDeviceCommand(18, buffer, sizeof buffer), 0);
    EXPECT_EQ(Take(), (std::vector<std::string>{"1-1 23 03 0015 0401 0000"}));
    EXPECT_EQ(TakeRequestNotes(),
              std::vector<std::string>{"The test mode went to root:1, the USB 2.0 port of root:5's connector."});
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Writes, (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0"}));

    // Without a peer the test mode is refused, and the controller model runs on.
    fs::remove(m_root / kXhci / "usb2/2-0:1.0/usb2-port3/peer");
    Take();
    EXPECT_EQ(RunHostPortTest(4, 7), BENCH_E_FAILED);
    EXPECT_TRUE(Take().empty());
    EXPECT_TRUE(HasReport("root:7 is a SuperSpeed port without a USB 2.0 peer"));
    uint32_t status = 1;
    SelectedHostController()->ReadRegister(BL_REG_USBSTS, &status);
    EXPECT_EQ(status & 1, 0u);
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Writes.size(), 2u);  // nothing to rebind
}

TEST_F(CLinuxBenchTest, SuperSpeedHubPortsHaveNoTestModesAndNothingIsSuspendedForOne) {
    Device(std::string(kXhci) + "/usb2/2-2", 2, 3, "5000", "2109", "0817", "", 2);
    Device(std::string(kXhci) + "/usb2/2-2/2-2.1", 2, 4, "5000", "0781", "5581", "S1", 0);
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(m_hubs.size(), 2u);
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    EXPECT_EQ(RunHubPortTest(4, 2), BENCH_E_FAILED);
    EXPECT_TRUE(Take().empty());  // neither the device on port 1 suspended nor a test mode sent
    EXPECT_TRUE(HasReport("hub@6:2 is a port of a SuperSpeed hub"));
    EXPECT_TRUE(m_system->Nodes.empty());
    // Suspend and resume of its ports are link states.
    EXPECT_EQ(RunHubPortTest(6, 1), BENCH_OK);
    EXPECT_EQ(RunHubPortTest(7, 1), BENCH_OK);
    EXPECT_EQ(Take(), (std::vector<std::string>{"2-3 23 03 0005 0301 0000", "2-3 23 03 0005 0001 0000"}));
}

TEST_F(CLinuxBenchTest, AFailedBindIsRetriedReportedAndRecordedUntilItSucceeds) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(RunHostPortTest(1, 2), 0);
    EXPECT_EQ(ReadRecord(), "bus/pci/drivers/xhci_hcd 0000:00:04.0\n");
    m_system->FailBinds = 5;
    EXPECT_EQ(BusModel().Root->Enumerate(), static_cast<BLSTATUS>(BL_LX_E_ERRNO | EIO));
    EXPECT_EQ(m_system->Writes,
              (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0", "bind 0000:00:04.0",
                                        "bind 0000:00:04.0"}));
    EXPECT_TRUE(HasReport("echo 0000:00:04.0 > " + (m_root / "bus/pci/drivers/xhci_hcd").string() + "/bind"));
    EXPECT_EQ(ReadRecord(), "bus/pci/drivers/xhci_hcd 0000:00:04.0\n");
    // Clean-up tries again and says that it failed.
    m_system->Writes.clear();
    m_system->FailBinds = 3;
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 2);
    // The unbind now finds nothing bound; the bind is still tried, and the
    // second attempt brings the controller back.
    m_system->Writes.clear();
    m_system->FailBinds = 1;
    EXPECT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Writes,
              (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0", "bind 0000:00:04.0"}));
    EXPECT_EQ(m_devices.size(), 5u);
    EXPECT_FALSE(fs::exists(Record()));
}

TEST_F(CLinuxBenchTest, TheNextStartRebindsWhatTheRecordNames) {
    File("run/voltaris/test-mode",
         "bus/pci/drivers/xhci_hcd 0000:00:04.0\n../../../etc passwd\n"
         "bus/pci/drivers/xhci_hcd ..\nbus/pci/drivers/xhci_hcd a/b");
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(m_system->Writes, (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0"}));
    EXPECT_TRUE(HasReport("0000:00:04.0 was left in a test mode by an earlier run"));
    EXPECT_FALSE(fs::exists(Record()));
    EXPECT_EQ(m_devices.size(), 5u);
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

TEST_F(CLinuxBenchTest, RequestsThatWouldStopWhatTheMachineRunsOnAreAskedFirst) {
    // The stick 1-1.3 holds the root file system, the SuperSpeed device 2-1
    // the swap, 1-2 is a keyboard, and the default route goes out through a
    // network adapter on 1-1.1.
    std::string usb1 = std::string(kXhci) + "/usb1", input = usb1 + "/1-2/1-2:1.0/0003:0627:0001.0001/input/input3";
    Link("dev/block/8:1", usb1 + "/1-1/1-1.3/1-1.3:1.0/host0/target0:0:0/0:0:0:0/block/sda/sda1");
    Link("class/block/sdb2", std::string(kXhci) + "/usb2/2-1/2-1:1.0/host1/target1:0:0/1:0:0:0/block/sdb/sdb2");
    Link("class/net/enx1", usb1 + "/1-1/1-1.1/1-1.1:1.0/net/enx1");
    Link("class/input/input3", input);
    File(input + "/capabilities/ev", "120013");
    File(input + "/capabilities/key", "e080ffdf01cfffff fffffffffffffffe");
    File(input + "/id/vendor", "0627");
    File(input + "/id/product", "0001");
    File("proc/self/mountinfo",
         "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n23 22 0:21 / /proc rw - proc proc rw");
    File("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n/dev/sdb2 partition 1024 0 -2");
    File("proc/net/route",
         "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n"
         "enx1\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0");
    ASSERT_NO_FATAL_FAILURE(Start());
    std::vector<std::string> asked;
    EPromptAnswer answer = PROMPT_CANCEL;
    SetConfirmPrompt([&](const std::string& text) {
        asked.push_back(text);
        return answer;
    });
    uint8_t buffer[256] = {};
    const std::string controller =
        "controller 0000:00:04.0 carries /dev/sda1 mounted on /, /dev/sdb2 used as "
        "swap, the keyboard 0627:0001, the network interface enx1 with the default route";
    const std::string hub = "hub 1-1 carries /dev/sda1 mounted on /, the network interface enx1 with the default route";
    // Selects device index, then runs code on it.
    auto device = [&buffer](uint8_t index, uint8_t code) {
        return [&buffer, index, code] { return (void)SelectDeviceByIndex(index), RunDeviceCommand(code, buffer, 256); };
    };
    struct CCase {
        const char* Name;
        std::function<int32_t()> Run;
        std::string Carries;
    } cases[] = {
        {"root port", [] { return RunHostPortTest(PORT_TEST_TEST_J, 2); }, controller},
        {"parent test packet of 2-1", device(4, DEVICE_CMD_PARENT_TEST_PACKET), controller},
        {"hub port", [] { return (void)SelectHubByIndex(0), RunHubPortTest(PORT_TEST_TEST_PACKET, 2); }, hub},
        {"hub command", [&] { return (void)SelectHubByIndex(0), RunHubCommand(HUB_CMD_TEST_K, buffer, 256); }, hub},
        {"keyboard", device(3, DEVICE_CMD_TEST_J), "device 1-2 carries the keyboard 0627:0001"},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.Name);
        asked.clear();
        m_system->Nodes.clear();
        Take();
        answer = PROMPT_CANCEL;
        EXPECT_EQ(test.Run(), BENCH_E_FAILED);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].substr(0, test.Carries.size() + 2), test.Carries + ". ");
        EXPECT_TRUE(HasReport("refused, nothing sent: " + test.Carries));
        EXPECT_TRUE(TakeSent().empty());  // nothing suspended, detached or put into a test mode
        EXPECT_TRUE(m_system->Nodes.empty() || m_system->Nodes == std::vector<std::string>{"hold 1-2"});
        // Confirmed, it is sent, and not asked again until the next enumeration.
        answer = PROMPT_OK;
        EXPECT_EQ(test.Run(), BENCH_OK);
        EXPECT_EQ(test.Run(), BENCH_OK);
        EXPECT_EQ(asked.size(), 2u);
        EXPECT_FALSE(TakeSent().empty());
        ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    }
    // What carries nothing the machine runs on is not asked for (the
    // adapter 1-1.1 once the route is gone); without a prompt to ask, the
    // request is refused.
    asked.clear();
    fs::remove(m_root / "class/net/enx1");
    EXPECT_EQ(device(1, DEVICE_CMD_TEST_PACKET)(), BENCH_OK);
    SetConfirmPrompt({});
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_K, 1), BENCH_E_FAILED);
    EXPECT_TRUE(asked.empty());
}

TEST(LinuxInUseTest, ReadsTheKernelsTablesAndSkipsWhatDoesNotFit) {
    std::vector<CLxMount> mounts = LxParseMountInfo(
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "23 22 8:17 / /mnt/my\\040disk rw shared:5 master:1 - vfat /dev/sdb\\1341 rw\n"
        "garbage\n24 22 x:1 / /x rw - ext4 /dev/sdc rw\n25 22 8:2 / /y rw ext4 /dev/sdd rw\n"
        "26 22 8:3 / /z rw - ext4\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[1].Major, 8u);
    EXPECT_EQ(mounts[1].Minor, 17u);
    EXPECT_EQ(mounts[1].MountPoint, "/mnt/my disk");
    EXPECT_EQ(mounts[1].Source, "/dev/sdb\\1");
    std::vector<CLxSwap> swaps = LxParseSwaps(
        "Filename Type Size Used Priority\n/dev/sda2 partition 1 0 -2\n"
        "/swap\\040file file 1 0 -3\nlonely\n");
    ASSERT_EQ(swaps.size(), 2u);
    EXPECT_FALSE(swaps[0].File);
    EXPECT_EQ(swaps[1].Name, "/swap file");
    EXPECT_TRUE(swaps[1].File);
    // Up default routes only, each interface once, never the loopback's.
    EXPECT_EQ(
        LxParseDefaultRoutes("Iface Destination Gateway Flags RefCnt Use Metric Mask\n"
                             "eth0 00000000 0102A8C0 0003 0 0 100 00000000\n"
                             "eth2 00000000 0102A8C0 0002 0 0 100 00000000\n"
                             "eth3 0000A8C0 00000000 0001 0 0 100 00FFFFFF\n"
                             "eth0 00000000 0102A8C0 0003 0 0 200 00000000\n",
                             std::string(32, '0') + " 00 " + std::string(32, '0') + " 00 " + std::string(32, '0') +
                                 " 00000400 1 0 00000003 eth1\n" + std::string(32, '0') + " 00 " +
                                 std::string(32, '0') + " 00 " + std::string(32, '0') + " ffffffff 1 0 00200201 lo\n"),
        (std::vector<std::string>{"eth0", "eth1"}));
    struct {
        const char *Ev, *Key, *Rel;
        unsigned Bits;
        ELxInputKind Kind;
    } inputs[] = {
        {"120013", "e080ffdf01cfffff fffffffffffffffe", "", 64, LX_INPUT_KEYBOARD},
        {"120013", "e080ffdf 01cfffff ffffffff fffffffe", "", 32, LX_INPUT_KEYBOARD},
        {"120013", "fffffffffffffff0", "", 64, LX_INPUT_OTHER},  // a few keys: a remote, a power button
        {"17", "1f0000 0 0 0 0", "143", 64, LX_INPUT_MOUSE},     // BTN_LEFT is bit 272
        {"17", "0 0 0 0 0", "143", 64, LX_INPUT_OTHER},          // moves, but has no button
        {"zz", "-1 fffffffffffffffffffffffe", "x", 64, LX_INPUT_OTHER},
    };
    for (const auto& input : inputs) EXPECT_EQ(LxInputKind(input.Ev, input.Key, input.Rel, input.Bits), input.Kind);
    // A device is below a directory only across a whole name: 1-10 is not below 1-1.
    std::vector<CLxInUse> inUse = {{"a", {"/sys/devices/usb1/1-10/x"}}, {"b", {"/sys/devices/usb1/1-1/x"}}};
    EXPECT_EQ(LxFoundBelow(inUse, {"/sys/devices/usb1/1-1"}), std::vector<std::string>{"b"});
}

TEST_F(CLinuxBenchTest, ComplianceModeIsEndedByAWarmResetAtTheNextEnumerationAndAtExit) {
    ASSERT_NO_FATAL_FAILURE(Start());
    m_system->Answers["2-1 a3 00 0000 0002"] = {0, {0x40, 0x01, 0, 0}};  // link state 10: Compliance Mode
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 6), BENCH_OK);
    EXPECT_EQ(TakeSent(), (std::vector<std::string>{"2-1 23 03 0005 0a02 0000"}));
    EXPECT_EQ(ReadRecord(), "warm-reset usb2 1 2\n");  // a crash now leaves it to the next start
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(TakeSent(), (std::vector<std::string>{"2-1 23 03 001c 0002 0000"}));  // BH_PORT_RESET
    EXPECT_FALSE(fs::exists(Record()));
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(TakeSent().empty());
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 7), BENCH_OK);
    Take();
    DestroyBench();
    EXPECT_EQ(m_backend->SwitchStack(BL_SWITCH_CLEANUP, ""), 0);
    EXPECT_EQ(TakeSent(), (std::vector<std::string>{"2-1 23 03 001c 0003 0000"}));
}

// What the record names is set right at the next start only where it still
// holds: a controller still stopped, a port still in Compliance Mode (or
// empty), a port still without power, each on the hub it was on.
TEST_F(CLinuxBenchTest, TheRecordIsActedOnOnlyWhereItStillHolds) {
    const std::string rebind = "bus/pci/drivers/xhci_hcd 0000:00:04.0\n";
    const std::vector<std::string> rebound = {"unbind 0000:00:04.0", "bind 0000:00:04.0"};
    const std::string usb1 = std::string(kXhci) + "/usb1";
    struct CCase {
        const char* Name;
        std::string Record;
        std::function<void()> Arrange;
        std::vector<std::string> Done;  // writes and requests sent, in order
    } cases[] = {
        {"no root port powered", rebind, [] {}, rebound},
        {"root port powered, devices answer",
         rebind,
         [&] {
             m_system->Answers["1-1 a3 00 0000 0001"] = {0, {0x03, 0x01, 0, 0}};
         },
         {}},
        {"ports always powered, no device answers", rebind,
         [&] {
             m_system->Answers["1-1 a3 00 0000 0001"] = {0, {0x03, 0x01, 0, 0}};
             for (const char* device : {"1-2", "1-3", "1-4", "1-5", "2-2"})
                 m_system->Answers[std::string(device) + " 80 00 0000 0000"] = {EPROTO, {}};
         },
         rebound},
        {"bound to another driver",
         rebind,
         [&] {
             fs::rename(m_root / kXhci, m_root / "bus/pci/devices/0000:00:04.0");
             fs::create_symlink(m_root / "bus/pci/drivers/vfio-pci", m_root / "bus/pci/devices/0000:00:04.0/driver");
         },
         {}},
        {"unbound", rebind, [&] { fs::rename(m_root / kXhci, m_root / "bus/pci/devices/0000:00:04.0"); }, rebound},
        {"port still off",
         "power-on usb1 1 2\n",
         [&] { File(usb1 + "/1-0:1.0/usb1-port2/disable", "1"); },
         {"usb1-port2/disable 0"}},
        {"port back on", "power-on usb1 1 2\n", [&] { File(usb1 + "/1-0:1.0/usb1-port2/disable", "0"); }, {}},
        {"hub replugged", "power-on 1-1 7 2\n", [&] { File(usb1 + "/1-1/1-1:1.0/1-1-port2/disable", "1"); }, {}},
        {"empty port in compliance", "warm-reset usb2 1 2\n", [] {}, {"2-1 23 03 001c 0002 0000"}},
        {"device running there since", "warm-reset usb2 1 1\n", [] {}, {}},
        {"device there still in compliance",
         "warm-reset usb2 1 1\n",
         [&] {
             m_system->Answers["2-1 a3 00 0000 0001"] = {0, {0x43, 0x03, 0, 0}};
         },
         {"2-1 23 03 001c 0001 0000"}},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TearDown();
        SetUp();
        auto system = std::make_unique<CFakeSystem>();
        m_system = system.get();
        fs::create_directories(m_root / "bus/pci/devices");
        test.Arrange();
        File("run/voltaris/test-mode", test.Record);
        m_backend =
            BLLinuxCreate(std::move(system), m_root.string(), Record().string(), (m_root / "proc").string()).release();
        BLInstallBackend(m_backend);
        std::vector<std::string> done = m_system->Writes;
        for (const std::string& request : TakeSent()) done.push_back(request);
        EXPECT_EQ(done, test.Done);
        EXPECT_EQ(fs::exists(Record()), test.Name == std::string("unbound"));  // that one stays away
    }
}

TEST_F(CLinuxBenchTest, UsbIpRootPortsTakeNoTestModeOrComplianceButEverythingElse) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectHostByIndex(1), BENCH_OK);  // vhci_hcd.0
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    m_system->Writes.clear();
    Take();
    EXPECT_EQ(RunHostPortTest(PORT_TEST_TEST_J, 1), BENCH_E_FAILED);
    EXPECT_EQ(RunHostPortCompliance(COMPLIANCE_TX_COMPLIANCE_MODE, 9), BENCH_E_SELECT);
    EXPECT_TRUE(TakeSent().empty());
    EXPECT_TRUE(HasReport("root:1 is a port of the USB/IP virtual controller, which takes a port test mode"));
    EXPECT_TRUE(HasReport("root:9 is a port of the USB/IP virtual controller, which takes Compliance Mode"));
    uint32_t status = 1;
    SelectedHostController()->ReadRegister(BL_REG_USBSTS, &status);
    EXPECT_EQ(status & 1, 0u);  // nothing stopped it
    EXPECT_EQ(RunHostPortTest(PORT_TEST_SUSPEND, 1), BENCH_OK);
    EXPECT_EQ(RunHostPortTest(PORT_TEST_RESET, 2), BENCH_OK);
    EXPECT_EQ(TakeSent(), (std::vector<std::string>{"3-1 23 03 0002 0001 0000", "3-1 23 03 0004 0002 0000"}));
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(m_system->Writes.empty());  // no rebind drops the USB/IP devices
}

TEST_F(CLinuxBenchTest, PowerCyclingAsksTheRightDescriptorSwitchesBothPortsAndRetriesThePowerOn) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(4), BENCH_OK);  // 2-1 on root port 5 (usb2-port1), a SuperSpeed device
    uint8_t buffer[256] = {};
    ASSERT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_PACKET, buffer, sizeof buffer), BENCH_OK);
    m_system->Answers["2-2 80 00 0000 0000"] = {EPROTO, {}};
    m_system->Answers["2-1 a0 06 2a00 0000"] = {0, {12, 0x2A, 4, 0x01, 0x00, 50, 0, 0, 0, 0, 0, 0}};
    m_system->FailWrites["usb2-port1/disable 0"] = 3;
    Take();
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    std::vector<std::string> sent = Take();  // the length a USB 3 root hub answers
    EXPECT_NE(std::find(sent.begin(), sent.end(), "2-1 a0 06 2a00 0000 000c"), sent.end());
    EXPECT_EQ(m_system->Writes,
              (std::vector<std::string>{"usb2-port1/disable 1", "usb1-port1/disable 1", "usb2-port1/disable 0",
                                        "usb2-port1/disable 0", "usb2-port1/disable 0", "usb1-port1/disable 0"}));
    EXPECT_TRUE(HasReport("the power of usb2-port1 could not be switched on again (Input/output error)"));
    EXPECT_EQ(ReadRecord(), "power-on usb2 1 1\n");
    // The next enumeration tries again.
    m_system->Writes.clear();
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_EQ(m_system->Writes, std::vector<std::string>{"usb2-port1/disable 0"});
    EXPECT_FALSE(fs::exists(Record()));

    // A hub descriptor that cannot be read is said to be that, not a hub
    // that cannot switch a port.
    ASSERT_EQ(SelectDeviceByIndex(3), BENCH_OK);
    ASSERT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_PACKET, buffer, sizeof buffer), BENCH_OK);
    m_system->Answers["1-5 80 00 0000 0000"] = {EPROTO, {}};
    m_system->Answers["1-1 a0 06 2900 0000"] = {EPIPE, {}};
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    EXPECT_TRUE(
        HasReport("1-2 stays in its test mode until it is unplugged or power-cycled: the hub descriptor of "
                  "usb1 could not be read (Broken pipe)"));
}

TEST_F(CLinuxBenchTest, WhatTheKernelWouldNotGiveUpOrKeepsIsSaid) {
    std::string keyboard = std::string(kXhci) + "/usb1/1-2";
    fs::create_symlink(m_root / "bus/usb/drivers/usbhid", m_root / keyboard / "1-2:1.0/driver");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_EQ(SelectDeviceByIndex(3), BENCH_OK);
    m_system->NodeErrors = {{"detach 1-5 0", EPERM}, {"detach 1-5 1", ENODATA}, {"claim 1-1 2", EBUSY}};
    uint8_t buffer[256] = {};
    EXPECT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_PACKET, buffer, sizeof buffer), BENCH_OK);
    EXPECT_TRUE(HasReport("interface 0 of 1-2 could not be taken from its driver (Operation not permitted)"));
    EXPECT_FALSE(HasReport("interface 1 of 1-2"));  // no driver had it
    EXPECT_TRUE(
        HasReport("port 2 of the hub at bus 1 device 1 could not be claimed from the hub driver (Device "
                  "or resource busy)"));
    ASSERT_EQ(EnumerateAll(m_devices, m_hubs), 0);
    // A device suspended through its port keeps its drivers, which may wake it.
    m_system->Reports.clear();
    EXPECT_EQ(RunHostPortTest(PORT_TEST_SUSPEND, 3), BENCH_OK);  // nothing there
    EXPECT_TRUE(m_system->Reports.empty());
    EXPECT_EQ(RunHostPortTest(PORT_TEST_SUSPEND, 2), BENCH_OK);
    EXPECT_TRUE(HasReport("1-2 is suspended with its drivers bound (usbhid): they may wake it up"));
}

// A fixture of the kernel's ehset driver puts its port into a test mode by
// itself: on a root port the controller is taken as stopped and rebound,
// on a hub port the hub is reset at the next enumeration.
TEST_F(CLinuxBenchTest, AFixtureTheEhsetDriverBindsIsSaidAndItsTestModeEnded) {
    std::string usb1 = std::string(kXhci) + "/usb1";
    Device(usb1 + "/1-3", 1, 6, "480", "1a0a", "0104", "", 0);
    Device(usb1 + "/1-1/1-1.4", 1, 7, "480", "1a0a", "0102", "", 0);
    Device(usb1 + "/1-1/1-1.2", 1, 8, "480", "1a0a", "0108", "", 0);
    Device(usb1 + "/1-4", 1, 9, "480", "1a0a", "0101", "", 0);  // no driver bound: the fixture does nothing
    for (const char* fixture : {"/1-3", "/1-1/1-1.4", "/1-1/1-1.2"}) Interface(usb1 + fixture, 0, "usb_ehset_test");
    ASSERT_NO_FATAL_FAILURE(Start());
    const char* said[] = {
        "1a0a:0104 at 1-3 is bound to the kernel's ehset driver (usb_ehset_test), which put root:3 "
        "into a test mode, which stopped controller 0000:00:04.0",
        "1a0a:0102 at 1-1.4 is bound to the kernel's ehset driver (usb_ehset_test), which put port "
        "4 of hub 1-1 into a test mode",
        "1a0a:0108 at 1-1.2 is bound to the kernel's ehset driver (usb_ehset_test), which runs its "
        "own test sequence"};
    for (const char* text : said) EXPECT_TRUE(HasReport(text)) << text;
    EXPECT_EQ(m_system->Reports.size(), 3u);  // said once, though the enumeration listed them again
    // The first enumeration reset the hub and rebound the controller.
    EXPECT_EQ(m_system->Writes, (std::vector<std::string>{"unbind 0000:00:04.0", "bind 0000:00:04.0"}));
    EXPECT_NE(std::find(m_system->Nodes.begin(), m_system->Nodes.end(), "reset 1-2"), m_system->Nodes.end());
}
