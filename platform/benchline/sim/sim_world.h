// The simulated bench's world: controllers, root ports, hubs and devices with
// their hardware state, the fault table, and the component objects that hand
// the world to the program. One mutex guards all of it; every component call
// and every control command holds it while it runs.
#pragma once

#include "benchline/sim.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct CSimController;
struct CSimDevice;
class CSimWorld;

// A root port or a hub downstream port.
struct CSimPort {
    CSimController* Controller = nullptr;
    CSimDevice* Hub = nullptr;  // null on a root port
    uint8_t Number = 0;
    bool SuperSpeed = false;
    CSimDevice* Device = nullptr;  // what hangs on the port, plugged in or not
    uint8_t TestMode = 0;          // PORT_TEST selector, 0 = none
    bool Suspended = false;
    bool Disabled = false;    // quiesced root port
    bool Compliance = false;  // transmitter compliance mode
    bool ConnectChange = false;
    std::unique_ptr<CBLPort> Object;  // a CHostPort on a root port, else a CHubPort

    bool Connected() const;
    // The port carries traffic to what hangs on it.
    bool Passes() const { return TestMode == 0 && !Suspended && !Disabled && !Compliance; }

    // Port requests, as the hardware answers them.
    BLSTATUS GetStatus(uint32_t& status) const;
    BLSTATUS SetFeature(uint16_t feature, uint16_t selector);
    BLSTATUS ClearFeature(uint16_t feature);
    BLSTATUS SetLinkFeature(uint16_t feature, uint16_t value);
    BLSTATUS Resume();
    BLSTATUS Quiesce();
    BLSTATUS Idle();

    // Clears suspend, test mode, disable and compliance here and on every
    // port below; devices below return to their default transfer state.
    void Reset();

private:
    BLSTATUS HubAnswers() const;
};

// Where a single-stepped control transfer stands.
enum ESimStage { SIM_EXPECT_SETUP, SIM_EXPECT_DATA, SIM_EXPECT_STATUS };

struct CSimDevice {
    CSimController* Controller = nullptr;
    CSimPort* Upstream = nullptr;  // the port it hangs on
    std::string At;                // "1.3.2"
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    uint16_t Serial = 0;
    uint8_t Speed = UsbHighSpeed;
    uint32_t Tag = 0;
    std::array<uint8_t, 18> Descriptor{};
    std::vector<std::unique_ptr<CSimPort>> Ports;  // downstream ports of a hub
    std::unique_ptr<CDevice> Object;               // a CHubDevice for a hub

    bool Plugged = true;
    uint8_t Address = 0;   // 0: not addressed (not found by the last enumeration)
    uint8_t TestMode = 0;  // SetTestMode selector, 0 = none
    bool RemoteWakeup = false;
    ESimStage Stage = SIM_EXPECT_SETUP;
    uint16_t DataLength = 0;  // wLength of the setup packet being stepped

    bool IsHub() const { return !Ports.empty(); }
    CSimDevice* Parent() const { return Upstream->Hub; }
    // 0 when the device answers: it has an address, it is plugged in, every
    // port and hub on the way passes traffic and the controller runs.
    BLSTATUS Reach() const;
    // 0 when the host keeps records of the device (it has an address).
    BLSTATUS Known() const;
    // "hub@A" or "dev@A"; "hub" or "dev" without an address.
    std::string Label() const;
    // Calls fn on this device and every device below it.
    template <class Fn>
    void ForSubtree(Fn fn) {
        fn(*this);
        for (auto& port : Ports)
            if (port->Device) port->Device->ForSubtree(fn);
    }

    // Device requests, as the hardware answers them.
    BLSTATUS GetDescriptor(uint8_t type, uint8_t index, uint8_t* buffer, uint32_t length) const;
    BLSTATUS SetAddress(uint8_t address);
    BLSTATUS SetTestMode(int32_t selector);
    BLSTATUS SetRemoteWakeup(bool enable);
    BLSTATUS ControlStep(uint8_t* data, uint32_t length, int32_t stage);
    // Back to the default state after a reset: no transfer under way, remote
    // wake-up off.
    void ResetState();
};

struct CSimController {
    unsigned Index = 0;
    // On a bench with several controllers the trace names the controller of
    // every port and device ("c1/root:2"), so the record says where each
    // request went.
    bool Qualified = false;
    std::string Id;      // as the bench file has it
    std::string HostId;  // what the bench reports: the id behind BL_SIM_HOST_MARK
    uint32_t DriverVersion = 0x01000300;
    bool Running = true;
    std::vector<std::unique_ptr<CSimPort>> Ports;
    std::vector<std::unique_ptr<CSimDevice>> Devices;  // depth-first in port order
    std::array<CSimDevice*, 256> ByAddress{};
    std::unique_ptr<CHostController> Object;

    CSimDevice* DeviceAt(const std::string& at);
    void SetAddress(CSimDevice& device, uint8_t address);
    // Addresses every device that is plugged in and not in a test mode, 1, 2,
    // 3 ... depth-first; everything else loses its address.
    void AddressDevices();

    BLSTATUS ReadRegister(tagRegSelector reg, uint32_t& value) const;
    BLSTATUS WriteRegister(tagRegSelector reg, uint32_t value);
    // Resets the controller and its ports and addresses the bus again.
    void Enumerate();
};

struct CSimFault {
    std::string Request;
    std::optional<std::string> Target;
    std::optional<std::string> Args;
    BLSTATUS Status = 0;
    std::optional<uint32_t> Value;
    std::optional<uint64_t> Count;  // remaining; unset = unlimited
};

// The whole bench as a bench file describes it, plus its live state.
class CSimWorld {
public:
    std::mutex Mutex;
    std::vector<std::unique_ptr<CSimController>> Controllers;
    std::vector<CSimFault> Faults;

    // The first fault that matches and can still fire, with its count spent;
    // null when none. target and args are formatted only when a fault for
    // this method asks for them.
    template <class Format>
    const CSimFault* TakeFault(const char* method, Format format) {
        for (auto& fault : Faults) {
            if (fault.Request != method || (fault.Count && *fault.Count == 0)) continue;
            if (fault.Target || fault.Args) {
                std::string target, args;
                format(target, args);
                if ((fault.Target && *fault.Target != target) || (fault.Args && *fault.Args != args)) continue;
            }
            if (fault.Count) --*fault.Count;
            return &fault;
        }
        return nullptr;
    }

    // Hot-plug commands; false with a message when at names no device.
    bool Unplug(unsigned controller, const std::string& at, std::string& error);
    bool Plug(unsigned controller, const std::string& at, std::string& error);
    bool PowerCycle(unsigned controller, const std::string& at, std::string& error);
    // The tree with addresses and states, one line per port, of one
    // controller or of all; empty with a message for a bad index.
    std::string Show(std::optional<unsigned> controller, std::string& error) const;

private:
    CSimDevice* Find(unsigned controller, const std::string& at, std::string& error);
};

// Method names a fault may name: every component request and the stack
// switcher's two calls.
bool SimIsRequestName(const std::string& name);

// Reads a bench file's text into a world; false with one error line.
bool SimLoadBench(const std::string& text, const std::string& sourceName, CSimWorld& world, std::string& error);
// Creates the component objects of a loaded world and addresses its devices.
void SimCreateObjects(CSimWorld& world);
// A new root object over the world.
CXhciBenchline* SimCreateBench(CSimWorld& world);

// The built-in default bench, as bench file text.
extern const char* const kSimDefaultBench;

// The control socket's name in the abstract namespace (without the leading
// NUL): "voltaris-sim", plus "-" and VOLTARIS_INSTANCE when that is set.
std::string SimControlName();
