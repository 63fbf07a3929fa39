#include "bench_fixture.h"

namespace {

const std::string OK = " -> 0x00000000";

// Three USB 2.0 root ports:
//   addr 1  hub A at 1         addr 2  device at 1.2
//   addr 3  hub B at 2         addr 4  twin at 2.1 (tag 100)   addr 5  twin at 2.3 (tag 200)
//   addr 6  device at 3
const char* const kTreeBench = R"(
[[controller]]
id = "Tree host"
ports = ["usb2", "usb2", "usb2"]
device = [
  {at = "1", vid = 0x0451, pid = 0x2046, serial = 1, speed = "high", hub_ports = 4},
  {at = "1.2", vid = 0x046d, pid = 0xc077, speed = "low"},
  {at = "2", vid = 0x0451, pid = 0x2046, serial = 2, speed = "high", hub_ports = 4},
  {at = "2.1", vid = 0x0781, pid = 0x5567, serial = 7, speed = "high", tag = 100},
  {at = "2.3", vid = 0x0781, pid = 0x5567, serial = 7, speed = "high", tag = 200},
  {at = "3", vid = 0x1234, pid = 0x0001, speed = "full"},
]
)";

std::vector<uint8_t> Addresses(const std::vector<CDevice*>& list) {
    std::vector<uint8_t> addresses;
    for (CDevice* device : list) {
        uint8_t address = 0;
        device->GetAddress(&address);
        addresses.push_back(address);
    }
    return addresses;
}

using Bytes = std::vector<uint8_t>;

class BusModelTest : public CBenchTest {};

TEST_F(BusModelTest, HostRecordsSortPortsBySpeed) {
    ASSERT_NO_FATAL_FAILURE(Load(kSmallBench));
    ASSERT_EQ(m_hosts.size(), 1u);
    const HostRecord& host = m_hosts[0];
    EXPECT_EQ(host.PortCount, 4);
    EXPECT_EQ(Bytes(host.AllPorts, host.AllPorts + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Bytes(host.Usb2Ports, host.Usb2Ports + host.Usb2PortCount), (Bytes{1, 2}));
    EXPECT_EQ(Bytes(host.SuperSpeedPorts, host.SuperSpeedPorts + host.SuperSpeedPortCount), (Bytes{3, 4}));
    EXPECT_STREQ(host.HostId, "(simulated) Bench host");
    EXPECT_EQ(GetSelectedHost(), NO_SELECTION);

    CXhciBenchline* root = BusModel().Root;
    EXPECT_EQ(CreateBench(), BENCH_E_EXISTS);
    EXPECT_EQ(BusModel().Root, root);
    // The listed objects die with the root object, so the lists go too.
    EXPECT_EQ(DestroyBench(), BENCH_OK);
    EXPECT_TRUE(BusModel().HostList.empty());
    EXPECT_EQ(BuildHostList(m_hosts), BENCH_E_NO_HOST);
}

TEST_F(BusModelTest, DriverVersionWindowIsOnePointZeroPointThree) {
    ASSERT_NO_FATAL_FAILURE(Load(R"(
controller = [{id = "low end", driver_version = "1.0.3.0"}, {id = "high end", driver_version = "1.0.3.255"},
              {id = "older", driver_version = "1.0.2.255"}, {id = "newer", driver_version = "1.0.4.0"}]
)"));
    ASSERT_EQ(m_hosts.size(), 4u);
    EXPECT_EQ(SelectHostByIndex(0), BENCH_OK);
    EXPECT_EQ(SelectHostByIndex(1), BENCH_OK);
    EXPECT_EQ(SelectHostByIndex(2), BENCH_E_DRIVER_VERSION);
    EXPECT_EQ(GetSelectedHost(), 2);
    EXPECT_EQ(SelectHostByIndex(3), BENCH_E_DRIVER_VERSION);
    EXPECT_EQ(GetSelectedHost(), 3);  // refused, but selected
    EXPECT_EQ(SelectHostByIndex(4), BENCH_E_INDEX);
    EXPECT_EQ(GetSelectedHost(), 3);
}

TEST_F(BusModelTest, SelectHostFoldsStatusByBitThirty) {
    ASSERT_NO_FATAL_FAILURE(Load(R"(
controller = [{id = "warns"}, {id = "fails"}, {id = "newer", driver_version = "1.0.4.0"}]
fault = [
  {request = "SelectHostController", args = "host:0 1 0", status = 0xC0000001},
  {request = "SelectHostController", args = "host:1 1 0", status = 0x80000001},
  {request = "GetDriverVersion", status = 0xC0000002, count = 1},
  {request = "GetDriverVersion", status = 0x80000003, count = 1},
]
)"));
    EXPECT_EQ(SelectHostByIndex(0), BENCH_E_SELECT);
    EXPECT_EQ(SelectHostByIndex(1), BENCH_E_FAILED);
    EXPECT_EQ(GetSelectedHost(), NO_SELECTION);
    // A version read that warns accepts any version; one that fails refuses.
    EXPECT_EQ(SelectHostByIndex(2), BENCH_OK);
    EXPECT_EQ(SelectHostByIndex(2), BENCH_E_FAILED);
    EXPECT_EQ(SelectHostByIndex(2), BENCH_E_DRIVER_VERSION);
    EXPECT_EQ(GetSelectedHost(), 2);
}

TEST_F(BusModelTest, EnumerateBusNeedsASelectedHostAndKeepsTheLists) {
    ASSERT_NO_FATAL_FAILURE(Load(kTreeBench));
    uint8_t device = 0, hub = 0;
    EXPECT_EQ(EnumerateBus(true, &device, &hub, SPEED_ALL, false), BENCH_E_NO_HOST);
    EXPECT_EQ(device, NO_SELECTION);
    EXPECT_EQ(hub, NO_SELECTION);
    EXPECT_TRUE(BusModel().HubList.empty());
    EXPECT_TRUE(BusModel().DeviceList.empty());
}

TEST_F(BusModelTest, EnumerateStatusesFold) {
    ASSERT_NO_FATAL_FAILURE(Load(
        std::string(
            R"(fault = [{request = "Enumerate", status = 0x80007009, count = 1}, {request = "Enumerate", status = 0x80000010, count = 2}])") +
        kTreeBench));
    ASSERT_EQ(SelectHostByIndex(0), BENCH_OK);
    EXPECT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(BusModel().DeviceList.size(), 6u);
    // A failed rescan still rebuilds the dialogs' lists, never the console's.
    EXPECT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_USB2, true), BENCH_E_FAILED);
    EXPECT_EQ(BusModel().HubList.size(), 2u);
    std::vector<DeviceRecord> devices(3);
    std::vector<HubRecord> hubs(3);
    ASSERT_EQ(SelectHubByIndex(0), BENCH_OK);
    EXPECT_EQ(EnumerateAll(devices, hubs), static_cast<int32_t>(0x80000010u));
    // The component may have dropped what the lists pointed at.
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(hubs.empty());
    EXPECT_TRUE(BusModel().HubList.empty());
    EXPECT_TRUE(BusModel().DeviceList.empty());
    EXPECT_EQ(GetSelectedHub(), NO_SELECTION);
    EXPECT_EQ(EnumerateAll(devices, hubs), BENCH_OK);
    EXPECT_EQ(devices.size(), 6u);
    EXPECT_EQ(hubs.size(), 2u);
}

TEST_F(BusModelTest, SpeedFilterKeepsItsSpeeds) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kSmallBench));
    std::vector<DeviceRecord> devices;
    BuildDeviceList(devices, NO_SELECTION, SPEED_SUPER);
    EXPECT_EQ(Addresses(BusModel().DeviceList), (Bytes{5, 6}));
    BuildDeviceList(devices, NO_SELECTION, SPEED_USB2);
    EXPECT_EQ(Addresses(BusModel().DeviceList), (Bytes{1, 2, 3, 4}));
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[2].Vid, 0x0781);
    EXPECT_EQ(devices[2].Pid, 0x5567);
    EXPECT_EQ(devices[2].Address, 3);
    EXPECT_EQ(devices[2].ParentPort, 3);
    BuildDeviceList(devices, NO_SELECTION, 7);
    EXPECT_TRUE(devices.empty());
    std::vector<HubRecord> hubs;
    BuildHubList(hubs, NO_SELECTION, SPEED_SUPER);
    ASSERT_EQ(hubs.size(), 1u);
    EXPECT_EQ(hubs[0].Address, 5);
    EXPECT_EQ(hubs[0].PortCount, 2);
    EXPECT_EQ(hubs[0].SuperSpeed, 1);
    BuildHubList(hubs, NO_SELECTION, SPEED_USB2);
    ASSERT_EQ(hubs.size(), 1u);
    EXPECT_EQ(hubs[0].Address, 1);
    EXPECT_EQ(hubs[0].SuperSpeed, 0);
}

TEST_F(BusModelTest, SelectedHubListsOnlyDevicesBelowIt) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    std::vector<DeviceRecord> devices;
    BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
    EXPECT_EQ(Addresses(BusModel().DeviceList), (Bytes{4, 5}));
    EXPECT_TRUE(IsBelowSelectedHub(BusModel().Root->GetDeviceByDeviceAddress(5)));
    EXPECT_FALSE(IsBelowSelectedHub(BusModel().Root->GetDeviceByDeviceAddress(3)));  // the hub itself
    EXPECT_FALSE(IsBelowSelectedHub(BusModel().Root->GetDeviceByDeviceAddress(2)));
    m_trace.clear();
    EXPECT_EQ(SelectHubByIndex(NO_SELECTION), BENCH_OK);
    EXPECT_TRUE(m_trace.empty());
    EXPECT_EQ(BusModel().SavedHubIdentity.Serial, 0);
    EXPECT_TRUE(IsBelowSelectedHub(BusModel().Root->GetDeviceByDeviceAddress(2)));
}

TEST_F(BusModelTest, HubThatMovedIsSelectedAgainWithItsDevice) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    std::vector<DeviceRecord> devices;
    BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
    ASSERT_EQ(SelectDeviceByIndex(1), BENCH_OK);  // the twin with tag 200
    Unplug("1");
    uint8_t device = 0, hub = 0;
    EXPECT_EQ(EnumerateBus(true, &device, &hub, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(hub, 0);
    EXPECT_EQ(GetSelectedHub(), 0);
    EXPECT_EQ(BusModel().SavedHubIdentity.Serial, 2);
    ASSERT_EQ(device, 1);
    EXPECT_EQ(BusModel().SelectedDevice, 1);
    EXPECT_EQ(BusModel().DeviceList[device]->DeviceTag, 200u);
}

TEST_F(BusModelTest, HubThatVanishedIsDeselected) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    Unplug("2");
    uint8_t device = 0, hub = 0;
    EXPECT_EQ(EnumerateBus(true, &device, &hub, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(hub, NO_SELECTION);
    EXPECT_EQ(GetSelectedHub(), NO_SELECTION);
    EXPECT_EQ(BusModel().SavedHubIdentity.Vid, 0);
    EXPECT_EQ(BusModel().SavedHubIdentity.Tag, 0u);
}

TEST_F(BusModelTest, DeviceInATestModeIsLostUntilPowerCycled) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    uint8_t index = DeviceIndex(6);
    ASSERT_EQ(SelectDeviceByIndex(index), BENCH_OK);
    uint8_t buffer[256] = {};
    ASSERT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_PACKET, buffer, sizeof buffer), BENCH_OK);
    PowerCycle("3");
    uint8_t device = 0;
    EXPECT_EQ(EnumerateBus(true, &device, nullptr, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(device, index);
    EXPECT_EQ(BusModel().SelectedDevice, index);

    ASSERT_EQ(RunDeviceCommand(DEVICE_CMD_TEST_PACKET, buffer, sizeof buffer), BENCH_OK);
    EXPECT_EQ(EnumerateBus(true, &device, nullptr, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(device, NO_SELECTION);
    EXPECT_EQ(BusModel().SelectedDevice, NO_SELECTION);
    EXPECT_EQ(BusModel().SavedDeviceIdentity.Vid, 0);
}

TEST_F(BusModelTest, EnumerationWithoutKeepingDeselectsTheDeviceOnly) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    ASSERT_EQ(SelectDeviceByIndex(0), BENCH_OK);
    EXPECT_EQ(EnumerateBus(false, nullptr, nullptr, SPEED_ALL, false), BENCH_OK);
    EXPECT_EQ(BusModel().SelectedDevice, NO_SELECTION);
    EXPECT_EQ(BusModel().SavedDeviceIdentity.Pid, 0);
    EXPECT_EQ(GetSelectedHub(), 1);
}

TEST_F(BusModelTest, PollSeesEachConnectionChangeOnceAndAcknowledgesIt) {
    ASSERT_NO_FATAL_FAILURE(LoadAndEnumerate(kTreeBench));
    bool disconnected = true, connected = true;
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_ROOT_PORT, 3), BENCH_OK);
    EXPECT_FALSE(disconnected || connected);
    Unplug("3");
    m_trace.clear();
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_ROOT_PORT, 3), BENCH_OK);
    EXPECT_TRUE(disconnected);
    EXPECT_FALSE(connected);
    EXPECT_EQ(Sent(), (Lines{"ClearPortFeature root:3 16 0" + OK}));
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_ROOT_PORT, 3), BENCH_OK);
    EXPECT_FALSE(disconnected || connected);
    Plug("3");
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_ROOT_PORT, 3), BENCH_OK);
    EXPECT_FALSE(disconnected);
    EXPECT_TRUE(connected);

    ASSERT_EQ(SelectHubByIndex(1), BENCH_OK);
    Unplug("2.1");
    m_trace.clear();
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_HUB_PORT, 1), BENCH_OK);
    EXPECT_TRUE(disconnected);
    EXPECT_EQ(Sent(), (Lines{"ClearPortFeature hub@3:1 16 0" + OK}));

    EXPECT_EQ(PollPortConnection(&disconnected, &connected, 3, 1), BENCH_E_INDEX);
    EXPECT_EQ(PollPortConnection(&disconnected, &connected, POLL_HUB_PORT, 9), BENCH_E_INDEX);
}

}  // namespace
