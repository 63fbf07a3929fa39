// How the simulated hardware answers: ports, devices, controller registers,
// enumeration and hot plug.
#include "sim_world.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Hub port wPortStatus and wPortChange bits.
constexpr uint32_t HUB_PORT_CONNECTION = 1u << 0;
constexpr uint32_t HUB_PORT_ENABLE = 1u << 1;
constexpr uint32_t HUB_PORT_SUSPEND = 1u << 2;
constexpr uint32_t HUB_PORT_POWER = 1u << 8;
constexpr uint32_t HUB_PORT_LOW_SPEED = 1u << 9;
constexpr uint32_t HUB_PORT_HIGH_SPEED = 1u << 10;
constexpr uint32_t HUB_PORT_TEST = 1u << 11;
constexpr uint32_t HUB_C_PORT_CONNECTION = 1u << 16;
// Root port status bits.
constexpr uint32_t ROOT_PORT_CONNECTED = 1u << 0;
constexpr uint32_t ROOT_PORT_CONNECT_CHANGE = 1u << 1;

constexpr uint8_t USB_DIR_IN = 0x80;
constexpr uint8_t USB_REQUEST_SET_FEATURE = 3;
constexpr uint8_t USB_REQUEST_GET_DESCRIPTOR = 6;
constexpr uint8_t USB_DESCRIPTOR_DEVICE = 1;

bool IsRegister(tagRegSelector reg, tagRegSelector other) {
    return reg.Block == other.Block && reg.Offset == other.Offset;
}

}  // namespace

// Ports

bool CSimPort::Connected() const { return Device && Device->Plugged; }

BLSTATUS CSimPort::HubAnswers() const { return Hub ? Hub->Reach() : 0; }

BLSTATUS CSimPort::GetStatus(uint32_t& status) const {
    if (BLSTATUS reach = HubAnswers()) return reach;
    if (!Hub) {
        status = (Connected() ? ROOT_PORT_CONNECTED : 0) | (ConnectChange ? ROOT_PORT_CONNECT_CHANGE : 0);
        return 0;
    }
    status = HUB_PORT_POWER;
    if (Connected()) {
        status |= HUB_PORT_CONNECTION | HUB_PORT_ENABLE;
        if (Device->Speed == UsbLowSpeed) status |= HUB_PORT_LOW_SPEED;
        if (Device->Speed == UsbHighSpeed) status |= HUB_PORT_HIGH_SPEED;
    }
    if (Suspended) status |= HUB_PORT_SUSPEND;
    if (TestMode) status |= HUB_PORT_TEST;
    if (ConnectChange) status |= HUB_C_PORT_CONNECTION;
    return 0;
}

BLSTATUS CSimPort::SetFeature(uint16_t feature, uint16_t selector) {
    if (BLSTATUS reach = HubAnswers()) return reach;
    switch (feature) {
    case BL_PORT_TEST:
        if (selector < 1 || selector > 5) return BL_SIM_E_REFUSED;
        if (Hub) {
            // A USB 2.0 hub enters a port test mode only while its other
            // enabled ports are suspended.
            if (Hub->Speed != UsbHighSpeed) return BL_SIM_E_REFUSED;
            for (const auto& other : Hub->Ports)
                if (other.get() != this && other->Connected() && !other->Suspended) return BL_SIM_E_REFUSED;
        } else if (SuperSpeed || Controller->Running) {
            return BL_SIM_E_REFUSED;  // xHCI: USB 2.0 port test modes need a halted controller
        }
        TestMode = static_cast<uint8_t>(selector);
        return 0;
    case BL_PORT_SUSPEND: Suspended = true; return 0;
    case BL_PORT_RESET: Reset(); return 0;
    default: return BL_SIM_E_REFUSED;
    }
}

BLSTATUS CSimPort::ClearFeature(uint16_t feature) {
    if (BLSTATUS reach = HubAnswers()) return reach;
    if (feature == BL_PORT_SUSPEND) {
        Suspended = false;
    } else if (feature == BL_C_PORT_CONNECTION) {
        ConnectChange = false;
    } else {
        return BL_SIM_E_REFUSED;
    }
    return 0;
}

BLSTATUS CSimPort::SetLinkFeature(uint16_t feature, uint16_t value) {
    if (BLSTATUS reach = HubAnswers()) return reach;
    if (feature != BL_PORT_LINK_STATE || value != BL_LINK_STATE_COMPLIANCE || !SuperSpeed || Connected())
        return BL_SIM_E_REFUSED;
    Compliance = true;
    return 0;
}

BLSTATUS CSimPort::Resume() {
    if (BLSTATUS reach = HubAnswers()) return reach;
    Suspended = false;
    return 0;
}

BLSTATUS CSimPort::Quiesce() {
    Disabled = true;
    return 0;
}

BLSTATUS CSimPort::Idle() {
    if (BLSTATUS reach = HubAnswers()) return reach;
    if (Connected()) Suspended = true;
    return 0;
}

void CSimPort::Reset() {
    TestMode = 0;
    Suspended = false;
    Disabled = false;
    Compliance = false;
    if (!Device) return;
    Device->ForSubtree([](CSimDevice& device) {
        device.ResetState();
        for (auto& port : device.Ports) {
            port->TestMode = 0;
            port->Suspended = false;
            port->Compliance = false;
        }
    });
}

// Devices

BLSTATUS CSimDevice::Known() const { return Address ? 0 : BL_SIM_E_NOT_CONNECTED; }

BLSTATUS CSimDevice::Reach() const {
    if (Address == 0) return BL_SIM_E_NOT_CONNECTED;
    if (!Controller->Running || TestMode) return BL_SIM_E_NO_RESPONSE;
    for (const CSimDevice* device = this; device; device = device->Parent()) {
        if (!device->Plugged || !device->Upstream->Passes()) return BL_SIM_E_NO_RESPONSE;
        if (device != this && device->TestMode) return BL_SIM_E_NO_RESPONSE;
    }
    return 0;
}

BLSTATUS CSimDevice::GetDescriptor(uint8_t type, uint8_t index, uint8_t* buffer, uint32_t length) const {
    if (!buffer) return BL_SIM_E_INVALID_ARGUMENT;
    if (BLSTATUS reach = Reach()) return reach;
    if (type != USB_DESCRIPTOR_DEVICE || index != 0) return BL_SIM_E_REFUSED;
    std::memcpy(buffer, Descriptor.data(), std::min<size_t>(length, Descriptor.size()));
    return 0;
}

BLSTATUS CSimDevice::SetAddress(uint8_t address) {
    if (address < 1 || address > 254) return BL_SIM_E_INVALID_ARGUMENT;
    if (BLSTATUS reach = Reach()) return reach;
    if (Controller->ByAddress[address] && Controller->ByAddress[address] != this) return BL_SIM_E_REFUSED;
    Controller->SetAddress(*this, address);
    return 0;
}

BLSTATUS CSimDevice::SetTestMode(int32_t selector) {
    if (BLSTATUS reach = Reach()) return reach;
    if (selector < BL_TEST_J || selector > BL_TEST_PACKET) return BL_SIM_E_REFUSED;
    TestMode = static_cast<uint8_t>(selector);
    return 0;
}

BLSTATUS CSimDevice::SetRemoteWakeup(bool enable) {
    if (BLSTATUS reach = Reach()) return reach;
    RemoteWakeup = enable;
    return 0;
}

BLSTATUS CSimDevice::ControlStep(uint8_t* data, uint32_t length, int32_t stage) {
    ESimStage expected = Stage;
    Stage = SIM_EXPECT_SETUP;  // every failure below starts the sequence over
    if (BLSTATUS reach = Reach()) return reach;
    switch (stage) {
    case BL_SETUP_STAGE: {
        if (expected != SIM_EXPECT_SETUP) return BL_SIM_E_REFUSED;
        if (!data || length != 8) return BL_SIM_E_INVALID_ARGUMENT;
        uint8_t requestType = data[0], request = data[1];
        uint16_t value = static_cast<uint16_t>(data[2] | data[3] << 8);
        uint16_t dataLength = static_cast<uint16_t>(data[6] | data[7] << 8);
        if (requestType == USB_DIR_IN && request == USB_REQUEST_GET_DESCRIPTOR && value == USB_DESCRIPTOR_DEVICE << 8) {
            DataLength = dataLength;
            Stage = dataLength ? SIM_EXPECT_DATA : SIM_EXPECT_STATUS;
            return 0;
        }
        if (requestType == 0 && request == USB_REQUEST_SET_FEATURE && dataLength == 0) {
            Stage = SIM_EXPECT_STATUS;
            return 0;
        }
        return BL_SIM_E_REFUSED;  // the device stalls a request it does not know
    }
    case BL_DATA_STAGE:
        if (expected != SIM_EXPECT_DATA) return BL_SIM_E_REFUSED;
        if (!data) return BL_SIM_E_INVALID_ARGUMENT;
        std::memcpy(data, Descriptor.data(), std::min<size_t>({length, DataLength, Descriptor.size()}));
        Stage = SIM_EXPECT_STATUS;
        return 0;
    case BL_STATUS_STAGE: return expected == SIM_EXPECT_STATUS ? 0 : BL_SIM_E_REFUSED;
    default: return BL_SIM_E_INVALID_ARGUMENT;
    }
}

void CSimDevice::ResetState() {
    Stage = SIM_EXPECT_SETUP;
    RemoteWakeup = false;
}

// Controllers

CSimDevice* CSimController::DeviceAt(const std::string& at) {
    for (auto& device : Devices)
        if (device->At == at) return device.get();
    return nullptr;
}

void CSimController::SetAddress(CSimDevice& device, uint8_t address) {
    if (device.Address) ByAddress[device.Address] = nullptr;
    device.Address = address;
    if (address) ByAddress[address] = &device;
}

void CSimController::AddressDevices() {
    ByAddress.fill(nullptr);
    uint8_t next = 1;
    for (auto& device : Devices) {  // parents come before their children
        CSimDevice* parent = device->Parent();
        bool found = device->Plugged && !device->TestMode && (!parent || parent->Address);
        device->Address = 0;
        if (found) SetAddress(*device, next++);
    }
}

BLSTATUS CSimController::ReadRegister(tagRegSelector reg, uint32_t& value) const {
    if (IsRegister(reg, BL_REG_USBCMD)) {
        value = Running ? 1 : 0;
    } else if (IsRegister(reg, BL_REG_USBSTS)) {
        value = Running ? 0 : 1;
    } else {
        return BL_SIM_E_INVALID_ARGUMENT;
    }
    return 0;
}

BLSTATUS CSimController::WriteRegister(tagRegSelector reg, uint32_t value) {
    if (IsRegister(reg, BL_REG_USBCMD)) {
        Running = value & 1;
    } else if (!IsRegister(reg, BL_REG_USBSTS)) {  // USBSTS: HCHalted is read-only
        return BL_SIM_E_INVALID_ARGUMENT;
    }
    return 0;
}

void CSimController::Enumerate() {
    Running = true;
    for (auto& port : Ports) port->Reset();
    for (auto& device : Devices)
        for (auto& port : device->Ports) port->ConnectChange = false;
    for (auto& port : Ports) port->ConnectChange = false;
    AddressDevices();
}

// Hot plug

CSimDevice* CSimWorld::Find(unsigned controller, const std::string& at, std::string& error) {
    if (controller >= Controllers.size()) {
        error = "no controller " + std::to_string(controller) + " on this bench";
        return nullptr;
    }
    CSimDevice* device = Controllers[controller]->DeviceAt(at);
    if (!device) error = "no device at " + at + " on controller " + std::to_string(controller);
    return device;
}

namespace {

// The device and everything below it lose their addresses.
void Lose(CSimDevice& device) {
    device.ForSubtree([](CSimDevice& lost) {
        lost.Controller->SetAddress(lost, 0);
        lost.ResetState();
    });
}

}  // namespace

bool CSimWorld::Unplug(unsigned controller, const std::string& at, std::string& error) {
    CSimDevice* device = Find(controller, at, error);
    if (!device) return false;
    if (!device->Plugged) {
        error = "the device at " + at + " is already unplugged";
        return false;
    }
    device->Plugged = false;
    device->Upstream->ConnectChange = true;
    Lose(*device);
    return true;
}

bool CSimWorld::Plug(unsigned controller, const std::string& at, std::string& error) {
    CSimDevice* device = Find(controller, at, error);
    if (!device) return false;
    if (device->Plugged) {
        error = "the device at " + at + " is already plugged in";
        return false;
    }
    device->Plugged = true;
    device->Upstream->ConnectChange = true;
    return true;
}

bool CSimWorld::PowerCycle(unsigned controller, const std::string& at, std::string& error) {
    CSimDevice* device = Find(controller, at, error);
    if (!device) return false;
    device->Upstream->Suspended = false;
    if (device->Plugged) device->Upstream->ConnectChange = true;  // it dropped off the bus and came back
    device->ForSubtree([](CSimDevice& below) {
        below.TestMode = 0;
        for (auto& port : below.Ports) {
            port->Suspended = false;
            port->TestMode = 0;
        }
    });
    Lose(*device);
    return true;
}

namespace {

constexpr const char* kSpeedText[] = {"low-speed", "full-speed", "high-speed", "SuperSpeed", "SuperSpeed+"};

void ShowPort(const CSimPort& port, const std::string& name, int depth, std::string& text) {
    char line[256];
    std::string states;
    if (port.Disabled) states += " disabled";
    if (port.Suspended) states += " suspended";
    if (port.TestMode) states += " port-test-" + std::to_string(port.TestMode);
    if (port.Compliance) states += " compliance";
    if (port.ConnectChange) states += " connect-change";
    text += std::string(2 * depth, ' ') + name + (states.empty() ? "" : " [" + states.substr(1) + "]") + ":";
    const CSimDevice* device = port.Device;
    if (!device) {
        text += " empty\n";
        return;
    }
    std::snprintf(line, sizeof line, " %s %04X:%04X serial %04X %s", device->Label().c_str(), device->Vid, device->Pid,
                  device->Serial, kSpeedText[device->Speed]);
    text += line;
    if (device->IsHub()) text += ", " + std::to_string(device->Ports.size()) + " ports";
    states.clear();
    if (!device->Plugged) states += " unplugged";
    if (device->Address == 0) states += " not-addressed";
    if (device->TestMode) states += " test-mode-" + std::to_string(device->TestMode);
    if (device->Address && device->Reach()) states += " silent";
    if (device->RemoteWakeup) states += " remote-wakeup";
    text += (states.empty() ? "" : " [" + states.substr(1) + "]") + "\n";
    for (const auto& below : device->Ports)
        ShowPort(*below, device->At + "." + std::to_string(below->Number), depth + 1, text);
}

}  // namespace

std::string CSimWorld::Show(std::optional<unsigned> only, std::string& error) const {
    if (only && *only >= Controllers.size()) {
        error = "no controller " + std::to_string(*only) + " on this bench";
        return "";
    }
    if (Controllers.empty()) return "no controller\n";
    std::string text;
    for (const auto& controller : Controllers) {
        if (only && controller->Index != *only) continue;
        char line[320];
        uint32_t v = controller->DriverVersion;
        std::snprintf(line, sizeof line, "controller %u \"%s\" driver %u.%u.%u.%u %s\n", controller->Index,
                      controller->Id.c_str(), v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF,
                      controller->Running ? "running" : "halted");
        text += line;
        for (const auto& port : controller->Ports)
            ShowPort(*port, std::to_string(port->Number) + (port->SuperSpeed ? " ss" : " usb2"), 1, text);
    }
    return text;
}

std::string CSimDevice::Label() const {
    return std::string(IsHub() ? "hub" : "dev") + (Address ? "@" + std::to_string(Address) : "");
}
