// The linux bench's component objects and backend. Port and device requests
// become USB control transfers through usbfs; everything the host knows
// without asking a device (addresses, parents, speeds, ids) comes from
// sysfs. The kernel owns the controllers, so USBCMD and USBSTS are a model
// that follows what the kernel does: it halts a controller itself when a
// USB 2.0 root port enters a test mode, and the controller is brought back
// by unbinding and binding it at the next enumeration or at clean-up.
#include "benchline/linux.h"

#include "lx_sysfs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <map>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uint8_t kHubClassOther = 0x23;  // class request to a hub port
constexpr uint8_t kHubClassOtherIn = 0xA3;
constexpr uint8_t kGetStatus = 0, kClearFeature = 1, kSetFeature = 3, kGetDescriptor = 6;
constexpr uint16_t kDeviceRemoteWakeup = 1, kTestMode = 2;
constexpr uint16_t kPortEnable = 0x0002, kPortSuspend = 0x0004;
constexpr unsigned kRebindWaitMs = 10000, kPollMs = 100;

BLSTATUS StatusOf(int result) { return result < 0 ? BL_LX_E_ERRNO | (-result & 0xFF) : 0; }

void Trace(const std::string& request, BLSTATUS status, const std::string& outs = "") {
    if (BLTraceEnabled()) BLTrace(request + " -> " + BLFormatStatus(status) + outs);
}

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// What a controller has been through since it was last bound, kept by the
// backend so that clean-up after the last root object still knows it.
struct CLxControllerState {
    std::string DriverDir;
    uint32_t Command = 1;  // USBCMD as the model has it: running
    uint32_t Status = 0;   // USBSTS: not halted
    bool TestMode = false; // a USB 2.0 root port was put into a test mode
    unsigned TestBus = 0, TestDevnum = 0, TestPort = 0;  // that root hub and port
    size_t Devices = 0;    // devices listed when it entered the test mode
};

// State shared by the backend and its root objects.
struct CLxContext {
    std::unique_ptr<CLxSystem> System;
    std::string Sysfs;
    std::map<std::string, CLxControllerState> States;

    int Control(unsigned bus, unsigned devnum, const CLxSetup& setup, uint8_t* data) {
        return System->Control(bus, devnum, setup, data);
    }

    // Clears the test mode, unbinds and binds the controller and waits until
    // its root hubs and as many devices as before are back.
    BLSTATUS Rebind(CLxControllerInfo& controller) {
        CLxControllerState& state = States[controller.Name];
        CLxSetup clear{kHubClassOther, kClearFeature, BL_PORT_TEST, static_cast<uint16_t>(state.TestPort), 0};
        Control(state.TestBus, state.TestDevnum, clear, nullptr);  // fails on some controllers; the rebind resets anyway
        int result = System->WriteAttribute(controller.DriverDir + "/unbind", controller.Name);
        if (result == 0) result = System->WriteAttribute(controller.DriverDir + "/bind", controller.Name);
        BLSTATUS status = StatusOf(result);
        if (result == 0) {
            status = BL_LX_E_NOT_BACK;
            for (unsigned waited = 0; waited <= kRebindWaitMs; waited += kPollMs) {
                if (LxRescanController(controller)) {
                    status = LxScanDevices(controller).size() >= state.Devices ? 0 : BL_S_ENUMERATE_WARNING;
                    if (status == 0) break;
                }
                System->Sleep(kPollMs);
            }
        }
        Trace("Rebind " + controller.Name, status);
        // With the root hubs back the test mode is over, devices missing or not.
        if (status == 0 || status == BL_S_ENUMERATE_WARNING) state = CLxControllerState{controller.DriverDir};
        return status;
    }
};

class CLxHost;
class CLxDevice;

// Root ports and hub ports: class requests to a port of a hub, the root hub
// for a root port.
template <class Base>
class TLxPort : public Base {
public:
    BLSTATUS GetPortStatus(uint32_t* status) override {
        uint8_t data[4] = {};
        BLSTATUS result = status ? Request({kHubClassOtherIn, kGetStatus, 0, 0, 4}, data) : BL_LX_E_ERRNO | EINVAL;
        uint32_t value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
        if (IsRoot()) value = (value & 1) | (value >> 16 & 1) << 1;  // connected, connect change
        if (!BLFailed(result)) *status = value;
        Trace("GetPortStatus " + Target(), result, BLFailed(result) ? "" : Format(" 0x%08X", value));
        return result;
    }
    BLSTATUS SetPortFeature(uint16_t feature, uint16_t selector, uint32_t reserved) override {
        BLSTATUS result = Request({kHubClassOther, kSetFeature, feature, static_cast<uint16_t>(selector << 8), 0});
        if (!BLFailed(result) && feature == BL_PORT_TEST) EnteredTestMode(selector);
        Trace("SetPortFeature " + Target() + Format(" %u %u %u", feature, selector, reserved), result);
        return result;
    }
    BLSTATUS ClearPortFeature(uint16_t feature, uint32_t reserved) override {
        BLSTATUS result = Request({kHubClassOther, kClearFeature, feature, 0, 0});
        Trace("ClearPortFeature " + Target() + Format(" %u %u", feature, reserved), result);
        return result;
    }
    BLSTATUS SetPortLinkFeature(uint16_t feature, uint16_t value, uint32_t reserved, void*) override {
        BLSTATUS result = Request({kHubClassOther, kSetFeature, feature, static_cast<uint16_t>(value << 8), 0});
        Trace("SetPortLinkFeature " + Target() + Format(" %u %u %u", feature, value, reserved), result);
        return result;
    }
    BLSTATUS ResumePort() override {
        BLSTATUS result = Request({kHubClassOther, kClearFeature, BL_PORT_SUSPEND, 0, 0});
        Trace("ResumePort " + Target(), result);
        return result;
    }

protected:
    // The hub that carries the port and the port's number on it; false when
    // the hub is gone.
    virtual bool Where(unsigned& bus, unsigned& devnum, unsigned& port) = 0;
    virtual bool IsRoot() const = 0;
    virtual std::string Target() const = 0;
    virtual void EnteredTestMode(uint16_t) {}

    // A request to the port: the port number goes into the low byte of
    // wIndex, beside what the caller put in the high byte.
    BLSTATUS Request(CLxSetup setup, uint8_t* data = nullptr) {
        unsigned bus = 0, devnum = 0, port = 0;
        if (!Where(bus, devnum, port)) return BL_LX_E_NOT_FOUND;
        setup.Index = static_cast<uint16_t>(setup.Index | (port & 0xFF));
        return StatusOf(m_context->Control(bus, devnum, setup, data));
    }

    CLxContext* m_context = nullptr;
};

class CLxRootPort : public TLxPort<CHostPort> {
public:
    CLxRootPort(CLxContext& context, CLxHost& host, unsigned number) : m_host(host), m_number(number) {
        m_context = &context;
    }
    bool IsSuperSpeedPort() override;
    // The kernel quiesces the controller's ports itself when a test mode starts.
    BLSTATUS QuiescePort() override {
        Trace("QuiescePort " + Target(), 0);
        return 0;
    }

protected:
    bool Where(unsigned& bus, unsigned& devnum, unsigned& port) override;
    bool IsRoot() const override { return true; }
    std::string Target() const override { return Format("root:%u", m_number); }
    void EnteredTestMode(uint16_t selector) override;

private:
    CLxHost& m_host;
    unsigned m_number;
};

class CLxHubPort : public TLxPort<CHubPort> {
public:
    CLxHubPort(CLxContext& context, CLxDevice& hub, unsigned number) : m_hub(hub), m_number(number) {
        m_context = &context;
    }
    bool IsSuperSpeedPort() override;
    // A USB 2.0 hub takes a port test mode only while its other enabled
    // ports are suspended: suspends the port when it is enabled and awake.
    BLSTATUS IdlePort() override {
        uint8_t data[4] = {};
        BLSTATUS result = Request({kHubClassOtherIn, kGetStatus, 0, 0, 4}, data);
        uint16_t status = static_cast<uint16_t>(data[0] | data[1] << 8);
        if (!BLFailed(result) && (status & kPortEnable) && !(status & kPortSuspend))
            result = Request({kHubClassOther, kSetFeature, BL_PORT_SUSPEND, 0, 0});
        Trace("IdlePort " + Target(), result);
        return result;
    }

protected:
    bool Where(unsigned& bus, unsigned& devnum, unsigned& port) override;
    bool IsRoot() const override { return false; }
    std::string Target() const override;

private:
    CLxDevice& m_hub;
    unsigned m_number;
};

// A device or hub of the selected controller's last scan.
class CLxDevice : public CHubDevice {
public:
    CLxDevice(CLxContext& context, const CLxDeviceInfo& info, uint8_t address, uint8_t parentAddress,
              uint8_t parentPort, uint32_t tag)
        : m_context(context), m_info(info), m_address(address), m_parentAddress(parentAddress) {
        ParentPort = parentPort;
        DeviceTag = tag;
        PortCount = static_cast<uint8_t>(std::min(info.Ports, 255u));
        for (unsigned i = 1; i <= PortCount; ++i) m_ports.push_back(std::make_unique<CLxHubPort>(context, *this, i));
    }

    const CLxDeviceInfo& Info() const { return m_info; }
    bool IsHub() const { return !m_ports.empty(); }
    std::string Target() const { return Format(IsHub() ? "hub@%u" : "dev@%u", m_address); }

    BLSTATUS GetAddress(uint8_t* address) override { return Record("GetAddress", address, m_address); }
    BLSTATUS GetParentHubAddress(uint8_t* address) override {
        return Record("GetParentHubAddress", address, m_parentAddress);
    }
    BLSTATUS GetPhysicalParentHubPort(uint8_t* port) override {
        return Record("GetPhysicalParentHubPort", port, ParentPort);
    }
    BLSTATUS GetDeviceSpeed(uint8_t* speed) override { return Record("GetDeviceSpeed", speed, m_info.Speed); }

    // The serial number is folded from the serial string, 0 without one.
    BLSTATUS GetVidPidSerialNumber(uint16_t* vid, uint16_t* pid, uint16_t* serial) override {
        uint32_t hash = LxHash(m_info.Serial);
        uint16_t folded = m_info.Serial.empty() ? 0 : static_cast<uint16_t>(hash ^ hash >> 16);
        BLSTATUS result = vid && pid && serial ? 0 : BL_LX_E_ERRNO | EINVAL;
        if (result == 0) *vid = m_info.Vid, *pid = m_info.Pid, *serial = folded;
        Trace("GetVidPidSerialNumber " + Target(), result,
              result ? "" : Format(" 0x%04X 0x%04X 0x%04X", m_info.Vid, m_info.Pid, folded));
        return result;
    }
    BLSTATUS GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* buffer,
                           uint32_t length) override {
        uint16_t wanted = static_cast<uint16_t>(std::min<uint32_t>(length, 0xFFFF));
        BLSTATUS result = buffer ? Request({0x80, kGetDescriptor, static_cast<uint16_t>(type << 8 | index), language,
                                            wanted},
                                           buffer)
                                 : BL_LX_E_ERRNO | EINVAL;
        Trace("GetDescriptor " + Target() + Format(" %u %u %u", type, index, language) + Format(" %u", length),
              result);
        return result;
    }
    // The controller assigns addresses on xHCI; usbfs has no request for it.
    BLSTATUS SetAddress(uint8_t address) override {
        Trace("SetAddress " + Target() + Format(" %u", address), BL_LX_E_UNSUPPORTED);
        return BL_LX_E_UNSUPPORTED;
    }
    BLSTATUS SetTestMode(tagBL_TEST_MODE_SELECTOR selector) override {
        BLSTATUS result = Request({0x00, kSetFeature, kTestMode, static_cast<uint16_t>((selector & 0xFF) << 8), 0});
        Trace("SetTestMode " + Target() + Format(" %u", static_cast<unsigned>(selector)), result);
        return result;
    }
    BLSTATUS EnableRemoteWakeup() override {
        BLSTATUS result = Request({0x00, kSetFeature, kDeviceRemoteWakeup, 0, 0});
        Trace("EnableRemoteWakeup " + Target(), result);
        return result;
    }
    BLSTATUS DisableRemoteWakeup() override {
        BLSTATUS result = Request({0x00, kClearFeature, kDeviceRemoteWakeup, 0, 0});
        Trace("DisableRemoteWakeup " + Target(), result);
        return result;
    }
    // usbfs runs a control transfer as a whole, never one stage at a time.
    BLSTATUS DoControlTransferSingleStep(uint8_t*, uint32_t length, tagSINGLE_STEP step, void*, void*) override {
        Trace("DoControlTransferSingleStep " + Target() + Format(" %u %u", length, static_cast<unsigned>(step)),
              BL_LX_E_UNSUPPORTED);
        return BL_LX_E_UNSUPPORTED;
    }
    CHubPort* GetHubPort(uint8_t port) override {
        CHubPort* found = port >= 1 && port <= m_ports.size() ? m_ports[port - 1].get() : nullptr;
        if (BLTraceEnabled())
            BLTrace("GetHubPort " + Target() + Format(" %u -> ", port) +
                    (found ? Target() + Format(":%u", port) : std::string("null")));
        return found;
    }

private:
    BLSTATUS Request(const CLxSetup& setup, uint8_t* data = nullptr) {
        return StatusOf(m_context.Control(m_info.Bus, m_info.Devnum, setup, data));
    }
    BLSTATUS Record(const char* method, uint8_t* out, uint8_t value) {
        BLSTATUS result = out ? 0 : BL_LX_E_ERRNO | EINVAL;
        if (out) *out = value;
        Trace(method + (" " + Target()), result, out ? Format(" %u", value) : "");
        return result;
    }

    CLxContext& m_context;
    CLxDeviceInfo m_info;
    uint8_t m_address;
    uint8_t m_parentAddress;
    std::vector<std::unique_ptr<CLxHubPort>> m_ports;
};

class CLxHost : public CHostController {
public:
    CLxHost(CLxContext& context, const CLxControllerInfo& info, unsigned index)
        : m_context(context), m_info(info), m_index(index) {
        m_context.States.try_emplace(m_info.Name, CLxControllerState{m_info.DriverDir});
        for (unsigned i = 1; i <= std::min(m_info.PortCount(), 255u); ++i)
            m_ports.push_back(std::make_unique<CLxRootPort>(context, *this, i));
    }

    CLxControllerInfo& Info() { return m_info; }
    CLxControllerState& State() { return m_context.States[m_info.Name]; }
    std::string Target() const { return Format("host:%u", m_index); }
    bool Scanned() const { return m_scanned; }
    const std::vector<std::unique_ptr<CLxDevice>>& Devices() const { return m_devices; }
    CLxDevice* ByAddress(uint8_t address) const { return m_byAddress[address]; }

    // Rebinds the controller when a test mode stopped it, then lists its
    // devices afresh with addresses 1, 2, 3 ... in scan order.
    BLSTATUS Enumerate() {
        BLSTATUS status = 0;
        if (State().TestMode) status = m_context.Rebind(m_info);
        else if (!LxRescanController(m_info)) status = BL_LX_E_NOT_FOUND;
        Scan();
        return status;
    }

    void Scan() {
        m_devices.clear();
        m_byAddress.fill(nullptr);
        m_scanned = true;
        std::vector<CLxDeviceInfo> infos = LxScanDevices(m_info);
        for (size_t i = 0; i < infos.size() && i < 254; ++i) {
            const CLxDeviceInfo& info = infos[i];
            uint8_t address = static_cast<uint8_t>(i + 1);
            // Parents come first, so a parent beyond address 254 is never met.
            uint8_t parentAddress = info.Parent < 0 ? 0 : static_cast<uint8_t>(info.Parent + 1);
            unsigned port = info.Port + (info.Parent < 0 && info.OnUsb3 ? m_info.Usb2.Ports : 0);
            uint32_t tag = LxHash((info.OnUsb3 ? "ss:" : "hs:") + info.Path);
            m_devices.push_back(std::make_unique<CLxDevice>(m_context, info, address, parentAddress,
                                                            static_cast<uint8_t>(std::min(port, 255u)), tag));
            m_byAddress[address] = m_devices.back().get();
        }
    }

    // A root port's root hub and its number there.
    bool Where(unsigned number, unsigned& bus, unsigned& devnum, unsigned& port) const {
        const CLxRootHub& hub = number <= m_info.Usb2.Ports ? m_info.Usb2 : m_info.Usb3;
        if (!hub.Present) return false;
        bus = hub.Bus;
        devnum = hub.Devnum;
        port = number <= m_info.Usb2.Ports ? number : number - m_info.Usb2.Ports;
        return true;
    }
    bool IsSuperSpeed(unsigned number) const { return number > m_info.Usb2.Ports; }

    // The kernel halts the controller when a root port enters a test mode,
    // and sets it running again for Test_Force_Enable.
    void EnteredTestMode(unsigned number, uint16_t selector) {
        CLxControllerState& state = State();
        state.TestMode = true;
        Where(number, state.TestBus, state.TestDevnum, state.TestPort);
        state.Devices = std::max(state.Devices, m_devices.size());
        bool running = selector == 5;
        state.Command = (state.Command & ~1u) | (running ? 1u : 0u);
        state.Status = (state.Status & ~1u) | (running ? 0u : 1u);
    }

    const char* GetHostID() override {
        if (BLTraceEnabled()) BLTrace("GetHostID " + Target() + " -> " + m_info.Id);
        return m_info.Id.c_str();
    }
    uint8_t GetNumberHostPorts() override {
        uint8_t count = static_cast<uint8_t>(m_ports.size());
        if (BLTraceEnabled()) BLTrace("GetNumberHostPorts " + Target() + Format(" -> %u", count));
        return count;
    }
    CHostPort* GetHostPort(uint32_t port) override {
        CHostPort* found = port >= 1 && port <= m_ports.size() ? m_ports[port - 1].get() : nullptr;
        if (BLTraceEnabled())
            BLTrace("GetHostPort " + Target() + Format(" %u -> ", port) +
                    (found ? Format("root:%u", port) : std::string("null")));
        return found;
    }
    // USBCMD and USBSTS of the model: clearing Run/Stop halts, setting it runs.
    BLSTATUS ReadRegister(tagRegSelector reg, uint32_t* value) override {
        const CLxControllerState& state = State();
        BLSTATUS result = value && reg.Block == 1 && (reg.Offset == 0 || reg.Offset == 4) ? 0 : BL_LX_E_UNSUPPORTED;
        uint32_t read = reg.Offset == 0 ? state.Command : state.Status;
        if (result == 0) *value = read;
        Trace("ReadRegister " + Target() + Format(" %u %u", reg.Block, reg.Offset), result,
              result ? "" : Format(" 0x%08X", read));
        return result;
    }
    BLSTATUS WriteRegister(tagRegSelector reg, uint32_t value) override {
        CLxControllerState& state = State();
        BLSTATUS result = reg.Block == 1 && reg.Offset == 0 ? 0 : BL_LX_E_UNSUPPORTED;
        if (result == 0) {
            state.Command = value;
            state.Status = (state.Status & ~1u) | ((value & 1) ? 0u : 1u);
        }
        Trace("WriteRegister " + Target() + Format(" %u %u 0x%08X", reg.Block, reg.Offset, value), result);
        return result;
    }

private:
    CLxContext& m_context;
    CLxControllerInfo m_info;
    unsigned m_index;
    std::vector<std::unique_ptr<CLxRootPort>> m_ports;
    std::vector<std::unique_ptr<CLxDevice>> m_devices;
    std::array<CLxDevice*, 256> m_byAddress{};
    bool m_scanned = false;
};

bool CLxRootPort::IsSuperSpeedPort() {
    bool super = m_host.IsSuperSpeed(m_number);
    if (BLTraceEnabled()) BLTrace("IsSuperSpeedPort " + Target() + Format(" -> %u", super));
    return super;
}
bool CLxRootPort::Where(unsigned& bus, unsigned& devnum, unsigned& port) {
    return m_host.Where(m_number, bus, devnum, port);
}
void CLxRootPort::EnteredTestMode(uint16_t selector) {
    if (!m_host.IsSuperSpeed(m_number)) m_host.EnteredTestMode(m_number, selector);
}

bool CLxHubPort::IsSuperSpeedPort() {
    bool super = m_hub.Info().Speed >= UsbSuperSpeed;
    if (BLTraceEnabled()) BLTrace("IsSuperSpeedPort " + Target() + Format(" -> %u", super));
    return super;
}
bool CLxHubPort::Where(unsigned& bus, unsigned& devnum, unsigned& port) {
    bus = m_hub.Info().Bus;
    devnum = m_hub.Info().Devnum;
    port = m_number;
    return true;
}
std::string CLxHubPort::Target() const { return m_hub.Target() + Format(":%u", m_number); }

// A root object: the controllers found so far (kept until it ends, so their
// pointers stay valid) and the session's selections.
class CLxBench : public CXhciBenchline, public CBLInterface {
public:
    explicit CLxBench(CLxContext& context) : m_context(context) {
        if (BLTraceEnabled()) BLTrace("new CXhciBenchline");
    }
    ~CLxBench() override {
        if (BLTraceEnabled()) BLTrace("delete CXhciBenchline");
    }

    BLSTATUS SelectStack(tagBL_STACK_NAME stack) override {
        BLSTATUS result = stack == BL_STACK_COMPLIANCE ? 0 : BL_LX_E_ERRNO | EINVAL;
        Trace(Format("SelectStack bench %u", static_cast<unsigned>(stack)), result);
        return result;
    }
    BLSTATUS Enumerate() override {
        BLSTATUS result = m_current ? m_current->Enumerate() : BL_LX_E_NOT_FOUND;
        m_nextHub = 0;
        Trace("Enumerate bench", result);
        return result;
    }
    CHostController* FindFirstHC() override {
        m_listed.clear();
        for (const CLxControllerInfo& info : LxScanControllers(m_context.Sysfs)) m_listed.push_back(HostFor(info));
        m_nextHost = 0;
        return NextHost("FindFirstHC");
    }
    CHostController* FindNextHC() override { return NextHost("FindNextHC"); }
    CHubDevice* FindFirstHub() override {
        m_nextHub = 0;
        return NextHub("FindFirstHub");
    }
    CHubDevice* FindNextHub() override { return NextHub("FindNextHub"); }

    BLSTATUS SelectHostController(CHostController* controller, bool forTest, bool reserved) override {
        CLxHost* found = nullptr;
        for (auto& host : m_hosts)
            if (host.get() == controller) found = host.get();
        BLSTATUS result = found ? 0 : BL_LX_E_NOT_FOUND;
        if (found) {
            m_current = found;
            m_nextHub = 0;
            if (!found->Scanned()) found->Scan();
        }
        Trace("SelectHostController bench " + (found ? found->Target() : std::string("null")) +
                  Format(" %u %u", forTest, reserved),
              result);
        return result;
    }
    BLSTATUS SelectHub(CHubDevice* hub) override {
        bool known = false;
        if (m_current)
            for (const auto& device : m_current->Devices()) known |= device.get() == hub && device->IsHub();
        BLSTATUS result = known ? 0 : BL_LX_E_NOT_FOUND;
        Trace("SelectHub bench " + (known ? static_cast<CLxDevice*>(hub)->Target() : std::string("null")), result);
        return result;
    }
    BLSTATUS SelectPort(uint8_t port) override {
        Trace(Format("SelectPort bench %u", port), 0);
        return 0;
    }
    CDevice* GetDeviceByDeviceAddress(uint8_t address) override {
        CLxDevice* device = m_current ? m_current->ByAddress(address) : nullptr;
        if (BLTraceEnabled())
            BLTrace(Format("GetDeviceByDeviceAddress bench %u -> ", address) +
                    (device ? device->Target() : std::string("null")));
        return device;
    }
    CBLInterface* GetBLInterface() override {
        if (BLTraceEnabled()) BLTrace("GetBLInterface bench -> interface");
        return this;
    }
    // No compliance driver is loaded, so there is no version to check.
    BLSTATUS GetDriverVersion(uint32_t* version) override {
        if (version) *version = 0;
        Trace("GetDriverVersion interface", BL_LX_I_NO_DRIVER_VERSION);
        return BL_LX_I_NO_DRIVER_VERSION;
    }

private:
    CLxHost* HostFor(const CLxControllerInfo& info) {
        for (auto& host : m_hosts)
            if (host->Info().Name == info.Name) return host.get();
        m_hosts.push_back(std::make_unique<CLxHost>(m_context, info, static_cast<unsigned>(m_hosts.size())));
        return m_hosts.back().get();
    }
    CHostController* NextHost(const char* method) {
        CLxHost* host = m_nextHost < m_listed.size() ? m_listed[m_nextHost++] : nullptr;
        if (BLTraceEnabled()) BLTrace(std::string(method) + " bench -> " + (host ? host->Target() : "null"));
        return host;
    }
    CHubDevice* NextHub(const char* method) {
        CLxDevice* hub = nullptr;
        while (!hub && m_current && m_nextHub < m_current->Devices().size()) {
            CLxDevice* device = m_current->Devices()[m_nextHub++].get();
            if (device->IsHub()) hub = device;
        }
        if (BLTraceEnabled()) BLTrace(std::string(method) + " bench -> " + (hub ? hub->Target() : "null"));
        return hub;
    }

    CLxContext& m_context;
    std::vector<std::unique_ptr<CLxHost>> m_hosts;  // every controller met, never removed
    std::vector<CLxHost*> m_listed;                 // those of the last listing
    CLxHost* m_current = nullptr;
    size_t m_nextHost = 0;
    size_t m_nextHub = 0;
};

class CLxBackend : public CBLBackend {
public:
    CLxBackend(std::unique_ptr<CLxSystem> system, const std::string& sysfsRoot) {
        m_context.System = std::move(system);
        m_context.Sysfs = sysfsRoot;
    }

    CXhciBenchline* CreateBenchline() override { return new CLxBench(m_context); }

    std::vector<std::string> HostIds() override {
        std::vector<std::string> ids;
        for (const CLxControllerInfo& info : LxScanControllers(m_context.Sysfs)) ids.push_back(info.Id);
        return ids;
    }

    // The kernel's own driver serves every controller, so nothing is
    // switched; clean-up brings back controllers left in a test mode.
    int32_t SwitchStack(EBLSwitchRequest request, const std::string& hostId) override {
        if (request == BL_SWITCH_CLEANUP) {
            for (const auto& [name, state] : m_context.States) {
                if (!state.TestMode) continue;
                CLxControllerInfo controller;
                controller.Name = name;
                controller.DriverDir = state.DriverDir;
                m_context.Rebind(controller);
            }
            return 0;
        }
        std::vector<CLxControllerInfo> controllers = LxScanControllers(m_context.Sysfs);
        if (controllers.empty()) return -1;
        if (request != BL_SWITCH_SELECT) return 0;
        for (const CLxControllerInfo& controller : controllers)
            if (controller.Id == hostId) return 0;
        return -1;
    }

private:
    CLxContext m_context;
};

class CLxRealSystem : public CLxSystem {
public:
    int Control(unsigned bus, unsigned device, const CLxSetup& setup, uint8_t* data) override {
        char path[64];
        std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", bus, device);
        int fd = ::open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0) return -errno;
        usbdevfs_ctrltransfer transfer{};
        transfer.bRequestType = setup.RequestType;
        transfer.bRequest = setup.Request;
        transfer.wValue = setup.Value;
        transfer.wIndex = setup.Index;
        transfer.wLength = setup.Length;
        transfer.timeout = 2000;
        transfer.data = data;
        int result = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
        if (result < 0) result = -errno;
        ::close(fd);
        return result;
    }
    int WriteAttribute(const std::string& path, const std::string& text) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return -errno;
        int result = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : -errno;
        ::close(fd);
        return result;
    }
    void Sleep(unsigned milliseconds) override { ::usleep(milliseconds * 1000); }
};

}  // namespace

std::unique_ptr<CBLBackend> BLLinuxCreate(std::unique_ptr<CLxSystem> system, const std::string& sysfsRoot) {
    return std::make_unique<CLxBackend>(std::move(system), sysfsRoot);
}

std::unique_ptr<CBLBackend> BLLinuxCreateReal(std::string& error) {
    if (::geteuid() != 0) {
        error = "VOLTARIS_BENCH=linux needs root: the usbfs nodes /dev/bus/usb/BBB/DDD and the host controller "
                "drivers' bind and unbind files in /sys are writable by root only";
        return nullptr;
    }
    std::fprintf(stderr,
                 "voltaris: linux bench: root-port test modes stop every device on that controller, keyboards "
                 "included, until the next enumeration\n");
    return BLLinuxCreate(std::make_unique<CLxRealSystem>(), "/sys");
}
