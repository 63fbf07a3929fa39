// The test services component: every request the program sends to the USB
// hardware goes through these objects. They are interfaces; a backend (the
// simulated bench, or real hardware) implements them. The root object is
// created by BLCreateBenchline() and owned by the caller; every other object
// is owned by the backend and stays valid until the next Enumerate() or the
// root object's destruction.
//
// Status rule: a signed 32-bit status fails only when it is negative with
// bit 30 (0x40000000) clear. Negative with bit 30 set counts as success.
#pragma once

#include <cstdint>

using BLSTATUS = int32_t;

constexpr bool BLFailed(BLSTATUS status) { return status < 0 && (static_cast<uint32_t>(status) & 0x40000000u) == 0; }

// Enumerate() answers this when it finished with a warning; it counts as success.
constexpr BLSTATUS BL_S_ENUMERATE_WARNING = static_cast<BLSTATUS>(0x80007009u);
// The status stage of a single-stepped SET_FEATURE may answer this; callers
// take it as success there and only there.
constexpr BLSTATUS BL_S_SINGLE_STEP_STATUS = static_cast<BLSTATUS>(0x80004008u);

enum tagBL_STACK_NAME : int32_t {
    BL_STACK_COMPLIANCE = 5,
};

// USB 2.0 test mode selectors for CDevice::SetTestMode.
enum tagBL_TEST_MODE_SELECTOR : int32_t {
    BL_TEST_J = 1,
    BL_TEST_K = 2,
    BL_TEST_SE0_NAK = 3,
    BL_TEST_PACKET = 4,
};

// Stages of CDevice::DoControlTransferSingleStep.
enum tagSINGLE_STEP : int32_t {
    BL_SETUP_STAGE = 0,
    BL_DATA_STAGE = 1,
    BL_STATUS_STAGE = 2,
};

// Device speeds as CDevice::GetDeviceSpeed reports them.
enum _USB_DEVICE_SPEED : uint8_t {
    UsbLowSpeed = 0,
    UsbFullSpeed = 1,
    UsbHighSpeed = 2,
    UsbSuperSpeed = 3,
    UsbSuperSpeedPlus = 4,
};

// A controller register: block 1 holds the xHCI operational registers.
struct tagRegSelector {
    uint32_t Block;
    uint32_t Offset;
};

constexpr tagRegSelector BL_REG_USBCMD{1, 0};  // bit 0: Run/Stop
constexpr tagRegSelector BL_REG_USBSTS{1, 4};  // bit 0: HCHalted

// USB hub class feature selectors used on ports.
enum : uint16_t {
    BL_PORT_LINK_STATE = 5,  // USB 3 hub class
    BL_PORT_SUSPEND = 2,
    BL_PORT_RESET = 4,
    BL_C_PORT_CONNECTION = 16,
    BL_PORT_TEST = 21,
};
constexpr uint16_t BL_LINK_STATE_COMPLIANCE = 10;

class CBLInterface {
public:
    virtual ~CBLInterface() = default;
    virtual BLSTATUS GetDriverVersion(uint32_t* version) = 0;
};

// Operations common to root ports and hub downstream ports.
class CBLPort {
public:
    virtual ~CBLPort() = default;
    // Hub port: wPortStatus in bits 0-15, wPortChange in bits 16-31.
    // Root port: bit 0 connected, bit 1 connect change.
    virtual BLSTATUS GetPortStatus(uint32_t* status) = 0;
    virtual bool IsSuperSpeedPort() = 0;
    virtual BLSTATUS SetPortFeature(uint16_t feature, uint16_t selector, uint32_t reserved) = 0;
    virtual BLSTATUS ClearPortFeature(uint16_t feature, uint32_t reserved) = 0;
    virtual BLSTATUS SetPortLinkFeature(uint16_t feature, uint16_t value, uint32_t reserved, void* reservedPtr) = 0;
    virtual BLSTATUS ResumePort() = 0;
};

class CHostPort : public CBLPort {
public:
    virtual BLSTATUS QuiescePort() = 0;
};

class CHubPort : public CBLPort {
public:
    virtual BLSTATUS IdlePort() = 0;
};

class CDevice {
public:
    virtual ~CDevice() = default;
    virtual BLSTATUS GetAddress(uint8_t* address) = 0;
    virtual BLSTATUS GetParentHubAddress(uint8_t* address) = 0;  // 0: on a root port
    virtual BLSTATUS GetPhysicalParentHubPort(uint8_t* port) = 0;
    virtual BLSTATUS GetDeviceSpeed(uint8_t* speed) = 0;  // a _USB_DEVICE_SPEED
    virtual BLSTATUS GetVidPidSerialNumber(uint16_t* vid, uint16_t* pid, uint16_t* serial) = 0;
    virtual BLSTATUS GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* buffer,
                                   uint32_t length) = 0;
    virtual BLSTATUS SetAddress(uint8_t address) = 0;
    virtual BLSTATUS SetTestMode(tagBL_TEST_MODE_SELECTOR selector) = 0;
    virtual BLSTATUS EnableRemoteWakeup() = 0;
    virtual BLSTATUS DisableRemoteWakeup() = 0;
    // Setup stage: data is the 8-byte setup packet; data stage: the buffer;
    // status stage: no data. The last two arguments are reserved (null).
    virtual BLSTATUS DoControlTransferSingleStep(uint8_t* data, uint32_t length, tagSINGLE_STEP step, void* reserved1,
                                                 void* reserved2) = 0;

    uint8_t ParentPort = 0;  // port number on the parent; 0 = none
    uint32_t DeviceTag = 0;  // identity that survives re-enumeration; compare for equality only
};

class CHubDevice : public CDevice {
public:
    virtual CHubPort* GetHubPort(uint8_t port) = 0;  // 1-based; null if absent

    uint8_t PortCount = 0;  // downstream ports
};

class CHostController {
public:
    virtual ~CHostController() = default;
    virtual const char* GetHostID() = 0;  // at most 255 characters are meaningful
    virtual uint8_t GetNumberHostPorts() = 0;
    virtual CHostPort* GetHostPort(uint32_t port) = 0;  // 1-based; null if absent
    virtual BLSTATUS ReadRegister(tagRegSelector reg, uint32_t* value) = 0;
    virtual BLSTATUS WriteRegister(tagRegSelector reg, uint32_t value) = 0;
};

class CXhciBenchline {
public:
    virtual ~CXhciBenchline() = default;
    virtual BLSTATUS SelectStack(tagBL_STACK_NAME stack) = 0;
    virtual BLSTATUS Enumerate() = 0;  // rescans the selected controller's bus
    virtual CHostController* FindFirstHC() = 0;
    virtual CHostController* FindNextHC() = 0;
    virtual CHubDevice* FindFirstHub() = 0;  // hubs of the selected controller
    virtual CHubDevice* FindNextHub() = 0;
    virtual BLSTATUS SelectHostController(CHostController* controller, bool forTest, bool reserved) = 0;
    virtual BLSTATUS SelectHub(CHubDevice* hub) = 0;
    virtual BLSTATUS SelectPort(uint8_t port) = 0;
    virtual CDevice* GetDeviceByDeviceAddress(uint8_t address) = 0;  // 1 to 254
    virtual CBLInterface* GetBLInterface() = 0;
};
