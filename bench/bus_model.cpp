#include "bench/bus_model.h"

#include "benchline/backend.h"

#include <algorithm>
#include <cstring>

namespace {

CBusModel g_bus;

constexpr uint8_t kFirstAddress = 1;
constexpr uint8_t kLastAddress = 254;
// A parent chain longer than the number of addresses can only be a loop in
// what the component reports.
constexpr int kMaxClimb = kLastAddress;
constexpr uint32_t kDriverVersionBase = 0x1000300;  // 1.0.3.0

bool PassesFilter(uint8_t speed, SpeedFilter filter) {
    switch (filter) {
    case SPEED_USB2: return speed <= UsbHighSpeed;
    case SPEED_SUPER: return speed >= UsbSuperSpeed;
    case SPEED_ALL: return true;
    default: return false;
    }
}

// The speed of a device when it can be read and passes the filter.
bool ReadSpeedPasses(CDevice* device, SpeedFilter filter, uint8_t* speed) {
    *speed = 0;
    return device->GetDeviceSpeed(speed) >= 0 && PassesFilter(*speed, filter);
}

EBenchResult SaveIdentity(CDevice* device, CBusIdentity& identity) {
    identity = CBusIdentity{};
    BLSTATUS status = device->GetVidPidSerialNumber(&identity.Vid, &identity.Pid, &identity.Serial);
    identity.Tag = device->DeviceTag;
    return FoldStatus(status, BENCH_E_SELECT);
}

// What a listing row shows of a device (its VID and PID, read with the rest
// of its identity) and keeps of it.
void ListDevice(CDevice* device, uint16_t& vid, uint16_t& pid, CListedObject& listed) {
    listed = {device, {}, g_bus.Enumerations};
    SaveIdentity(device, listed.Identity);
    vid = listed.Identity.Vid;
    pid = listed.Identity.Pid;
}

bool MakeHubRecord(CHubDevice* hub, SpeedFilter filter, HubRecord& record) {
    uint8_t speed;
    if (!ReadSpeedPasses(hub, filter, &speed)) return false;
    record = HubRecord{};
    ListDevice(hub, record.Vid, record.Pid, record.Listed);
    hub->GetAddress(&record.Address);
    record.PortCount = hub->PortCount;
    record.SuperSpeed = speed >= UsbSuperSpeed ? 1 : 0;
    return true;
}

// Empties the hub and device lists and drops the selections into them.
void ForgetListedObjects() {
    g_bus.HubList.clear();
    g_bus.DeviceList.clear();
    g_bus.SelectedHub = NO_SELECTION;
    g_bus.SelectedDevice = NO_SELECTION;
    g_bus.SavedHubIdentity = CBusIdentity{};
    g_bus.SavedDeviceIdentity = CBusIdentity{};
}

BLSTATUS EnumerateStatus() {
    ++g_bus.Enumerations;
    BLSTATUS status = g_bus.Root->Enumerate();
    if (status == BL_S_ENUMERATE_WARNING) status = 0;
    // A rescan resets the controller and its ports and leaves a device still
    // in a test mode unaddressed, so no test mode remains on what it lists;
    // after a failed one nothing is known of the bus.
    g_bus.PendingEnumeration[g_bus.SelectedHost] = status < 0 ? PENDING_ANY : 0;
    return status;
}

bool SameIdentity(const CBusIdentity& a, const CBusIdentity& b) {
    return a.Vid == b.Vid && a.Pid == b.Pid && a.Serial == b.Serial && a.Tag == b.Tag;
}

// The position in list of the device with this identity. The tag is the
// host's own record, so only a device that carries it is asked for the rest.
template <class T>
uint8_t IndexOfIdentity(const std::vector<T*>& list, const CBusIdentity& identity) {
    for (size_t i = 0; i < list.size() && i < NO_SELECTION; ++i) {
        if (list[i]->DeviceTag != identity.Tag) continue;
        CBusIdentity found;
        if (SaveIdentity(list[i], found) == BENCH_OK && SameIdentity(found, identity)) return static_cast<uint8_t>(i);
    }
    return NO_SELECTION;
}

template <class T>
uint8_t IndexOfListed(const std::vector<T*>& list, const CListedObject& listed) {
    if (listed.ListedAt != g_bus.Enumerations) return IndexOfIdentity(list, listed.Identity);
    auto it = std::find(list.begin(), list.end(), listed.Object);
    return it == list.end() ? NO_SELECTION : static_cast<uint8_t>(it - list.begin());
}

}  // namespace

CBusModel& BusModel() { return g_bus; }

EBenchResult CreateBench() {
    g_bus.SavedHubIdentity = CBusIdentity{};
    g_bus.SavedDeviceIdentity = CBusIdentity{};
    if (g_bus.Root) return BENCH_E_EXISTS;
    g_bus.Root = BLCreateBenchline();
    if (!g_bus.Root) return BENCH_E_CREATE;
    if (g_bus.Root->SelectStack(BL_STACK_COMPLIANCE) < 0) return BENCH_E_STACK;
    return BENCH_OK;
}

EBenchResult DestroyBench() {
    delete g_bus.Root;
    g_bus.Root = nullptr;
    // The listed objects died with the root object; no listing may name them.
    ++g_bus.Enumerations;
    g_bus.HostList.clear();
    g_bus.HubList.clear();
    g_bus.DeviceList.clear();
    return BENCH_OK;
}

CHostController* SelectedHostController() {
    return g_bus.SelectedHost < g_bus.HostList.size() ? g_bus.HostList[g_bus.SelectedHost] : nullptr;
}

CHubDevice* SelectedHubDevice() {
    return g_bus.SelectedHub < g_bus.HubList.size() ? g_bus.HubList[g_bus.SelectedHub] : nullptr;
}

CDevice* SelectedDeviceObject() {
    return g_bus.SelectedDevice < g_bus.DeviceList.size() ? g_bus.DeviceList[g_bus.SelectedDevice] : nullptr;
}

uint8_t GetSelectedHost() { return g_bus.SelectedHost; }
uint8_t GetSelectedHub() { return g_bus.SelectedHub; }

uint8_t PendingEnumeration() { return g_bus.PendingEnumeration[g_bus.SelectedHost]; }

void MarkPendingEnumeration(uint8_t kinds) { g_bus.PendingEnumeration[g_bus.SelectedHost] |= kinds; }

void SetProgressSink(ProgressSink sink, void* context) { BLSetProgressSink(sink, context); }

EBenchResult BuildHostList(std::vector<HostRecord>& records) {
    g_bus.HostList.clear();
    records.clear();
    if (!g_bus.Root) return BENCH_E_NO_HOST;
    for (CHostController* host = g_bus.Root->FindFirstHC(); host; host = g_bus.Root->FindNextHC()) {
        g_bus.HostList.push_back(host);
        g_bus.Root->SelectHostController(host, false, false);
        HostRecord& record = records.emplace_back();
        record.PortCount = host->GetNumberHostPorts();
        for (unsigned k = 1; k <= record.PortCount; ++k) {
            record.AllPorts[k - 1] = static_cast<uint8_t>(k);
            // A port the controller counts but does not return has no speed to
            // sort it by; it stays out of both speed lists.
            CHostPort* port = host->GetHostPort(k);
            if (!port) continue;
            if (port->IsSuperSpeedPort())
                record.SuperSpeedPorts[record.SuperSpeedPortCount++] = static_cast<uint8_t>(k);
            else record.Usb2Ports[record.Usb2PortCount++] = static_cast<uint8_t>(k);
        }
        const char* id = host->GetHostID();
        if (id) std::memcpy(record.HostId, id, strnlen(id, sizeof record.HostId - 1));
    }
    if (g_bus.HostList.empty()) return BENCH_E_NO_HOST;
    // Listing walked the component through every controller; every later
    // request must reach the one the user chose, not the last one listed.
    if (g_bus.SelectedHost != NO_SELECTION) {
        if (g_bus.SelectedHost >= g_bus.HostList.size()) {
            g_bus.SelectedHost = NO_SELECTION;
            return BENCH_E_SELECT;
        }
        if (BLFailed(g_bus.Root->SelectHostController(g_bus.HostList[g_bus.SelectedHost], true, false)))
            return BENCH_E_SELECT;
    }
    return BENCH_OK;
}

EBenchResult SelectHostByIndex(uint8_t index) {
    if (index >= g_bus.HostList.size() || !g_bus.Root) return BENCH_E_INDEX;
    BLSTATUS status = g_bus.Root->SelectHostController(g_bus.HostList[index], true, false);
    if (status < 0) return BLFailed(status) ? BENCH_E_FAILED : BENCH_E_SELECT;
    g_bus.SelectedHost = index;
    CBLInterface* driver = g_bus.Root->GetBLInterface();
    if (!driver) return BENCH_E_FAILED;
    uint32_t version = 0;
    status = driver->GetDriverVersion(&version);
    if (BLFailed(status)) return BENCH_E_FAILED;
    if (status < 0) return BENCH_OK;
    return version - kDriverVersionBase < 256 ? BENCH_OK : BENCH_E_DRIVER_VERSION;
}

EBenchResult BuildHubList(std::vector<HubRecord>& records, uint8_t, SpeedFilter filter) {
    g_bus.HubList.clear();
    records.clear();
    if (!g_bus.Root) return BENCH_OK;
    for (CHubDevice* hub = g_bus.Root->FindFirstHub(); hub; hub = g_bus.Root->FindNextHub()) {
        HubRecord record;
        if (!MakeHubRecord(hub, filter, record)) continue;
        g_bus.HubList.push_back(hub);
        records.push_back(record);
    }
    return BENCH_OK;
}

EBenchResult RebuildHubRecords(std::vector<HubRecord>& records, uint8_t, SpeedFilter filter) {
    records.clear();
    for (CHubDevice* hub : g_bus.HubList) {
        HubRecord record;
        if (MakeHubRecord(hub, filter, record)) records.push_back(record);
    }
    return BENCH_OK;
}

EBenchResult BuildDeviceList(std::vector<DeviceRecord>& records, uint8_t port, SpeedFilter filter) {
    g_bus.DeviceList.clear();
    records.clear();
    if (!g_bus.Root) return BENCH_OK;
    if (port != NO_SELECTION) g_bus.Root->SelectPort(port);
    for (unsigned address = kFirstAddress; address <= kLastAddress; ++address) {
        CDevice* device = g_bus.Root->GetDeviceByDeviceAddress(static_cast<uint8_t>(address));
        uint8_t speed;
        if (!device || !ReadSpeedPasses(device, filter, &speed) || !IsBelowSelectedHub(device)) continue;
        if (std::find(g_bus.DeviceList.begin(), g_bus.DeviceList.end(), device) != g_bus.DeviceList.end()) continue;
        g_bus.DeviceList.push_back(device);
        DeviceRecord& record = records.emplace_back();
        ListDevice(device, record.Vid, record.Pid, record.Listed);
        device->GetAddress(&record.Address);
        record.ParentPort = device->ParentPort;
        device->GetPhysicalParentHubPort(&record.PhysicalParentPort);
    }
    return BENCH_OK;
}

bool IsBelowSelectedHub(CDevice* device) {
    if (g_bus.SelectedHub == NO_SELECTION) return true;
    CHubDevice* hub = SelectedHubDevice();
    uint8_t hubAddress = 0;
    if (!hub || !g_bus.Root || hub->GetAddress(&hubAddress) < 0) return false;
    for (int step = 0; device && step < kMaxClimb; ++step) {
        uint8_t parent = 0;
        if (BLFailed(device->GetParentHubAddress(&parent)) || parent == 0) return false;
        if (parent == hubAddress) return true;
        device = g_bus.Root->GetDeviceByDeviceAddress(parent);
    }
    return false;
}

BLSTATUS EnumerateAll(std::vector<DeviceRecord>& devices, std::vector<HubRecord>& hubs) {
    if (!g_bus.Root) return BENCH_E_NO_HOST;
    BLSTATUS status = EnumerateStatus();
    if (status < 0) {
        // The component may have dropped the objects of the last listing even
        // though the rescan failed: nothing may point at them any more.
        ForgetListedObjects();
        devices.clear();
        hubs.clear();
        return status;
    }
    g_bus.SelectedHub = NO_SELECTION;
    BuildDeviceList(devices, NO_SELECTION, SPEED_ALL);
    BuildHubList(hubs, NO_SELECTION, SPEED_ALL);
    return status;
}

EBenchResult EnumerateBus(bool keepSelection, uint8_t* deviceIndex, uint8_t* hubIndex, SpeedFilter filter,
                          bool hubsOnly) {
    if (deviceIndex) *deviceIndex = NO_SELECTION;
    if (hubIndex) *hubIndex = NO_SELECTION;
    if (g_bus.SelectedHost == NO_SELECTION || !g_bus.Root) return BENCH_E_NO_HOST;

    BLSTATUS status = EnumerateStatus();
    std::vector<HubRecord> hubRecords;
    std::vector<DeviceRecord> deviceRecords;
    BuildHubList(hubRecords, NO_SELECTION, filter);
    if (!hubsOnly) BuildDeviceList(deviceRecords, NO_SELECTION, filter);
    EBenchResult result = status < 0 ? BENCH_E_FAILED : BENCH_OK;

    if (keepSelection) {
        if (g_bus.SelectedHub != NO_SELECTION && hubIndex) {
            const CBusIdentity& saved = g_bus.SavedHubIdentity;
            if (CDevice* found = FindDeviceByIdentity(saved.Vid, saved.Pid, saved.Serial, saved.Tag)) {
                uint8_t index = HubListIndexOf(found, filter);
                SelectHubByIndex(index);
                BuildDeviceList(deviceRecords, NO_SELECTION, SPEED_ALL);
                *hubIndex = index;
            } else {
                g_bus.SelectedHub = NO_SELECTION;
            }
        }
        if (g_bus.SelectedDevice != NO_SELECTION && deviceIndex) {
            const CBusIdentity& saved = g_bus.SavedDeviceIdentity;
            if (CDevice* found = FindDeviceByIdentity(saved.Vid, saved.Pid, saved.Serial, saved.Tag)) {
                uint8_t index = DeviceListIndexOf(found);
                if (SelectDeviceByIndex(index) == BENCH_OK) *deviceIndex = index;
                else g_bus.SelectedDevice = NO_SELECTION;
            } else {
                g_bus.SelectedDevice = NO_SELECTION;
            }
        }
    } else {
        g_bus.SelectedDevice = NO_SELECTION;
    }

    if (g_bus.SelectedHub == NO_SELECTION) g_bus.SavedHubIdentity = CBusIdentity{};
    if (g_bus.SelectedDevice == NO_SELECTION) g_bus.SavedDeviceIdentity = CBusIdentity{};
    return result;
}

CDevice* FindDeviceByIdentity(uint16_t vid, uint16_t pid, uint16_t serial, uint32_t tag) {
    if (!g_bus.Root) return nullptr;
    for (unsigned address = kFirstAddress; address <= kLastAddress; ++address) {
        CDevice* device = g_bus.Root->GetDeviceByDeviceAddress(static_cast<uint8_t>(address));
        if (!device || device->DeviceTag != tag) continue;
        uint16_t v = 0, p = 0, s = 0;
        if (BLFailed(device->GetVidPidSerialNumber(&v, &p, &s))) continue;
        if (v == vid && p == pid && s == serial) return device;
    }
    return nullptr;
}

uint8_t DeviceListIndexOf(const CDevice* device) {
    auto it = std::find(g_bus.DeviceList.begin(), g_bus.DeviceList.end(), device);
    return it == g_bus.DeviceList.end() ? NO_SELECTION : static_cast<uint8_t>(it - g_bus.DeviceList.begin());
}

uint8_t DeviceListIndexOfIdentity(const CBusIdentity& identity) { return IndexOfIdentity(g_bus.DeviceList, identity); }

uint8_t HubListIndexOfIdentity(const CBusIdentity& identity) { return IndexOfIdentity(g_bus.HubList, identity); }

uint8_t FindListedDevice(const CListedObject& listed) { return IndexOfListed(g_bus.DeviceList, listed); }

uint8_t FindListedHub(const CListedObject& listed) { return IndexOfListed(g_bus.HubList, listed); }

uint8_t HubListIndexOf(const CDevice* device, SpeedFilter filter) {
    if (!g_bus.Root) return NO_SELECTION;
    unsigned count = 0;
    for (CHubDevice* hub = g_bus.Root->FindFirstHub(); hub && count < NO_SELECTION; hub = g_bus.Root->FindNextHub()) {
        uint8_t speed;
        if (!ReadSpeedPasses(hub, filter, &speed)) continue;
        if (static_cast<const CDevice*>(hub) == device) return static_cast<uint8_t>(count);
        ++count;
    }
    return NO_SELECTION;
}

EBenchResult SelectHubByIndex(uint8_t index) {
    if (index == NO_SELECTION) {
        g_bus.SelectedHub = NO_SELECTION;
        g_bus.SavedHubIdentity = CBusIdentity{};
        return BENCH_OK;
    }
    if (index >= g_bus.HubList.size() || !g_bus.Root) return BENCH_E_INDEX;
    CHubDevice* hub = g_bus.HubList[index];
    if (g_bus.Root->SelectHub(hub) < 0) return BENCH_E_SELECT;
    EBenchResult result = SaveIdentity(hub, g_bus.SavedHubIdentity);
    g_bus.SelectedHub = index;
    return result;
}

EBenchResult SelectDeviceByIndex(uint8_t index) {
    if (index >= g_bus.DeviceList.size()) return BENCH_E_INDEX;
    EBenchResult result = SaveIdentity(g_bus.DeviceList[index], g_bus.SavedDeviceIdentity);
    g_bus.SelectedDevice = index;
    return result;
}

EBenchResult GetRootPort(CDevice* device, uint8_t* port) {
    for (int step = 0; device && g_bus.Root && step < kMaxClimb; ++step) {
        uint8_t parent = 0, physicalPort = 0;
        if (BLFailed(device->GetParentHubAddress(&parent)) || BLFailed(device->GetPhysicalParentHubPort(&physicalPort)))
            return BENCH_E_SELECT;
        if (parent == 0) {
            *port = physicalPort;
            return BENCH_OK;
        }
        device = g_bus.Root->GetDeviceByDeviceAddress(parent);
    }
    return BENCH_E_SELECT;
}

EBenchResult FindUpstreamPort(CDevice* device, CBLPort** port) {
    *port = nullptr;
    if (!device || !g_bus.Root) return BENCH_E_FAILED;
    uint8_t parent = 0;
    if (BLFailed(device->GetParentHubAddress(&parent))) return BENCH_E_FAILED;
    if (device->ParentPort == 0) return BENCH_OK;
    if (parent == 0) {
        CHostController* host = SelectedHostController();
        *port = host ? host->GetHostPort(device->ParentPort) : nullptr;
    } else if (auto* hub = dynamic_cast<CHubDevice*>(g_bus.Root->GetDeviceByDeviceAddress(parent))) {
        *port = hub->GetHubPort(device->ParentPort);
    }
    return *port ? BENCH_OK : BENCH_E_FAILED;
}

CBLPort* GetUpstreamPort(CDevice* device) {
    CBLPort* port = nullptr;
    FindUpstreamPort(device, &port);
    return port;
}

namespace {

CBLPort* HostPort(uint8_t port) {
    CHostController* host = SelectedHostController();
    return host ? host->GetHostPort(port) : nullptr;
}

CBLPort* HubPort(uint8_t port) {
    CHubDevice* hub = SelectedHubDevice();
    return hub ? hub->GetHubPort(port) : nullptr;
}

EBenchResult ReadPortStatus(CBLPort* port, uint32_t* status) {
    if (!port) return BENCH_E_INDEX;
    return FoldStatus(port->GetPortStatus(status));
}

}  // namespace

bool IsHostPortSuperSpeed(uint8_t port) {
    CBLPort* object = HostPort(port);
    return object && object->IsSuperSpeedPort();
}

bool IsHubPortSuperSpeed(uint8_t port) {
    CBLPort* object = HubPort(port);
    return object && object->IsSuperSpeedPort();
}

EBenchResult GetHostPortStatus(uint8_t port, uint32_t* status) { return ReadPortStatus(HostPort(port), status); }

EBenchResult GetHubPortStatus(uint8_t port, uint32_t* status) { return ReadPortStatus(HubPort(port), status); }

EBenchResult PollPortConnection(bool* disconnected, bool* connected, uint8_t kind, uint8_t port) {
    *disconnected = false;
    *connected = false;
    CBLPort* object;
    uint32_t changeBit;
    if (kind == POLL_HUB_PORT) {
        object = HubPort(port);
        changeBit = 1u << 16;
    } else if (kind == POLL_ROOT_PORT) {
        object = HostPort(port);
        changeBit = 1u << 1;
    } else {
        return BENCH_E_INDEX;
    }
    uint32_t status = 0;
    EBenchResult result = ReadPortStatus(object, &status);
    if (result != BENCH_OK) return result;
    if (status & changeBit) {
        (status & 1u ? *connected : *disconnected) = true;
        object->ClearPortFeature(BL_C_PORT_CONNECTION, 0);
    }
    return result;
}
