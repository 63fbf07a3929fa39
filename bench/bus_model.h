// The process-wide model of the bus under test: the test services root
// object, the lists of controllers, hubs and devices, and the selections.
//
// All operations are plain functions on one module state. The pointers in
// the lists belong to the component and stay valid until the next
// enumeration or DestroyBench.
#pragma once

#include "benchline/benchline.h"

#include <array>
#include <cstdint>
#include <vector>

// The result of a bench command: BENCH_OK, or a BENCH_E_ value (negative).
// It is a type of its own, apart from the component's BLSTATUS: a request's
// status becomes a bench result through FoldStatus (the executors' fold, which
// the bus model uses too) or a BENCH_E_ value a step names itself, and a bench
// result is judged by its sign, never by the component's rule.
enum EBenchResult : int32_t {
    BENCH_OK = 0,
    BENCH_E_INDEX = static_cast<int32_t>(0x80000001u),  // index out of range, port not found
    BENCH_E_EXISTS = static_cast<int32_t>(0x80000002u),
    BENCH_E_CREATE = static_cast<int32_t>(0x80000003u),
    BENCH_E_STACK = static_cast<int32_t>(0x80000004u),
    BENCH_E_FAILED = static_cast<int32_t>(0x80000005u),
    BENCH_E_NO_HOST = static_cast<int32_t>(0x80000006u),
    BENCH_E_SELECT = static_cast<int32_t>(0x80000007u),
    BENCH_E_DRIVER_VERSION = static_cast<int32_t>(0x80000008u),
};
bool BLFailed(EBenchResult) = delete;  // a bench result is judged by its sign

// The fold: a component status judged by the component's rule, as a bench
// result (failure when it failed, else BENCH_OK).
constexpr EBenchResult FoldStatus(BLSTATUS status, EBenchResult failure = BENCH_E_FAILED) {
    return BLFailed(status) ? failure : BENCH_OK;
}

// Byte indexes use this for "none"; it is also the "no port" argument of the
// list builders.
constexpr uint8_t NO_SELECTION = 255;

// Which device speeds a list keeps. Any other value keeps nothing.
using SpeedFilter = int32_t;
constexpr SpeedFilter SPEED_USB2 = 0;   // low, full and high speed
constexpr SpeedFilter SPEED_SUPER = 1;  // SuperSpeed and above
constexpr SpeedFilter SPEED_ALL = 2;

struct HostRecord {
    uint8_t PortCount = 0;  // GetNumberHostPorts
    uint8_t Usb2PortCount = 0;
    uint8_t SuperSpeedPortCount = 0;
    uint8_t AllPorts[256] = {};   // entry k-1 holds k
    uint8_t Usb2Ports[256] = {};  // ascending
    uint8_t SuperSpeedPorts[256] = {};
    char HostId[256] = {};  // NUL-terminated, at most 255 characters
};

// What identifies a hub or device across a re-enumeration.
struct CBusIdentity {
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    uint16_t Serial = 0;
    uint32_t Tag = 0;
};

// What a row of a listing showed: the object itself, which stays valid until
// the bus is enumerated again, and its identity, which finds it after that.
struct CListedObject {
    CDevice* Object = nullptr;
    CBusIdentity Identity;
    uint32_t ListedAt = 0;  // the bus model's enumeration count when it was listed
};

struct HubRecord {
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    uint8_t Address = 0;
    uint8_t PortCount = 0;   // downstream ports
    uint8_t SuperSpeed = 0;  // 1 when the hub runs at SuperSpeed or above
    CListedObject Listed;
};

struct DeviceRecord {
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    uint8_t Address = 0;
    uint8_t ParentPort = 0;          // port number on the parent
    uint8_t PhysicalParentPort = 0;  // GetPhysicalParentHubPort
    CListedObject Listed;
};

// What commands left in a test mode until the bus is enumerated again: the
// next command on such a target enumerates first. It lives in the bus model,
// so the console hands it over to the dialogs with the bus.
enum : uint8_t {
    PENDING_DEVICE = 1,     // a device or hub test mode
    PENDING_ROOT_PORT = 2,  // a root-port test mode (the controller was halted) or a parent test packet
    PENDING_HUB_PORT = 4,   // a hub-port test mode
    PENDING_ANY = 7,        // also what a failed enumeration leaves: nobody knows the bus's state
};

struct CBusModel {
    CXhciBenchline* Root = nullptr;
    std::vector<CHostController*> HostList;  // in the component's order
    std::vector<CHubDevice*> HubList;        // hubs that passed the filter
    std::vector<CDevice*> DeviceList;        // devices that passed the filters, by address
    uint8_t SelectedHost = NO_SELECTION;
    uint8_t SelectedHub = NO_SELECTION;
    uint8_t SelectedDevice = NO_SELECTION;
    CBusIdentity SavedHubIdentity;
    CBusIdentity SavedDeviceIdentity;
    uint32_t Enumerations = 0;  // rescans (and closings of the bench) so far: how long listed objects live
    // PENDING_ kinds left on each controller (by HostList index); a
    // successful rescan of the controller clears its own.
    std::array<uint8_t, 256> PendingEnumeration{};
};

// The one bus model of the process. The front ends and the executors read
// it; only the operations below change it.
CBusModel& BusModel();

// Creates the root object and selects the compliance stack.
EBenchResult CreateBench();
// Deletes the root object and empties the lists, whose pointers it owned.
EBenchResult DestroyBench();

// Lists the controllers into HostList and one record each, then selects the
// chosen controller (SelectedHost) in the component again. BENCH_E_NO_HOST
// when there is no root object or no controller; BENCH_E_SELECT when the
// chosen controller is gone or cannot be selected again.
EBenchResult BuildHostList(std::vector<HostRecord>& records);
// Chooses controller i for testing and checks the compliance driver's version
// (1.0.3.x). The selection stays even when the version is refused.
EBenchResult SelectHostByIndex(uint8_t index);

// The dialogs' "Enumerate Bus": rescans, rebuilds the lists and, with
// keepSelection, selects the hub and device found again by their identity,
// writing their new indexes to the outs that are present. A failed rescan
// stays a failure (BENCH_E_FAILED) even when the selections are found again.
EBenchResult EnumerateBus(bool keepSelection, uint8_t* deviceIndex, uint8_t* hubIndex, SpeedFilter filter,
                          bool hubsOnly);
// The console's enumeration: rescans, deselects the hub and lists every hub
// and device. Returns a failing component status as it is; the lists, the
// records and the hub and device selections are then empty, since the
// component may have dropped what they pointed at.
BLSTATUS EnumerateAll(std::vector<DeviceRecord>& devices, std::vector<HubRecord>& hubs);

EBenchResult BuildHubList(std::vector<HubRecord>& records, uint8_t port, SpeedFilter filter);
// Lists devices (hubs included) by ascending address; with a hub selected only
// those below it. A port other than NO_SELECTION is made current first.
EBenchResult BuildDeviceList(std::vector<DeviceRecord>& records, uint8_t port, SpeedFilter filter);
// Rebuilds hub records from the current HubList without a rescan.
EBenchResult RebuildHubRecords(std::vector<HubRecord>& records, uint8_t port, SpeedFilter filter);

// NO_SELECTION deselects the hub without asking the component.
EBenchResult SelectHubByIndex(uint8_t index);
EBenchResult SelectDeviceByIndex(uint8_t index);

CDevice* FindDeviceByIdentity(uint16_t vid, uint16_t pid, uint16_t serial, uint32_t tag);
uint8_t DeviceListIndexOf(const CDevice* device);
uint8_t HubListIndexOf(const CDevice* device, SpeedFilter filter);
// The position in DeviceList (HubList) of the device (hub) with this
// identity; NO_SELECTION when none answers to it.
uint8_t DeviceListIndexOfIdentity(const CBusIdentity& identity);
uint8_t HubListIndexOfIdentity(const CBusIdentity& identity);
// The position in DeviceList (HubList) of what a listing's row showed: the
// listed object itself while the bus has not been enumerated since, else the
// one found again by its identity. NO_SELECTION when it is no longer listed,
// so an index the user read off a listing never reaches another device.
uint8_t FindListedDevice(const CListedObject& listed);
uint8_t FindListedHub(const CListedObject& listed);

// The root port number above a device, found by climbing its parent hubs.
EBenchResult GetRootPort(CDevice* device, uint8_t* port);
// The port the device hangs on: a hub port of its parent hub, or a root port
// of the selected controller. Null when there is none.
CBLPort* GetUpstreamPort(CDevice* device);
// The same, telling a device that hangs on no port (BENCH_OK, port null) from
// one whose port cannot be found because it or its hub no longer answers
// (BENCH_E_FAILED).
EBenchResult FindUpstreamPort(CDevice* device, CBLPort** port);
// True when no hub is selected or the device sits anywhere below the
// selected hub (the hub itself is not below itself).
bool IsBelowSelectedHub(CDevice* device);

bool IsHostPortSuperSpeed(uint8_t port);
bool IsHubPortSuperSpeed(uint8_t port);
EBenchResult GetHostPortStatus(uint8_t port, uint32_t* status);
EBenchResult GetHubPortStatus(uint8_t port, uint32_t* status);

enum : uint8_t {
    POLL_HUB_PORT = 1,   // a port of the selected hub
    POLL_ROOT_PORT = 2,  // a root port of the selected controller
};
// Reads a port's connect change; on a change sets disconnected or connected
// and acknowledges it.
EBenchResult PollPortConnection(bool* disconnected, bool* connected, uint8_t kind, uint8_t port);

uint8_t GetSelectedHost();
uint8_t GetSelectedHub();

// The PENDING_ kinds left on the selected controller, and adding to them.
uint8_t PendingEnumeration();
void MarkPendingEnumeration(uint8_t kinds);

// Progress of a long wait inside a request (a controller being bound again):
// the sink is called about once a second while it waits. Null stops it.
using ProgressSink = void (*)(void* context);
void SetProgressSink(ProgressSink sink, void* context);

// The selected objects, or null when the selection is none or not below the
// list's size.
CHostController* SelectedHostController();
CHubDevice* SelectedHubDevice();
CDevice* SelectedDeviceObject();
