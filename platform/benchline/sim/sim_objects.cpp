// The component objects of the simulated bench. Each request takes the
// world's lock, lets a matching fault answer in the hardware's place, and
// writes its trace line; request texts are formatted here only, so the trace
// and the fault table always agree.
#include "sim_world.h"

#include <cinttypes>
#include <cstdio>

namespace {

// What a request is addressed to, as the trace names it.
struct CSimTarget {
    enum EKind { BENCH, HOST, ROOT, HUB, DEVICE, HUB_PORT, INTERFACE, NONE };
    constexpr CSimTarget(EKind kind = NONE, unsigned a = 0, unsigned p = 0, int c = -1)
        : Kind(kind), A(a), P(p), C(c) {}
    EKind Kind;
    unsigned A;  // controller index, root port number or USB address
    unsigned P;  // hub port number
    int C;       // controller of a port or device on a bench of several, else -1
};

int QualifierOf(const CSimController* controller) {
    return controller && controller->Qualified ? static_cast<int>(controller->Index) : -1;
}

CSimTarget TargetOf(const CSimController& controller) { return {CSimTarget::HOST, controller.Index}; }
CSimTarget TargetOf(const CSimDevice& device) {
    return {device.IsHub() ? CSimTarget::HUB : CSimTarget::DEVICE, device.Address, 0, QualifierOf(device.Controller)};
}
CSimTarget TargetOf(const CSimPort& port) {
    if (!port.Hub) return {CSimTarget::ROOT, port.Number, 0, QualifierOf(port.Controller)};
    return {CSimTarget::HUB_PORT, port.Hub->Address, port.Number, QualifierOf(port.Controller)};
}

void AppendTarget(std::string& text, const CSimTarget& target) {
    char buffer[48];
    if (target.C >= 0) text += "c" + std::to_string(target.C) + "/";
    switch (target.Kind) {
    case CSimTarget::BENCH: text += "bench"; return;
    case CSimTarget::INTERFACE: text += "interface"; return;
    case CSimTarget::NONE: text += "null"; return;
    case CSimTarget::HOST: std::snprintf(buffer, sizeof buffer, "host:%u", target.A); break;
    case CSimTarget::ROOT: std::snprintf(buffer, sizeof buffer, "root:%u", target.A); break;
    case CSimTarget::HUB: std::snprintf(buffer, sizeof buffer, "hub@%u", target.A); break;
    case CSimTarget::DEVICE: std::snprintf(buffer, sizeof buffer, "dev@%u", target.A); break;
    case CSimTarget::HUB_PORT: std::snprintf(buffer, sizeof buffer, "hub@%u:%u", target.A, target.P); break;
    }
    text += buffer;
}

// An argument or out value as the trace prints it.
struct CSimValue {
    enum EKind { DEC, HEX8, HEX4, PACKET, OBJECT };
    CSimValue() = default;
    CSimValue(EKind kind, uint64_t number) : Kind(kind), Number(number) {}
    explicit CSimValue(const CSimTarget& target) : Kind(OBJECT), Target(target) {}
    EKind Kind = DEC;
    uint64_t Number = 0;
    CSimTarget Target;
};

CSimValue Dec(int64_t n) { return {CSimValue::DEC, static_cast<uint64_t>(n)}; }
CSimValue Hex8(uint32_t n) { return {CSimValue::HEX8, n}; }
CSimValue Object(const CSimTarget& target) { return CSimValue(target); }

void AppendValue(std::string& text, const CSimValue& value) {
    char buffer[24];
    switch (value.Kind) {
    case CSimValue::DEC: std::snprintf(buffer, sizeof buffer, "%" PRId64, static_cast<int64_t>(value.Number)); break;
    case CSimValue::HEX8: std::snprintf(buffer, sizeof buffer, "0x%08" PRIX64, value.Number); break;
    case CSimValue::HEX4: std::snprintf(buffer, sizeof buffer, "0x%04" PRIX64, value.Number); break;
    case CSimValue::PACKET: std::snprintf(buffer, sizeof buffer, "%016" PRIX64, value.Number); break;
    case CSimValue::OBJECT: AppendTarget(text, value.Target); return;
    }
    text += buffer;
}

// An out value of a status call: where the request body puts it, and how the
// trace prints it.
struct CSimOut {
    uint32_t* Value;
    CSimValue::EKind Kind;
};

// A fault status that stands for a failed request: the hardware is not
// asked. The component's two success-like warnings are not failures here.
bool Refuses(BLSTATUS status) {
    return BLFailed(status) && status != BL_S_ENUMERATE_WARNING && status != BL_S_SINGLE_STEP_STATUS;
}

class CSimCall {
public:
    // Takes the world's lock first, so that Start reads targets (USB
    // addresses) that no control command changes meanwhile.
    explicit CSimCall(CSimWorld& world) : m_lock(world.Mutex), m_world(world), m_tracing(BLTraceEnabled()) {}

    void Start(const char* method, const CSimTarget& target, std::initializer_list<CSimValue> args = {}) {
        m_method = method;
        m_target = target;
        for (const CSimValue& arg : args) m_args[m_argCount++] = arg;
        m_fault = m_world.TakeFault(method, [this](std::string& targetText, std::string& argsText) {
            AppendTarget(targetText, m_target);
            AppendArgs(argsText);
        });
    }

    // A status call: the hardware's body runs unless a failing fault answers
    // in its place; a fault's status and value replace the hardware's.
    template <class Body>
    BLSTATUS Run(Body body, std::initializer_list<CSimOut> outs = {}) {
        BLSTATUS status = m_fault && Refuses(m_fault->Status) ? m_fault->Status : body();
        if (m_fault) {
            status = m_fault->Status;
            if (m_fault->Value && outs.size()) *outs.begin()->Value = *m_fault->Value;
        }
        m_gave = !Refuses(status) || (m_fault && m_fault->Value);
        if (m_tracing) {
            std::string line = Request() + " -> " + BLFormatStatus(status);
            for (const CSimOut& out : outs)
                if (m_gave) AppendValue(line += " ", {out.Kind, *out.Value});
            BLTrace(line);
        }
        return status;
    }
    // Whether the last Run hands its out values to the caller.
    bool Gave() const { return m_gave; }

    // A call that returns an object; a failing fault makes it return none.
    template <class T>
    T* Give(T* object, const CSimTarget& target) {
        if (m_fault && Refuses(m_fault->Status)) object = nullptr;
        if (m_tracing) {
            std::string line = Request() + " -> ";
            AppendTarget(line, object ? target : CSimTarget{});
            BLTrace(line);
        }
        return object;
    }

    // A call that returns a number (or a bool); a fault's value replaces it.
    template <class T>
    T Give(T value) {
        if (m_fault && m_fault->Value) value = static_cast<T>(*m_fault->Value);
        if (m_tracing) BLTrace(Request() + " -> " + std::to_string(static_cast<uint64_t>(value)));
        return value;
    }

    const char* Give(const char* text) {
        if (m_tracing) BLTrace(Request() + " -> " + text);
        return text;
    }

private:
    void AppendArgs(std::string& text) const {
        for (int i = 0; i < m_argCount; ++i) AppendValue(i ? text += " " : text, m_args[i]);
    }
    std::string Request() const {
        std::string text = m_method;
        AppendTarget(text += " ", m_target);
        if (m_argCount) AppendArgs(text += " ");
        return text;
    }

    std::lock_guard<std::mutex> m_lock;
    CSimWorld& m_world;
    const char* m_method = "";
    CSimTarget m_target;
    CSimValue m_args[5];
    int m_argCount = 0;
    bool m_tracing;
    const CSimFault* m_fault = nullptr;
    bool m_gave = false;
};

template <class T>
void Hand(const CSimCall& call, T* out, uint32_t value) {
    if (out && call.Gave()) *out = static_cast<T>(value);
}

// Root ports and hub ports share every request but one.
template <class Base>
class TSimPortObject : public Base {
public:
    TSimPortObject(CSimWorld& world, CSimPort& port) : m_world(world), m_port(port) {}

    BLSTATUS GetPortStatus(uint32_t* status) override {
        CSimCall call(m_world);
        call.Start("GetPortStatus", TargetOf(m_port));
        uint32_t value = 0;
        BLSTATUS result = call.Run([&] { return status ? m_port.GetStatus(value) : BL_SIM_E_INVALID_ARGUMENT; },
                                   {{&value, CSimValue::HEX8}});
        Hand(call, status, value);
        return result;
    }
    bool IsSuperSpeedPort() override {
        CSimCall call(m_world);
        call.Start("IsSuperSpeedPort", TargetOf(m_port));
        return call.Give(m_port.SuperSpeed);
    }
    BLSTATUS SetPortFeature(uint16_t feature, uint16_t selector, uint32_t reserved) override {
        CSimCall call(m_world);
        call.Start("SetPortFeature", TargetOf(m_port), {Dec(feature), Dec(selector), Dec(reserved)});
        return call.Run([&] { return m_port.SetFeature(feature, selector); });
    }
    BLSTATUS ClearPortFeature(uint16_t feature, uint32_t reserved) override {
        CSimCall call(m_world);
        call.Start("ClearPortFeature", TargetOf(m_port), {Dec(feature), Dec(reserved)});
        return call.Run([&] { return m_port.ClearFeature(feature); });
    }
    BLSTATUS SetPortLinkFeature(uint16_t feature, uint16_t value, uint32_t reserved, void*) override {
        CSimCall call(m_world);
        call.Start("SetPortLinkFeature", TargetOf(m_port), {Dec(feature), Dec(value), Dec(reserved)});
        return call.Run([&] { return m_port.SetLinkFeature(feature, value); });
    }
    BLSTATUS ResumePort() override {
        CSimCall call(m_world);
        call.Start("ResumePort", TargetOf(m_port));
        return call.Run([&] { return m_port.Resume(); });
    }

protected:
    CSimWorld& m_world;
    CSimPort& m_port;
};

class CSimRootPortObject : public TSimPortObject<CHostPort> {
public:
    using TSimPortObject::TSimPortObject;
    BLSTATUS QuiescePort() override {
        CSimCall call(m_world);
        call.Start("QuiescePort", TargetOf(m_port));
        return call.Run([&] { return m_port.Quiesce(); });
    }
};

class CSimHubPortObject : public TSimPortObject<CHubPort> {
public:
    using TSimPortObject::TSimPortObject;
    BLSTATUS IdlePort() override {
        CSimCall call(m_world);
        call.Start("IdlePort", TargetOf(m_port));
        return call.Run([&] { return m_port.Idle(); });
    }
};

// Hubs and other devices share every request but one.
template <class Base>
class TSimDeviceObject : public Base {
public:
    TSimDeviceObject(CSimWorld& world, CSimDevice& device) : m_world(world), m_device(device) {
        this->ParentPort = device.Upstream->Number;
        this->DeviceTag = device.Tag;
    }

    // The host's own records answer these without talking to the device.
    BLSTATUS GetAddress(uint8_t* address) override {
        return Record("GetAddress", address, [&] { return m_device.Address; });
    }
    BLSTATUS GetParentHubAddress(uint8_t* address) override {
        return Record("GetParentHubAddress", address,
                      [&] { return m_device.Parent() ? m_device.Parent()->Address : uint8_t{0}; });
    }
    BLSTATUS GetPhysicalParentHubPort(uint8_t* port) override {
        return Record("GetPhysicalParentHubPort", port, [&] { return m_device.Upstream->Number; });
    }
    BLSTATUS GetDeviceSpeed(uint8_t* speed) override {
        return Record("GetDeviceSpeed", speed, [&] { return m_device.Speed; });
    }

    BLSTATUS GetVidPidSerialNumber(uint16_t* vid, uint16_t* pid, uint16_t* serial) override {
        CSimCall call(m_world);
        call.Start("GetVidPidSerialNumber", TargetOf(m_device));
        uint32_t values[3] = {};
        BLSTATUS result = call.Run(
            [&] {
                if (!vid || !pid || !serial) return BL_SIM_E_INVALID_ARGUMENT;
                if (BLSTATUS reach = m_device.Reach()) return reach;
                values[0] = m_device.Vid;
                values[1] = m_device.Pid;
                values[2] = m_device.Serial;
                return 0;
            },
            {{&values[0], CSimValue::HEX4}, {&values[1], CSimValue::HEX4}, {&values[2], CSimValue::HEX4}});
        Hand(call, vid, values[0]);
        Hand(call, pid, values[1]);
        Hand(call, serial, values[2]);
        return result;
    }
    BLSTATUS GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* buffer, uint32_t length) override {
        CSimCall call(m_world);
        call.Start("GetDescriptor", TargetOf(m_device), {Dec(type), Dec(index), Dec(language), Dec(length)});
        return call.Run([&] { return m_device.GetDescriptor(type, index, buffer, length); });
    }
    BLSTATUS SetAddress(uint8_t address) override {
        CSimCall call(m_world);
        call.Start("SetAddress", TargetOf(m_device), {Dec(address)});
        return call.Run([&] { return m_device.SetAddress(address); });
    }
    BLSTATUS SetTestMode(tagBL_TEST_MODE_SELECTOR selector) override {
        CSimCall call(m_world);
        call.Start("SetTestMode", TargetOf(m_device), {Dec(selector)});
        return call.Run([&] { return m_device.SetTestMode(selector); });
    }
    BLSTATUS EnableRemoteWakeup() override {
        CSimCall call(m_world);
        call.Start("EnableRemoteWakeup", TargetOf(m_device));
        return call.Run([&] { return m_device.SetRemoteWakeup(true); });
    }
    BLSTATUS DisableRemoteWakeup() override {
        CSimCall call(m_world);
        call.Start("DisableRemoteWakeup", TargetOf(m_device));
        return call.Run([&] { return m_device.SetRemoteWakeup(false); });
    }
    // The setup stage's packet is printed as 16 hex digits in place of the
    // data pointer; other stages print no data.
    BLSTATUS DoControlTransferSingleStep(uint8_t* data, uint32_t length, tagSINGLE_STEP step, void*, void*) override {
        uint64_t packet = 0;
        bool setup = step == BL_SETUP_STAGE && data && length == 8;
        for (int i = 0; setup && i < 8; ++i) packet = packet << 8 | data[i];
        CSimCall call(m_world);
        if (setup)
            call.Start("DoControlTransferSingleStep", TargetOf(m_device),
                       {{CSimValue::PACKET, packet}, Dec(length), Dec(step)});
        else call.Start("DoControlTransferSingleStep", TargetOf(m_device), {Dec(length), Dec(step)});
        return call.Run([&] { return m_device.ControlStep(data, length, step); });
    }

protected:
    template <class Read>
    BLSTATUS Record(const char* method, uint8_t* out, Read read) {
        CSimCall call(m_world);
        call.Start(method, TargetOf(m_device));
        uint32_t value = 0;
        BLSTATUS result = call.Run(
            [&] {
                if (!out) return BL_SIM_E_INVALID_ARGUMENT;
                value = read();
                return m_device.Known();
            },
            {{&value, CSimValue::DEC}});
        Hand(call, out, value);
        return result;
    }

    CSimWorld& m_world;
    CSimDevice& m_device;
};

using CSimDeviceObject = TSimDeviceObject<CDevice>;

class CSimHubObject : public TSimDeviceObject<CHubDevice> {
public:
    CSimHubObject(CSimWorld& world, CSimDevice& device) : TSimDeviceObject(world, device) {
        PortCount = static_cast<uint8_t>(device.Ports.size());
    }
    CHubPort* GetHubPort(uint8_t port) override {
        CSimCall call(m_world);
        call.Start("GetHubPort", TargetOf(m_device), {Dec(port)});
        CSimPort* found = port >= 1 && port <= m_device.Ports.size() ? m_device.Ports[port - 1].get() : nullptr;
        return call.Give(found ? static_cast<CHubPort*>(found->Object.get()) : nullptr,
                         found ? TargetOf(*found) : CSimTarget{});
    }
};

class CSimHostObject : public CHostController {
public:
    CSimHostObject(CSimWorld& world, CSimController& controller) : m_world(world), m_controller(controller) {}

    const char* GetHostID() override {
        CSimCall call(m_world);
        call.Start("GetHostID", TargetOf(m_controller));
        return call.Give(m_controller.HostId.c_str());
    }
    uint8_t GetNumberHostPorts() override {
        CSimCall call(m_world);
        call.Start("GetNumberHostPorts", TargetOf(m_controller));
        return call.Give(static_cast<uint8_t>(m_controller.Ports.size()));
    }
    CHostPort* GetHostPort(uint32_t port) override {
        CSimCall call(m_world);
        call.Start("GetHostPort", TargetOf(m_controller), {Dec(port)});
        CSimPort* found = port >= 1 && port <= m_controller.Ports.size() ? m_controller.Ports[port - 1].get() : nullptr;
        return call.Give(found ? static_cast<CHostPort*>(found->Object.get()) : nullptr,
                         found ? TargetOf(*found) : CSimTarget{});
    }
    BLSTATUS ReadRegister(tagRegSelector reg, uint32_t* value) override {
        CSimCall call(m_world);
        call.Start("ReadRegister", TargetOf(m_controller), {Dec(reg.Block), Dec(reg.Offset)});
        uint32_t read = 0;
        BLSTATUS result =
            call.Run([&] { return value ? m_controller.ReadRegister(reg, read) : BL_SIM_E_INVALID_ARGUMENT; },
                     {{&read, CSimValue::HEX8}});
        Hand(call, value, read);
        return result;
    }
    BLSTATUS WriteRegister(tagRegSelector reg, uint32_t value) override {
        CSimCall call(m_world);
        call.Start("WriteRegister", TargetOf(m_controller), {Dec(reg.Block), Dec(reg.Offset), Hex8(value)});
        return call.Run([&] { return m_controller.WriteRegister(reg, value); });
    }

private:
    CSimWorld& m_world;
    CSimController& m_controller;
};

// A root object: the program's session with the bench. The hardware lives in
// the world; the root object keeps only the session's selections.
class CSimBench : public CXhciBenchline, public CBLInterface {
public:
    explicit CSimBench(CSimWorld& world) : m_world(world) {
        std::lock_guard lock(m_world.Mutex);
        if (!m_world.Controllers.empty()) m_current = m_world.Controllers.front().get();
        if (BLTraceEnabled()) BLTrace("new CXhciBenchline");
    }
    ~CSimBench() override {
        std::lock_guard lock(m_world.Mutex);
        if (BLTraceEnabled()) BLTrace("delete CXhciBenchline");
    }

    BLSTATUS SelectStack(tagBL_STACK_NAME stack) override {
        CSimCall call(m_world);
        call.Start("SelectStack", kBench, {Dec(stack)});
        return call.Run([&] { return stack == BL_STACK_COMPLIANCE ? 0 : BL_SIM_E_INVALID_ARGUMENT; });
    }
    BLSTATUS Enumerate() override {
        CSimCall call(m_world);
        call.Start("Enumerate", kBench);
        return call.Run([&] {
            if (!m_current) return BL_SIM_E_NOT_CONNECTED;
            m_current->Enumerate();
            return 0;
        });
    }
    CHostController* FindFirstHC() override {
        m_hostWalk.Restart();
        return NextHost("FindFirstHC");
    }
    CHostController* FindNextHC() override { return NextHost("FindNextHC"); }
    CHubDevice* FindFirstHub() override {
        m_hubWalk.Restart();
        return NextHub("FindFirstHub");
    }
    CHubDevice* FindNextHub() override { return NextHub("FindNextHub"); }

    BLSTATUS SelectHostController(CHostController* controller, bool forTest, bool reserved) override {
        CSimController* found = nullptr;
        for (auto& candidate : m_world.Controllers)  // the list never changes after loading
            if (candidate->Object.get() == controller) found = candidate.get();
        CSimCall call(m_world);
        call.Start("SelectHostController", kBench,
                   {Object(found ? TargetOf(*found) : CSimTarget{}), Dec(forTest), Dec(reserved)});
        return call.Run([&] {
            if (!found) return BL_SIM_E_INVALID_ARGUMENT;
            m_current = found;
            m_hubWalk.Restart();
            return 0;
        });
    }
    BLSTATUS SelectHub(CHubDevice* hub) override {
        CSimCall call(m_world);
        call.Start("SelectHub", kBench, {Object(HubTarget(hub))});
        return call.Run([&] {
            if (!hub || !m_current || HubTarget(hub).Kind == CSimTarget::NONE) return BL_SIM_E_INVALID_ARGUMENT;
            m_selectedHub = hub;
            return 0;
        });
    }
    BLSTATUS SelectPort(uint8_t port) override {
        CSimCall call(m_world);
        call.Start("SelectPort", kBench, {Dec(port)});
        return call.Run([&] {
            m_selectedPort = port;
            return 0;
        });
    }
    CDevice* GetDeviceByDeviceAddress(uint8_t address) override {
        CSimCall call(m_world);
        call.Start("GetDeviceByDeviceAddress", kBench, {Dec(address)});
        CSimDevice* device = m_current ? m_current->ByAddress[address] : nullptr;
        return call.Give(device ? device->Object.get() : nullptr, device ? TargetOf(*device) : CSimTarget{});
    }
    CBLInterface* GetBLInterface() override {
        CSimCall call(m_world);
        call.Start("GetBLInterface", kBench);
        return call.Give(static_cast<CBLInterface*>(this), {CSimTarget::INTERFACE});
    }

    BLSTATUS GetDriverVersion(uint32_t* version) override {
        CSimCall call(m_world);
        call.Start("GetDriverVersion", {CSimTarget::INTERFACE});
        uint32_t value = 0;
        BLSTATUS result = call.Run(
            [&] {
                if (!version) return BL_SIM_E_INVALID_ARGUMENT;
                if (!m_current) return BL_SIM_E_NOT_CONNECTED;
                value = m_current->DriverVersion;
                return 0;
            },
            {{&value, CSimValue::HEX8}});
        Hand(call, version, value);
        return result;
    }

private:
    static constexpr CSimTarget kBench{CSimTarget::BENCH};

    CHostController* NextHost(const char* method) {
        CSimCall call(m_world);
        call.Start(method, kBench);
        CSimController* controller =
            m_hostWalk.Next(m_world.Controllers.size(), [this](size_t i) { return m_world.Controllers[i].get(); });
        if (!controller) return call.Give<CHostController>(nullptr, {});
        return call.Give(controller->Object.get(), TargetOf(*controller));
    }
    CHubDevice* NextHub(const char* method) {
        CSimCall call(m_world);
        call.Start(method, kBench);
        CSimDevice* hub = m_hubWalk.Next(m_current ? m_current->Devices.size() : 0, [this](size_t i) {
            CSimDevice* device = m_current->Devices[i].get();
            return device->IsHub() && device->Address ? device : nullptr;
        });
        if (!hub) return call.Give<CHubDevice>(nullptr, {});
        return call.Give(static_cast<CHubDevice*>(hub->Object.get()), TargetOf(*hub));
    }
    // The hub's target when it is a hub of the current controller.
    CSimTarget HubTarget(const CHubDevice* hub) const {
        if (m_current)
            for (auto& device : m_current->Devices)
                if (device->IsHub() && device->Object.get() == hub) return TargetOf(*device);
        return {};
    }

    CSimWorld& m_world;
    CSimController* m_current = nullptr;
    CBLWalk m_hostWalk;
    CBLWalk m_hubWalk;
    const CHubDevice* m_selectedHub = nullptr;
    uint8_t m_selectedPort = 0;
};

constexpr const char* kRequestNames[] = {
    "SelectStack",
    "Enumerate",
    "FindFirstHC",
    "FindNextHC",
    "FindFirstHub",
    "FindNextHub",
    "SelectHostController",
    "SelectHub",
    "SelectPort",
    "GetDeviceByDeviceAddress",
    "GetBLInterface",
    "GetDriverVersion",
    "GetHostID",
    "GetNumberHostPorts",
    "GetHostPort",
    "ReadRegister",
    "WriteRegister",
    "GetPortStatus",
    "IsSuperSpeedPort",
    "SetPortFeature",
    "ClearPortFeature",
    "SetPortLinkFeature",
    "ResumePort",
    "QuiescePort",
    "IdlePort",
    "GetAddress",
    "GetParentHubAddress",
    "GetPhysicalParentHubPort",
    "GetDeviceSpeed",
    "GetVidPidSerialNumber",
    "GetDescriptor",
    "SetAddress",
    "SetTestMode",
    "EnableRemoteWakeup",
    "DisableRemoteWakeup",
    "DoControlTransferSingleStep",
    "GetHubPort",
    "InitRailswap",
    "CleanupRailswap",
};

}  // namespace

bool SimIsRequestName(const std::string& name) {
    for (const char* known : kRequestNames)
        if (name == known) return true;
    return false;
}

void SimCreateObjects(CSimWorld& world) {
    auto makePort = [&](CSimPort& port) {
        if (port.Hub) port.Object = std::make_unique<CSimHubPortObject>(world, port);
        else port.Object = std::make_unique<CSimRootPortObject>(world, port);
    };
    for (auto& controller : world.Controllers) {
        controller->Qualified = world.Controllers.size() > 1;
        controller->Object = std::make_unique<CSimHostObject>(world, *controller);
        for (auto& port : controller->Ports) makePort(*port);
        for (auto& device : controller->Devices) {
            for (auto& port : device->Ports) makePort(*port);
            if (device->IsHub()) device->Object = std::make_unique<CSimHubObject>(world, *device);
            else device->Object = std::make_unique<CSimDeviceObject>(world, *device);
        }
        controller->AddressDevices();
    }
}

CXhciBenchline* SimCreateBench(CSimWorld& world) { return new CSimBench(world); }
