// The linux bench's component objects and backend. Port and device requests
// become USB control transfers through usbfs; everything the host knows
// without asking a device (addresses, parents, speeds, ids, what is plugged
// where) comes from sysfs. The kernel owns the controllers, so USBCMD and
// USBSTS are a model that follows what the kernel does: it halts a
// controller itself when a USB 2.0 root port enters a test mode, and the
// controller is brought back by unbinding and binding it at the next
// enumeration or at clean-up.
//
// The kernel's hub and device drivers would undo or race a test: while one
// runs, the bench takes what the test touches from them (the device's
// interface drivers detached, its port claimed, the hubs above held open so
// nothing autosuspends) and gives it back at the next enumeration and at
// clean-up, ending the test modes that are still on: a hub whose port is in
// a test mode is reset, a device in a test mode is power-cycled through its
// port when the hub above can switch one port's power, otherwise it is left
// out of the listings until it is unplugged or power-cycled by hand.
#include "benchline/linux.h"

#include "lx_in_use.h"
#include "lx_sysfs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/usbdevice_fs.h>
#include <map>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uint8_t kHubClassOther = 0x23;  // class request to a hub port
constexpr uint8_t kHubClassOtherIn = 0xA3;
constexpr uint8_t kHubClassDeviceIn = 0xA0;
constexpr uint8_t kGetStatus = 0, kClearFeature = 1, kSetFeature = 3, kGetDescriptor = 6;
constexpr uint16_t kDeviceRemoteWakeup = 1, kTestMode = 2;
constexpr uint16_t kPortConnection = 0x0001, kPortEnable = 0x0002, kPortSuspend = 0x0004;
constexpr uint16_t kPortPower = 0x0100, kSuperSpeedPortPower = 0x0200;
constexpr uint16_t kBhPortReset = 28;  // the warm reset of a SuperSpeed port
constexpr uint16_t kLinkU0 = 0, kLinkU3 = 3;
constexpr uint16_t kHubDescriptor = 0x29, kSuperSpeedHubDescriptor = 0x2A;
constexpr uint16_t kSuperSpeedHubDescriptorSize = 12;
constexpr unsigned kRebindWaitMs = 10000, kPollMs = 100, kBindTries = 3, kBindRetryMs = 500;
constexpr unsigned kPowerOffMs = 1000, kComeBackMs = 5000;

BLSTATUS StatusOf(int result) { return result < 0 ? BL_LX_E_ERRNO | (-result & 0xFF) : 0; }

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    int length = std::snprintf(nullptr, 0, format, a, b, c);
    std::string text(static_cast<size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, a, b, c);
    return text;
}

// One request's trace line, "Method target args -> answer", as the simulated
// bench writes it: the call names the request and its arguments, and its end
// writes the line with the status (and what came back) or the answer.
class CLxCall {
public:
    CLxCall(const std::string& method, const std::string& target) : m_tracing(BLTraceEnabled()) {
        if (m_tracing) m_request = method + " " + target;
    }
    // Arguments, each as " %u" or " 0x%08X".
    CLxCall& Args(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
        if (m_tracing) m_request += Format(format, a, b, c);
        return *this;
    }
    // A status call's end; outs follow the status (out values, or how the
    // request was carried out).
    BLSTATUS End(BLSTATUS status, const std::string& outs = "") const {
        if (m_tracing) BLTrace(m_request + " -> " + BLFormatStatus(status) + outs);
        return status;
    }
    // The end of a call that answers with a value or an object, shown as text.
    template <class T>
    T Give(T value, const std::string& text) const {
        if (m_tracing) BLTrace(m_request + " -> " + text);
        return value;
    }

private:
    bool m_tracing;
    std::string m_request;
};

std::string ErrnoText(int result) { return result < 0 ? std::strerror(-result) : "no error"; }

// What a controller has been through since it was last bound, kept by the
// backend so that clean-up after the last root object still knows it.
struct CLxControllerState {
    std::string DriverDir;
    uint32_t Command = 1;                                // USBCMD as the model has it: running
    uint32_t Status = 0;                                 // USBSTS: not halted
    bool TestMode = false;                               // a USB 2.0 root port was put into a test mode
    unsigned TestBus = 0, TestDevnum = 0, TestPort = 0;  // that root hub and port
    size_t Devices = 0;                                  // devices listed when it entered the test mode
};

// A port of a hub (the root hub for a root port) as the kernel knows it.
struct CLxPlace {
    unsigned Bus = 0, Devnum = 0, Port = 0;
    std::string HubDir, HubName;  // the hub's sysfs directory and name ("usb1", "1-1")
    bool Super = false;           // a SuperSpeed port
};

// A device this session put into a test mode, with the port it hangs on.
struct CLxTested {
    std::string Name, Dir;
    unsigned Bus = 0, Devnum = 0;
    CLxPlace Port;
    std::vector<unsigned> Interfaces;  // their drivers were detached
};

bool SamePort(const CLxPlace& a, const CLxPlace& b) {
    return a.HubDir == b.HubDir && a.Devnum == b.Devnum && a.Port == b.Port;
}
// The kernel's name of the port: "usb2-port4", "1-1-port3".
std::string PortName(const CLxPlace& port) { return port.HubName + Format("-port%u", port.Port); }
std::string HubNameOf(const std::string& dir) { return std::filesystem::path(dir).filename().string(); }
// Whether the hub of a place is still the one it was (not replugged, not gone).
bool SameHubThere(const CLxPlace& place) {
    CLxChild now = LxDeviceAt(place.HubDir);
    return now.Present && now.Devnum == place.Devnum;
}
// The last part of a symbolic link's target ("usbhid" for a driver link); empty without one.
std::string LinkName(const std::string& path) {
    std::error_code error;
    return std::filesystem::read_symlink(path, error).filename().string();
}
// The place of a port from its sysfs directory ("usb2/2-0:1.0/usb2-port3").
bool PlaceOfPortDir(const std::string& portDir, CLxPlace& place) {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::canonical(portDir, error);
    std::string name = dir.filename().string();
    size_t at = name.rfind("-port");
    if (error || at == std::string::npos) return false;
    std::string hubDir = dir.parent_path().parent_path().string();
    CLxChild hub = LxDeviceAt(hubDir);
    place = {hub.Bus, hub.Devnum,         static_cast<unsigned>(std::strtoul(name.c_str() + at + 5, nullptr, 10)),
             hubDir,  name.substr(0, at), std::strtod(LxReadAttribute(hubDir + "/speed").c_str(), nullptr) >= 5000};
    return hub.Present && place.Port != 0;
}

struct CLxNodeKey {
    unsigned Bus = 0, Devnum = 0;
    auto operator<=>(const CLxNodeKey&) const = default;
};

// State shared by the backend and its root objects.
struct CLxContext {
    std::unique_ptr<CLxSystem> System;
    std::string Sysfs;
    std::string Proc;
    std::string RecordPath;
    std::map<std::string, CLxControllerState> States;

    std::set<CLxNodeKey> Held;                             // nodes kept open until the next enumeration
    std::vector<std::pair<CLxNodeKey, unsigned>> Claimed;  // hub ports taken from the hub driver
    std::vector<CLxTested> TestedDevices;                  // device test modes still to be ended
    std::vector<CLxPlace> TestedHubs;                      // hubs with a port in a test mode (Bus/Devnum/HubDir)
    std::vector<CLxTested> Idled;                          // taken from their drivers for a hub port test mode
    std::vector<CLxPlace> Compliance;                      // SuperSpeed ports put into Compliance Mode
    std::vector<CLxPlace> Unpowered;                       // ports whose power did not come on again
    std::vector<CLxTested> Stuck;                          // left in a test mode: not listed until replaced
    std::set<std::string> Confirmed;                       // scopes the user let stop until the next enumeration
    std::set<std::pair<std::string, unsigned>> Fixtures;   // test fixtures reported (directory, device number)

    int Control(unsigned bus, unsigned devnum, const CLxSetup& setup, uint8_t* data) {
        return System->Control(bus, devnum, setup, data);
    }
    void Report(const std::string& line) { System->Report("voltaris: linux bench: " + line); }

    // Keeps a node open until the next enumeration: an open usbfs node
    // keeps the device and everything above it from autosuspending, and the
    // hub driver clears a port's enable and test state when a hub resumes.
    bool Hold(unsigned bus, unsigned devnum) {
        if (Held.count({bus, devnum})) return true;
        int result = System->Node(ELxNodeOp::Hold, bus, devnum, 0);
        if (result == 0) Held.insert({bus, devnum});
        else
            Report(Format("the usbfs node of bus %u device %u could not be opened (", bus, devnum) + ErrnoText(result) +
                   "): nothing keeps it from autosuspending during the test");
        return result == 0;
    }
    // Takes a hub port from the hub driver: it configures no device there.
    // The claim lasts as long as the node it was made through stays open.
    void Claim(unsigned bus, unsigned devnum, unsigned port) {
        for (const auto& claimed : Claimed)
            if (claimed.first == CLxNodeKey{bus, devnum} && claimed.second == port) return;
        int result = Hold(bus, devnum) ? System->Node(ELxNodeOp::ClaimPort, bus, devnum, port) : -EBADF;
        if (result == 0) Claimed.push_back({{bus, devnum}, port});
        else
            Report(Format("port %u of the hub at bus %u device %u could not be claimed from the hub driver (", port,
                          bus, devnum) +
                   ErrnoText(result) + "): the kernel may set up a device there during the test");
    }
    void Unclaim(unsigned bus, unsigned devnum, unsigned port) {
        auto it = std::find(Claimed.begin(), Claimed.end(), std::pair<CLxNodeKey, unsigned>{{bus, devnum}, port});
        if (it == Claimed.end()) return;
        System->Node(ELxNodeOp::ReleasePort, bus, devnum, port);
        Claimed.erase(it);
    }
    // A device's interface drivers let go (none had it: ENODATA) or take it
    // back (one has it already: EBUSY; the device is gone: ENODEV).
    void Detach(const CLxTested& device) {
        for (unsigned interface : device.Interfaces) {
            int result = System->Node(ELxNodeOp::Detach, device.Bus, device.Devnum, interface);
            if (result < 0 && result != -ENODATA)
                Report(Format("interface %u of ", interface) + device.Name + " could not be taken from its driver (" +
                       ErrnoText(result) + "): the driver may reset the device during the test");
        }
    }
    void Attach(const CLxTested& device) {
        for (unsigned interface : device.Interfaces) {
            int result = System->Node(ELxNodeOp::Attach, device.Bus, device.Devnum, interface);
            if (result < 0 && result != -EBUSY && result != -ENODEV)
                Report(Format("interface %u of ", interface) + device.Name +
                       " could not be given back to its driver (" + ErrnoText(result) +
                       "): unplug the device and plug it in again");
        }
    }

    // Whether a request may stop what lies in or below dir: nothing the
    // machine runs on is there, or the user confirmed it (once for each
    // scope until the next enumeration). Otherwise it is refused, and
    // stderr and how (the trace) say what was found.
    bool MayStop(const std::string& scope, const std::string& dir, const std::string& consequence, std::string& how) {
        constexpr size_t kNamed = 8;
        if (Confirmed.count(scope)) return true;
        std::vector<std::string> found = LxInUseBelow(Sysfs, Proc, dir);
        if (found.empty()) return true;
        std::string text = scope + " carries ";
        for (size_t i = 0; i < found.size() && i < kNamed; ++i) text += (i ? ", " : "") + found[i];
        if (found.size() > kNamed) text += Format(" and %u more", static_cast<unsigned>(found.size() - kNamed));
        if (BLConfirm(text + ". " + consequence)) {
            Confirmed.insert(scope);
            how += " confirmed: " + text;
            return true;
        }
        how += " refused: " + text;
        Report("refused, nothing sent: " + text);
        return false;
    }

    void AddTestedHub(const CLxPlace& hub) {
        for (const CLxPlace& place : TestedHubs)
            if (place.HubDir == hub.HubDir) return;
        TestedHubs.push_back(hub);
    }

    bool Answers(unsigned bus, unsigned devnum) {
        uint8_t status[2] = {};
        return Control(bus, devnum, {0x80, kGetStatus, 0, 0, 2}, status) >= 0;
    }
    // A port's wPortStatus, or -errno.
    int PortStatus(const CLxPlace& place) {
        uint8_t data[4] = {};
        int got = Control(place.Bus, place.Devnum,
                          {kHubClassOtherIn, kGetStatus, 0, static_cast<uint16_t>(place.Port), 4}, data);
        return got < 0 ? got : data[0] | data[1] << 8;
    }

    // Whether the hub switches the power of each port on its own: 1 yes,
    // 0 no, -errno when its descriptor could not be read. A USB 3 root hub
    // answers only a request for the whole SuperSpeed hub descriptor.
    int PerPortPower(const CLxPlace& place) {
        uint8_t descriptor[kSuperSpeedHubDescriptorSize] = {};
        uint16_t type = place.Super ? kSuperSpeedHubDescriptor : kHubDescriptor;
        int got = Control(place.Bus, place.Devnum,
                          {kHubClassDeviceIn, kGetDescriptor, static_cast<uint16_t>(type << 8), 0, sizeof descriptor},
                          descriptor);
        if (got < 0) return got;
        return got >= 5 && (descriptor[3] & 0x3) == 0x1 ? 1 : 0;
    }

    // Switches a port's power on through its disable switch, retried; a port
    // that stays off is reported and kept (and recorded) to be tried again
    // at the next enumeration and the next start.
    int PowerOn(const CLxPlace& port, const std::string& portDir) {
        int result = -EIO;
        for (unsigned attempt = 0; attempt < kBindTries && result != 0; ++attempt) {
            if (attempt > 0) System->Sleep(kBindRetryMs);
            result = System->WriteAttribute(portDir + "/disable", "0");
        }
        std::erase_if(Unpowered, [&port](const CLxPlace& off) { return SamePort(off, port); });
        if (result != 0) {
            Unpowered.push_back(port);
            Report("the power of " + PortName(port) + " could not be switched on again (" + ErrnoText(result) +
                   "); it is tried again at the next enumeration and start, or run as root:  echo 0 > " + portDir +
                   "/disable");
        }
        SaveRecord();
        return result;
    }

    // Ends a device's test mode by switching its port's power off and on
    // through the kernel's port switch, the SuperSpeed port of the same
    // connector with it so that VBUS really drops; 0 when a device is back
    // there.
    BLSTATUS PowerCycle(const CLxTested& device) {
        std::vector<std::pair<CLxPlace, std::string>> switches;
        std::string dir = LxPortDir(device.Port.HubDir, device.Port.HubName, device.Port.Port);
        if (!dir.empty()) {
            switches.push_back({device.Port, dir});
            CLxPlace peer;
            if (PlaceOfPortDir(dir + "/peer", peer)) switches.push_back({peer, dir + "/peer"});
        }
        int result = switches.empty() ? -ENOENT : 0;
        size_t off = 0;
        while (result == 0 && off < switches.size()) {
            result = System->WriteAttribute(switches[off].second + "/disable", "1");
            if (result == 0) ++off;
        }
        if (off > 0) System->Sleep(kPowerOffMs);
        for (size_t i = 0; i < off; ++i) {
            int on = PowerOn(switches[i].first, switches[i].second);
            if (result == 0) result = on;
        }
        BLSTATUS status = StatusOf(result);
        if (result == 0) {
            status = BL_LX_E_NOT_BACK;
            for (unsigned waited = 0; waited < kComeBackMs; waited += kPollMs) {
                CLxChild child = LxChildOnPort(device.Port.HubDir, device.Port.HubName, device.Port.Port);
                if (child.Present && child.Devnum != device.Devnum) {
                    status = 0;
                    break;
                }
                if (waited % 1000 == 0) BLProgress();
                System->Sleep(kPollMs);
            }
        }
        return CLxCall("EndTestMode", device.Name + " power-cycle").End(status);
    }

    // Only a warm reset takes a SuperSpeed port out of Compliance Mode (and
    // the controller out of its compliance handling); a port whose hub was
    // replugged or is gone has left it.
    void EndComplianceModes() {
        for (const CLxPlace& port : Compliance) {
            if (!SameHubThere(port)) continue;
            BLSTATUS status = StatusOf(
                Control(port.Bus, port.Devnum,
                        {kHubClassOther, kSetFeature, kBhPortReset, static_cast<uint16_t>(port.Port), 0}, nullptr));
            CLxCall("EndComplianceMode", PortName(port) + " warm reset").End(status);
            if (BLFailed(status))
                Report(PortName(port) + " could not be taken out of Compliance Mode by a warm reset (" +
                       ErrnoText(-(status & 0xFF)) + "); plug a device in there, or restart the machine");
        }
        Compliance.clear();
    }

    // Gives back what the tests since the last enumeration took, and ends
    // the test modes still on. Called before each enumeration and at clean-up.
    void GiveBack() {
        while (!Claimed.empty()) Unclaim(Claimed.back().first.Bus, Claimed.back().first.Devnum, Claimed.back().second);
        // Ports an earlier power cycle left off; one whose hub is gone is forgotten.
        for (const CLxPlace& port : std::vector<CLxPlace>(Unpowered)) {
            std::string dir = SameHubThere(port) ? LxPortDir(port.HubDir, port.HubName, port.Port) : "";
            if (!dir.empty()) CLxCall("PowerOn", PortName(port)).End(StatusOf(PowerOn(port, dir)));
            else std::erase_if(Unpowered, [&port](const CLxPlace& off) { return SamePort(off, port); });
        }
        EndComplianceModes();
        for (const CLxPlace& hub : TestedHubs) {
            // A hub leaves a port test mode only when it is reset; the reset
            // also wakes the ports suspended for the test.
            if (!SameHubThere(hub)) continue;  // the hub was replugged or is gone
            int result = System->Node(ELxNodeOp::Reset, hub.Bus, hub.Devnum, 0);
            CLxCall("EndTestMode", hub.HubName + " hub reset").End(StatusOf(result));
            if (result < 0)
                Report("hub " + hub.HubName + " could not be reset to end its port test mode (" + ErrnoText(result) +
                       "); unplug it or power-cycle it");
        }
        TestedHubs.clear();
        // Devices the hub reset set up anew got their drivers from the kernel.
        for (const CLxTested& device : Idled)
            if (LxChildOnPort(device.Port.HubDir, device.Port.HubName, device.Port.Port).Devnum == device.Devnum)
                Attach(device);
        Idled.clear();
        for (const CLxTested& device : TestedDevices) {
            CLxChild now = LxChildOnPort(device.Port.HubDir, device.Port.HubName, device.Port.Port);
            if (!now.Present || now.Devnum != device.Devnum) continue;  // unplugged or replugged meanwhile
            if (Answers(device.Bus, device.Devnum)) {
                // It never entered the test mode, or left it: its drivers come back.
                Attach(device);
                CLxCall("EndTestMode", device.Name + " answers").End(0);
                continue;
            }
            int switchable = PerPortPower(device.Port);
            if (switchable == 1 && PowerCycle(device) == 0) continue;
            Stuck.push_back(device);
            Report(device.Name + " stays in its test mode until it is unplugged or power-cycled: " +
                   (switchable == 1       ? std::string("switching its port's power did not bring it back")
                        : switchable == 0 ? std::string("the hub above it cannot switch the power of one port")
                                          : "the hub descriptor of " + device.Port.HubName + " could not be read (" +
                            ErrnoText(switchable) + ")"));
        }
        TestedDevices.clear();
        for (const CLxNodeKey& node : Held) System->Node(ELxNodeOp::Drop, node.Bus, node.Devnum, 0);
        Held.clear();
        Confirmed.clear();
        SaveRecord();
    }

    // True while a device left in a test mode still hangs there: it is not
    // listed, so the front ends ask for a power cycle.
    bool IsStuck(const CLxDeviceInfo& info) {
        for (auto it = Stuck.begin(); it != Stuck.end(); ++it) {
            if (it->Dir != info.Dir || it->Devnum != info.Devnum) continue;
            if (!Answers(info.Bus, info.Devnum)) return true;
            Attach(*it);
            Stuck.erase(it);
            return false;
        }
        return false;
    }
    // Forgets stuck devices that are gone from sysfs or were replaced.
    void ForgetReplaced() {
        std::erase_if(Stuck, [](const CLxTested& device) {
            CLxChild now = LxChildOnPort(device.Port.HubDir, device.Port.HubName, device.Port.Port);
            return !now.Present || now.Devnum != device.Devnum;
        });
    }

    // Clears the test mode, unbinds and binds the controller and waits until
    // its root hubs and as many devices as before are back. The bind is
    // tried whatever the unbind answered (a controller a failed bind left
    // unbound answers ENODEV) and retried; a controller that stays away is
    // reported on stderr with the command that binds it by hand, and stays
    // marked, so the next enumeration, clean-up or start tries again.
    BLSTATUS Rebind(CLxControllerInfo& controller) {
        CLxControllerState& state = States[controller.Name];
        if (state.DriverDir.empty()) state.DriverDir = controller.DriverDir;
        if (state.TestBus) {
            CLxSetup clear{kHubClassOther, kClearFeature, BL_PORT_TEST, static_cast<uint16_t>(state.TestPort), 0};
            // Fails on some controllers; the rebind resets the port anyway.
            Control(state.TestBus, state.TestDevnum, clear, nullptr);
        }
        System->WriteAttribute(controller.DriverDir + "/unbind", controller.Name);
        int result = -ENODEV;
        unsigned attempts = 0;
        while (attempts < kBindTries && result != 0) {
            if (attempts++ > 0) System->Sleep(kBindRetryMs);
            result = System->WriteAttribute(controller.DriverDir + "/bind", controller.Name);
        }
        BLSTATUS status = StatusOf(result);
        if (result == 0) {
            status = BL_LX_E_NOT_BACK;
            for (unsigned waited = 0; waited <= kRebindWaitMs; waited += kPollMs) {
                if (LxRescanController(controller)) {
                    status = LxScanDevices(controller).size() >= state.Devices ? 0 : BL_S_ENUMERATE_WARNING;
                    if (status == 0) break;
                }
                if (waited % 1000 == 0) BLProgress();
                System->Sleep(kPollMs);
            }
        }
        CLxCall("Rebind", controller.Name).End(status, Format(" after %u binds", attempts));
        if (status == 0 || status == BL_S_ENUMERATE_WARNING) {
            // With the root hubs back the test mode is over, devices missing or not.
            state = CLxControllerState{controller.DriverDir};
        } else {
            Report("controller " + controller.Name + " could not be bound to its driver again (" +
                   (result < 0 ? ErrnoText(result) : std::string("its root hubs did not come back")) +
                   "); its devices stay off until you run as root:  echo " + controller.Name + " > " +
                   controller.DriverDir + "/bind");
        }
        SaveRecord();
        return status;
    }

    // The record of what this run left behind, one line each (LxRecordLine):
    // controllers left in a test mode, ports left in Compliance Mode or
    // without power.
    void SaveRecord() {
        if (RecordPath.empty()) return;
        std::vector<CLxRecordEntry> entries;
        for (const auto& [name, state] : States)
            if (state.TestMode && state.DriverDir.rfind(Sysfs + "/", 0) == 0)
                entries.push_back({LX_RECORD_REBIND, state.DriverDir.substr(Sysfs.size() + 1), name});
        for (const CLxPlace& port : Compliance)
            entries.push_back({LX_RECORD_WARM_RESET, "", port.HubName, port.Devnum, port.Port});
        for (const CLxPlace& port : Unpowered)
            entries.push_back({LX_RECORD_POWER_ON, "", port.HubName, port.Devnum, port.Port});
        std::string text;
        for (const CLxRecordEntry& entry : entries) text += LxRecordLine(entry) + "\n";
        std::error_code error;
        if (text.empty()) {
            std::filesystem::remove(RecordPath, error);
            return;
        }
        std::filesystem::create_directories(std::filesystem::path(RecordPath).parent_path(), error);
        std::string temporary = RecordPath + ".new";
        std::ofstream file(temporary, std::ios::trunc);
        file << text;
        file.close();
        if (!file || (std::filesystem::rename(temporary, RecordPath, error), error))
            Report("cannot write " + RecordPath + ": a crash now would leave no note of what to set right");
    }

    // Sets right what the record names, each only where it still holds: a
    // controller that is still stopped is rebound, a port still in
    // Compliance Mode (or still empty) gets its warm reset, a port still
    // switched off gets its power back. Lines that fit no form are ignored.
    void HonourRecord() {
        if (RecordPath.empty()) return;
        std::ifstream file(RecordPath);
        std::string text(4096, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(file.gcount()));
        for (const CLxRecordEntry& entry : LxParseRecord(text)) {
            if (entry.Kind == LX_RECORD_REBIND) {
                RebindRecorded(entry);
                continue;
            }
            CLxPlace port;
            if (!FindHub(entry.Name, entry.Devnum, port)) continue;  // replugged or gone: nothing is left there
            port.Port = entry.Port;
            std::string dir = LxPortDir(port.HubDir, port.HubName, port.Port);
            if (entry.Kind == LX_RECORD_POWER_ON && !dir.empty() && LxReadAttribute(dir + "/disable") == "1") {
                Report(PortName(port) + " was left without power by an earlier run; switching it on");
                CLxCall("PowerOn", PortName(port)).End(StatusOf(PowerOn(port, dir)));
            }
            bool empty = !LxChildOnPort(port.HubDir, port.HubName, port.Port).Present;
            if (entry.Kind == LX_RECORD_WARM_RESET && (empty || LinkState(port) == BL_LINK_STATE_COMPLIANCE)) {
                Report(PortName(port) + " was left in Compliance Mode by an earlier run; resetting it");
                Compliance.push_back(port);
                EndComplianceModes();
            }
        }
        SaveRecord();
    }

    // A controller the record names is rebound only while it is still
    // stopped: unbound, or bound to its driver with no root port powered or
    // with devices none of which answers (a controller without port power
    // switching keeps its ports powered in a test mode). One that the user
    // brought back, or bound to another driver, is left alone.
    void RebindRecorded(const CLxRecordEntry& entry) {
        CLxControllerInfo controller;
        controller.Name = entry.Name;
        controller.DriverDir = Sysfs + "/" + entry.Driver;
        std::string running;
        if (LxRescanController(controller)) {
            for (const CLxRootHub* hub : {&controller.Usb2, &controller.Usb3}) {
                for (unsigned port = 1; hub->Present && running.empty() && port <= hub->Ports; ++port) {
                    CLxPlace place{hub->Bus, hub->Devnum, port, hub->Dir, "", hub == &controller.Usb3};
                    int status = PortStatus(place);
                    if (status >= 0 && (status & (place.Super ? kSuperSpeedPortPower : kPortPower)))
                        running = Format("root hub bus %u has port %u powered", hub->Bus, port);
                }
            }
            std::vector<CLxDeviceInfo> devices = LxScanDevices(controller);
            bool answers = devices.empty();
            for (const CLxDeviceInfo& device : devices) answers = answers || Answers(device.Bus, device.Devnum);
            if (!answers) running.clear();
        } else {
            std::string bus = std::filesystem::path(controller.DriverDir).parent_path().parent_path().string();
            std::string driver = LinkName(bus + "/devices/" + controller.Name + "/driver");
            if (!driver.empty()) running = "it is bound to " + driver + " now";
        }
        if (!running.empty()) {
            Report("controller " + controller.Name + " is named in " + RecordPath + " as left in a test mode, but " +
                   running + ": left as it is");
            return;
        }
        Report("controller " + controller.Name +
               " was left in a test mode by an earlier run that did not end normally; binding it again");
        CLxControllerState& state = States[controller.Name];
        state.DriverDir = controller.DriverDir;
        state.TestMode = true;
        Rebind(controller);
    }

    // The hub of that name and device number, as a place without a port.
    bool FindHub(const std::string& name, unsigned devnum, CLxPlace& place) {
        for (const CLxControllerInfo& controller : LxScanControllers(Sysfs)) {
            for (const CLxRootHub* hub : {&controller.Usb2, &controller.Usb3})
                if (hub->Present && HubNameOf(hub->Dir) == name && hub->Devnum == devnum) {
                    place = {hub->Bus, hub->Devnum, 0, hub->Dir, name, hub == &controller.Usb3};
                    return true;
                }
            for (const CLxDeviceInfo& hub : LxScanDevices(controller))
                if (hub.Ports && hub.Name == name && hub.Devnum == devnum) {
                    place = {hub.Bus, hub.Devnum, 0, hub.Dir, name, hub.Speed >= UsbSuperSpeed};
                    return true;
                }
        }
        return false;
    }
    // A SuperSpeed port's link state (PORT_LINK_STATE, bits 5-8), 0xFF when
    // its status cannot be read.
    unsigned LinkState(const CLxPlace& port) {
        int status = PortStatus(port);
        return status < 0 ? 0xFF : (static_cast<unsigned>(status) >> 5) & 0xF;
    }
};

class CLxHost;
class CLxDevice;

// Root ports and hub ports: class requests to a port of a hub, the root hub
// for a root port.
template <class Base>
class TLxPort : public Base {
public:
    // The connection comes from the kernel's view (a device in sysfs on the
    // port) as well as the port's own status, and the connect change is this
    // port object's own: what changed since the last acknowledgement. The
    // hub's change bits belong to the hub driver and are left alone.
    BLSTATUS GetPortStatus(uint32_t* status) override {
        uint8_t data[4] = {};
        CLxPlace place;
        BLSTATUS result =
            !status ? BL_LX_E_ERRNO | EINVAL : Request({kHubClassOtherIn, kGetStatus, 0, 0, 4}, data, &place);
        uint32_t word = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
        uint32_t value = 0;
        if (!BLFailed(result)) {
            // The port's own bit also counts a device the kernel has not set
            // up (yet), but not one the kernel saw leave.
            bool present = LxChildOnPort(place.HubDir, place.HubName, place.Port).Present;
            bool changed = present != m_seen;
            bool connected = present || ((word & kPortConnection) && !changed);
            m_present = present;
            value = IsRoot() ? (connected ? 1u : 0u) | (changed ? 2u : 0u)
                             : (word & ~0x00010001u) | (connected ? 1u : 0u) | (changed ? 1u << 16 : 0u);
            *status = value;
        }
        return CLxCall("GetPortStatus", Target()).End(result, BLFailed(result) ? "" : Format(" 0x%08X", value));
    }
    BLSTATUS SetPortFeature(uint16_t feature, uint16_t selector, uint32_t reserved) override {
        std::string how;
        BLSTATUS result = 0;
        if (feature == BL_PORT_SUSPEND) {
            bool super = Super(false);
            result = super ? LinkState(kLinkU3)
                           : Request({kHubClassOther, kSetFeature, feature, static_cast<uint16_t>(selector << 8), 0});
            if (super) how = " as link state U3";
            if (!BLFailed(result)) ReportBoundDrivers();
        } else if (feature == BL_PORT_RESET) {
            result = Reset(how);
        } else if (feature == BL_PORT_TEST) {
            result = TestMode(selector, how);
        } else {
            result = Request({kHubClassOther, kSetFeature, feature, static_cast<uint16_t>(selector << 8), 0});
        }
        return CLxCall("SetPortFeature", Target()).Args(" %u %u %u", feature, selector, reserved).End(result, how);
    }
    BLSTATUS ClearPortFeature(uint16_t feature, uint32_t reserved) override {
        std::string how;
        BLSTATUS result = 0;
        if (feature == BL_C_PORT_CONNECTION) {
            // The hub driver needs the hub's own change bit to notice the
            // device; only this port object's view is acknowledged.
            m_seen = m_present;
            how = " acknowledged, not sent";
        } else if (feature == BL_PORT_SUSPEND && Super(false)) {
            result = LinkState(kLinkU0);
            how = " as link state U0";
        } else {
            result = Request({kHubClassOther, kClearFeature, feature, 0, 0});
        }
        return CLxCall("ClearPortFeature", Target()).Args(" %u %u", feature, reserved).End(result, how);
    }
    // Compliance Mode exists on SuperSpeed ports only. Some controllers take
    // it at once, others only at the next receiver detection time-out (the
    // kernel then accepts the request and does nothing); the port's link
    // state afterwards says which, and the answer says what will happen.
    BLSTATUS SetPortLinkFeature(uint16_t feature, uint16_t value, uint32_t reserved, void*) override {
        auto traced = [&](BLSTATUS status, const std::string& how = "") {
            return CLxCall("SetPortLinkFeature", Target()).Args(" %u %u %u", feature, value, reserved).End(status, how);
        };
        if (!Super(false)) {
            Report(Target() + " is a USB 2.0 port: link states and Compliance Mode exist on SuperSpeed ports only");
            return traced(BL_LX_E_REFUSED);
        }
        if (Virtual() && value == BL_LINK_STATE_COMPLIANCE) {
            Report(Target() +
                   " is a port of the USB/IP virtual controller, which takes Compliance Mode without "
                   "entering it: compliance needs a real controller's port");
            return traced(BL_LX_E_REFUSED);
        }
        BLSTATUS result = Request({kHubClassOther, kSetFeature, feature, static_cast<uint16_t>(value << 8), 0});
        std::string how;
        if (!BLFailed(result) && feature == BL_PORT_LINK_STATE && value == BL_LINK_STATE_COMPLIANCE) {
            // The port stays in Compliance Mode until a warm reset: the next
            // enumeration and clean-up send one, and the record names it.
            CLxPlace place;
            Place(place);
            if (std::none_of(m_context->Compliance.begin(), m_context->Compliance.end(),
                             [&place](const CLxPlace& port) { return SamePort(port, place); }))
                m_context->Compliance.push_back(place);
            m_context->SaveRecord();
            unsigned state = m_context->LinkState(place);
            if (state != BL_LINK_STATE_COMPLIANCE) {
                result = BL_LX_I_COMPLIANCE_ON_TIMEOUT;
                how = Format(" link state %u", state);
                Report(Target() +
                       " is not in Compliance Mode yet: this controller enters it by itself when "
                       "receiver detection times out on the empty port (connect the test fixture)");
            }
        }
        return traced(result, how);
    }
    BLSTATUS ResumePort() override {
        std::string how;
        BLSTATUS result = 0;
        if (Super(false)) {
            result = LinkState(kLinkU0);
            how = " as link state U0";
        } else {
            result = Request({kHubClassOther, kClearFeature, BL_PORT_SUSPEND, 0, 0});
        }
        return CLxCall("ResumePort", Target()).End(result, how);
    }

protected:
    // The hub that carries the port and the port's number on it; false when
    // the hub is gone.
    virtual bool Place(CLxPlace& place) = 0;
    virtual bool IsRoot() const = 0;
    virtual std::string Target() const = 0;
    virtual bool Super(bool trace) = 0;
    virtual bool Virtual() const = 0;  // a port of the USB/IP virtual controller
    // A port test mode: the request itself, or why it cannot be done.
    virtual BLSTATUS TestMode(uint16_t selector, std::string& how) = 0;

    void Report(const std::string& line) { m_context->Report(line); }

    // A device suspended through its port keeps its interface drivers, and
    // a driver that wants the device wakes it (or resets the port).
    void ReportBoundDrivers() {
        CLxPlace place;
        CLxChild child = Place(place) ? LxChildOnPort(place.HubDir, place.HubName, place.Port) : CLxChild{};
        std::vector<unsigned> interfaces;
        std::vector<std::string> drivers;
        if (child.Present) LxReadInterfaces(child.Dir, interfaces, drivers);
        std::string bound;
        for (const std::string& driver : drivers)
            if (!driver.empty() && bound.find(driver) == std::string::npos)
                bound += (bound.empty() ? "" : ", ") + driver;
        if (!bound.empty())
            Report(HubNameOf(child.Dir) + " is suspended with its drivers bound (" + bound +
                   "): they may wake it up or reset its port before the measurement ends");
    }

    // A request to the port: the port number goes into the low byte of
    // wIndex, beside what the caller put in the high byte. The hub is held
    // open from now until the next enumeration.
    BLSTATUS Request(CLxSetup setup, uint8_t* data = nullptr, CLxPlace* where = nullptr) {
        CLxPlace place;
        if (!Place(place)) return BL_LX_E_NOT_FOUND;
        if (where) *where = place;
        m_context->Hold(place.Bus, place.Devnum);
        setup.Index = static_cast<uint16_t>(setup.Index | (place.Port & 0xFF));
        return StatusOf(m_context->Control(place.Bus, place.Devnum, setup, data));
    }
    BLSTATUS LinkState(uint16_t state) {
        return Request({kHubClassOther, kSetFeature, BL_PORT_LINK_STATE, static_cast<uint16_t>(state << 8), 0});
    }
    // A device on the port is reset by the kernel (USBDEVFS_RESET): the bus
    // sees the same port reset, and the kernel sets the device up again
    // where a raw port reset would leave it at address 0 behind usbcore's
    // back. Only an empty port gets the raw PORT_RESET.
    BLSTATUS Reset(std::string& how) {
        CLxPlace place;
        if (!Place(place)) return BL_LX_E_NOT_FOUND;
        CLxChild child = LxChildOnPort(place.HubDir, place.HubName, place.Port);
        if (!child.Present) return Request({kHubClassOther, kSetFeature, BL_PORT_RESET, 0, 0});
        how = Format(" as device reset of %u-%u", child.Bus, child.Devnum);
        return StatusOf(m_context->System->Node(ELxNodeOp::Reset, child.Bus, child.Devnum, 0));
    }
    void ResetBaseline() {
        CLxPlace place;
        m_seen = m_present = Place(place) && LxChildOnPort(place.HubDir, place.HubName, place.Port).Present;
    }

    CLxContext* m_context = nullptr;
    bool m_seen = false;     // a device was on the port at the last acknowledgement
    bool m_present = false;  // ... at the last status read
};

class CLxRootPort : public TLxPort<CHostPort> {
public:
    CLxRootPort(CLxContext& context, CLxHost& host, unsigned number) : m_host(host), m_number(number) {
        m_context = &context;
    }
    bool IsSuperSpeedPort() override { return Super(true); }
    // The kernel quiesces the controller's ports itself when a test mode starts.
    BLSTATUS QuiescePort() override { return CLxCall("QuiescePort", Target()).End(0); }
    void Rescanned() { ResetBaseline(); }

protected:
    bool Place(CLxPlace& place) override;
    bool IsRoot() const override { return true; }
    std::string Target() const override { return Format("root:%u", m_number); }
    bool Super(bool trace) override;
    bool Virtual() const override;
    BLSTATUS TestMode(uint16_t selector, std::string& how) override;

private:
    CLxHost& m_host;
    unsigned m_number;
};

class CLxHubPort : public TLxPort<CHubPort> {
public:
    CLxHubPort(CLxContext& context, CLxDevice& hub, unsigned number) : m_hub(hub), m_number(number) {
        m_context = &context;
        ResetBaseline();
    }
    bool IsSuperSpeedPort() override { return Super(true); }
    // A USB 2.0 hub takes a port test mode only while its other enabled
    // ports are suspended: suspends the port when it is enabled and awake.
    // The device there lets go of its drivers first and its port is
    // claimed, so that usbhid or usb-storage cannot reset a port of the hub
    // during the test; the hub reset that ends the test mode wakes the
    // ports, and the next enumeration gives the drivers back.
    BLSTATUS IdlePort() override {
        if (Super(false)) {
            // A SuperSpeed hub has no port test modes to prepare for; its
            // devices are left running.
            return CLxCall("IdlePort", Target()).End(0, " nothing to do on a SuperSpeed hub");
        }
        std::string how;
        if (!MayStopHub(how)) {
            return CLxCall("IdlePort", Target()).End(BL_LX_E_IN_USE, how);
        }
        uint8_t data[4] = {};
        BLSTATUS result = Request({kHubClassOtherIn, kGetStatus, 0, 0, 4}, data);
        uint16_t status = static_cast<uint16_t>(data[0] | data[1] << 8);
        if (!BLFailed(result) && (status & kPortEnable) && !(status & kPortSuspend)) {
            TakeDeviceFromDrivers();
            result = Request({kHubClassOther, kSetFeature, BL_PORT_SUSPEND, 0, 0});
        }
        return CLxCall("IdlePort", Target()).End(result, how);
    }

protected:
    bool Place(CLxPlace& place) override;
    bool IsRoot() const override { return false; }
    std::string Target() const override;
    bool Super(bool trace) override;
    bool Virtual() const override { return false; }
    BLSTATUS TestMode(uint16_t selector, std::string& how) override;

private:
    bool MayStopHub(std::string& how);
    void TakeDeviceFromDrivers();

    CLxDevice& m_hub;
    unsigned m_number;
};

// A device or hub of the selected controller's last scan.
class CLxDevice : public CHubDevice {
public:
    CLxDevice(CLxContext& context, const CLxDeviceInfo& info, const CLxPlace& upstream, uint8_t address,
              uint8_t parentAddress, uint8_t parentPort, uint32_t tag)
        : m_context(context), m_info(info), m_upstream(upstream), m_address(address), m_parentAddress(parentAddress) {
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
        return CLxCall("GetVidPidSerialNumber", Target())
            .End(result, result ? "" : Format(" 0x%04X 0x%04X 0x%04X", m_info.Vid, m_info.Pid, folded));
    }
    BLSTATUS GetDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* buffer, uint32_t length) override {
        uint16_t wanted = static_cast<uint16_t>(std::min<uint32_t>(length, 0xFFFF));
        BLSTATUS result = buffer
            ? Request({0x80, kGetDescriptor, static_cast<uint16_t>(type << 8 | index), language, wanted}, buffer)
            : BL_LX_E_ERRNO | EINVAL;
        return CLxCall("GetDescriptor", Target())
            .Args(" %u %u %u", type, index, language)
            .Args(" %u", length)
            .End(result);
    }
    BLSTATUS SetAddress(uint8_t address) override {
        m_context.Report(Target() +
                         ": SET ADDRESS cannot be sent through usbfs: the xHCI controller assigns "
                         "addresses itself");
        return CLxCall("SetAddress", Target()).Args(" %u", address).End(BL_LX_E_UNSUPPORTED);
    }
    // The device's drivers let go first and its port is claimed, so that no
    // driver resets it during the test (usbhid does after about a second,
    // the hub driver after repeated errors) and nothing configures it; its
    // node stays open, so runtime PM cannot suspend it or its upstream port
    // during the measurement. The next enumeration ends the test mode and
    // gives them back.
    BLSTATUS SetTestMode(tagBL_TEST_MODE_SELECTOR selector) override {
        std::string how, scope = (IsHub() ? "hub " : "device ") + m_info.Name;
        BLSTATUS result = BL_LX_E_IN_USE;
        if (m_context.MayStop(scope, m_info.Dir,
                              "A test mode takes " + scope +
                                  " and everything below it from their drivers until the next enumeration.",
                              how)) {
            CLxTested tested{m_info.Name, m_info.Dir, m_info.Bus, m_info.Devnum, m_upstream, m_info.Interfaces};
            m_context.Hold(m_info.Bus, m_info.Devnum);
            m_context.Claim(m_upstream.Bus, m_upstream.Devnum, m_upstream.Port);
            m_context.Detach(tested);
            result = Request({0x00, kSetFeature, kTestMode, static_cast<uint16_t>((selector & 0xFF) << 8), 0});
            if (BLFailed(result)) {
                m_context.Attach(tested);
                m_context.Unclaim(m_upstream.Bus, m_upstream.Devnum, m_upstream.Port);
            } else {
                m_context.TestedDevices.push_back(tested);
            }
        }
        return CLxCall("SetTestMode", Target()).Args(" %u", static_cast<unsigned>(selector)).End(result, how);
    }
    BLSTATUS EnableRemoteWakeup() override {
        return CLxCall("EnableRemoteWakeup", Target()).End(Request({0x00, kSetFeature, kDeviceRemoteWakeup, 0, 0}));
    }
    BLSTATUS DisableRemoteWakeup() override {
        return CLxCall("DisableRemoteWakeup", Target()).End(Request({0x00, kClearFeature, kDeviceRemoteWakeup, 0, 0}));
    }
    BLSTATUS DoControlTransferSingleStep(uint8_t*, uint32_t length, tagSINGLE_STEP step, void*, void*) override {
        m_context.Report(Target() +
                         ": single-step control transfers cannot be done through usbfs, which runs a "
                         "transfer only as a whole");
        return CLxCall("DoControlTransferSingleStep", Target())
            .Args(" %u %u", length, static_cast<unsigned>(step))
            .End(BL_LX_E_UNSUPPORTED);
    }
    CHubPort* GetHubPort(uint8_t port) override {
        CHubPort* found = port >= 1 && port <= m_ports.size() ? m_ports[port - 1].get() : nullptr;
        return CLxCall("GetHubPort", Target())
            .Args(" %u", port)
            .Give(found, found ? Target() + Format(":%u", port) : "null");
    }

private:
    BLSTATUS Request(const CLxSetup& setup, uint8_t* data = nullptr) {
        return StatusOf(m_context.Control(m_info.Bus, m_info.Devnum, setup, data));
    }
    BLSTATUS Record(const char* method, uint8_t* out, uint8_t value) {
        BLSTATUS result = out ? 0 : BL_LX_E_ERRNO | EINVAL;
        if (out) *out = value;
        return CLxCall(method, Target()).End(result, out ? Format(" %u", value) : "");
    }

    CLxContext& m_context;
    CLxDeviceInfo m_info;
    CLxPlace m_upstream;  // the port it hangs on
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

    // Gives back what the last tests took and ends their test modes,
    // rebinds the controller when a test mode stopped it, then lists its
    // devices afresh with addresses 1, 2, 3 ... in scan order.
    BLSTATUS Enumerate() {
        m_context.GiveBack();
        BLSTATUS status = 0;
        if (State().TestMode) status = m_context.Rebind(m_info);
        else if (!LxRescanController(m_info)) status = BL_LX_E_NOT_FOUND;
        Scan();
        return status;
    }

    // Devices left in a test mode that still hang there unanswering are
    // left out, with everything below them.
    void Scan() {
        m_devices.clear();
        m_byAddress.fill(nullptr);
        m_scanned = true;
        m_context.ForgetReplaced();
        std::vector<CLxDeviceInfo> infos = LxScanDevices(m_info);
        std::vector<uint8_t> addressOf(infos.size(), 0);
        for (size_t i = 0; i < infos.size() && m_devices.size() < 254; ++i) {
            const CLxDeviceInfo& info = infos[i];
            // Parents come first, so a parent's address is known here.
            bool parentListed = info.Parent < 0 || addressOf[static_cast<size_t>(info.Parent)] != 0;
            if (!parentListed || m_context.IsStuck(info)) continue;
            uint8_t address = static_cast<uint8_t>(m_devices.size() + 1);
            addressOf[i] = address;
            uint8_t parentAddress = info.Parent < 0 ? 0 : addressOf[static_cast<size_t>(info.Parent)];
            unsigned port = info.Port + (info.Parent < 0 && info.OnUsb3 ? m_info.Usb2.Ports : 0);
            uint32_t tag = LxHash((info.OnUsb3 ? "ss:" : "hs:") + info.Path);
            CLxPlace upstream;
            if (info.Parent < 0) {
                Place(port, upstream);
            } else {
                const CLxDeviceInfo& parent = infos[static_cast<size_t>(info.Parent)];
                upstream = {parent.Bus, parent.Devnum, info.Port,
                            parent.Dir, parent.Name,   parent.Speed >= UsbSuperSpeed};
            }
            m_devices.push_back(std::make_unique<CLxDevice>(m_context, info, upstream, address, parentAddress,
                                                            static_cast<uint8_t>(std::min(port, 255u)), tag));
            m_byAddress[address] = m_devices.back().get();
        }
        for (auto& rootPort : m_ports) rootPort->Rescanned();
        for (const CLxDeviceInfo& info : infos) NoteFixture(info, infos);
    }

    // A test fixture that the kernel's ehset driver binds puts the port it
    // hangs on into a test mode by itself (product ids 0x0101 to 0x0104:
    // SE0_NAK, J, K, Packet): on a root port the kernel stops the whole
    // controller, which is then rebound like one voltaris stopped; a hub
    // is reset at the next enumeration. Said once for each fixture plugged in.
    void NoteFixture(const CLxDeviceInfo& info, const std::vector<CLxDeviceInfo>& infos) {
        constexpr uint16_t kFixtureVendor = 0x1a0a, kFirstTestMode = 0x0101, kLastTestMode = 0x0104;
        if (info.Vid != kFixtureVendor ||
            std::find(info.Drivers.begin(), info.Drivers.end(), "usb_ehset_test") == info.Drivers.end() ||
            !m_context.Fixtures.insert({info.Dir, info.Devnum}).second)
            return;
        bool testMode = info.Pid >= kFirstTestMode && info.Pid <= kLastTestMode;
        std::string effect = "runs its own test sequence on the port it hangs on";
        if (testMode && info.Parent < 0) {
            unsigned port = info.Port + (info.OnUsb3 ? m_info.Usb2.Ports : 0);
            TestModeRequested(port, 0, true, true);
            effect = Format("put root:%u into a test mode, which stopped controller ", port) + m_info.Name +
                ": it is rebound at the next enumeration";
        } else if (testMode) {
            const CLxDeviceInfo& hub = infos[static_cast<size_t>(info.Parent)];
            m_context.AddTestedHub({hub.Bus, hub.Devnum, hub.Port, hub.Dir, hub.Name, false});
            effect = Format("put port %u of hub ", info.Port) + hub.Name +
                " into a test mode: the hub is reset at the next enumeration";
        }
        m_context.Report(Format("the test fixture %04x:%04x at ", info.Vid, info.Pid) + info.Name +
                         " is bound to the kernel's ehset driver (usb_ehset_test), which " + effect +
                         "; unplug the fixture or unload usb_ehset_test before testing here");
    }

    // A root port's root hub and its number there.
    bool Place(unsigned number, CLxPlace& place) const {
        bool usb2 = number <= m_info.Usb2.Ports;
        const CLxRootHub& hub = usb2 ? m_info.Usb2 : m_info.Usb3;
        if (!hub.Present) return false;
        place = {hub.Bus,
                 hub.Devnum,
                 usb2 ? number : number - m_info.Usb2.Ports,
                 hub.Dir,
                 hub.Dir.substr(hub.Dir.rfind('/') + 1),
                 !usb2};
        return true;
    }
    bool IsSuperSpeed(unsigned number) const { return number > m_info.Usb2.Ports; }

    // The USB 2.0 root port that shares a connector with a SuperSpeed root
    // port (its sysfs peer), as a root port number; 0 when there is none.
    unsigned Usb2Peer(unsigned number) const {
        CLxPlace place;
        if (!IsSuperSpeed(number) || !Place(number, place) || !m_info.Usb2.Present) return 0;
        std::string peerHub;
        unsigned peer = LxPeerPort(LxPortDir(place.HubDir, place.HubName, place.Port), peerHub);
        std::string usb2Name = m_info.Usb2.Dir.substr(m_info.Usb2.Dir.rfind('/') + 1);
        return peerHub == usb2Name && peer >= 1 && peer <= m_info.Usb2.Ports ? peer : 0;
    }

    // The kernel halts the controller when a root port enters a test mode,
    // and sets it running again for Test_Force_Enable. A refused test mode
    // halts nothing: the model runs again unless an earlier test mode holds.
    // A failed one may have stopped it all the same: it is then rebound.
    void TestModeRequested(unsigned number, uint16_t selector, bool accepted, bool stopped) {
        CLxControllerState& state = State();
        if (stopped) {
            state.TestMode = true;
            CLxPlace place;
            if (Place(number, place)) {
                state.TestBus = place.Bus;
                state.TestDevnum = place.Devnum;
                state.TestPort = place.Port;
            }
            state.Devices = std::max(state.Devices, m_devices.size());
            m_context.SaveRecord();
        }
        bool running = accepted ? selector == 5 : !state.TestMode;
        state.Command = (state.Command & ~1u) | (running ? 1u : 0u);
        state.Status = (state.Status & ~1u) | (running ? 0u : 1u);
    }

    const char* GetHostID() override { return CLxCall("GetHostID", Target()).Give(m_info.Id.c_str(), m_info.Id); }
    uint8_t GetNumberHostPorts() override {
        uint8_t count = static_cast<uint8_t>(m_ports.size());
        return CLxCall("GetNumberHostPorts", Target()).Give(count, Format("%u", count));
    }
    CHostPort* GetHostPort(uint32_t port) override {
        CHostPort* found = port >= 1 && port <= m_ports.size() ? m_ports[port - 1].get() : nullptr;
        return CLxCall("GetHostPort", Target()).Args(" %u", port).Give(found, found ? Format("root:%u", port) : "null");
    }
    CLxRootPort* RootPort(unsigned number) const {
        return number >= 1 && number <= m_ports.size() ? m_ports[number - 1].get() : nullptr;
    }
    // USBCMD and USBSTS of the model: clearing Run/Stop halts, setting it runs.
    BLSTATUS ReadRegister(tagRegSelector reg, uint32_t* value) override {
        const CLxControllerState& state = State();
        BLSTATUS result = value && reg.Block == 1 && (reg.Offset == 0 || reg.Offset == 4) ? 0 : BL_LX_E_UNSUPPORTED;
        uint32_t read = reg.Offset == 0 ? state.Command : state.Status;
        if (result == 0) *value = read;
        return CLxCall("ReadRegister", Target())
            .Args(" %u %u", reg.Block, reg.Offset)
            .End(result, result ? "" : Format(" 0x%08X", read));
    }
    BLSTATUS WriteRegister(tagRegSelector reg, uint32_t value) override {
        CLxControllerState& state = State();
        BLSTATUS result = reg.Block == 1 && reg.Offset == 0 ? 0 : BL_LX_E_UNSUPPORTED;
        if (result == 0) {
            state.Command = value;
            state.Status = (state.Status & ~1u) | ((value & 1) ? 0u : 1u);
        }
        return CLxCall("WriteRegister", Target()).Args(" %u %u 0x%08X", reg.Block, reg.Offset, value).End(result);
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

bool CLxRootPort::Super(bool trace) {
    bool super = m_host.IsSuperSpeed(m_number);
    return trace ? CLxCall("IsSuperSpeedPort", Target()).Give(super, Format("%u", super)) : super;
}
bool CLxRootPort::Place(CLxPlace& place) { return m_host.Place(m_number, place); }
bool CLxRootPort::Virtual() const { return m_host.Info().Virtual; }
// USB 2.0 test modes happen on a connector's USB 2.0 lines, so on a
// SuperSpeed root port (which the controller refuses them on) they go to
// the USB 2.0 peer port of the same connector. The kernel stops the whole
// controller for one, so it is asked first when that would stop what the
// machine runs on.
BLSTATUS CLxRootPort::TestMode(uint16_t selector, std::string& how) {
    const CLxControllerInfo& controller = m_host.Info();
    CLxRootPort* port = this;
    BLSTATUS refused = 0;
    if (controller.Virtual) {
        // vhci_hcd sets a status bit for any port feature, and the rebind
        // that follows a root-port test mode would drop every USB/IP device.
        Report(Target() +
               " is a port of the USB/IP virtual controller, which takes a port test mode without "
               "doing it: test modes need a real controller's port");
        refused = BL_LX_E_REFUSED;
    } else if (m_host.IsSuperSpeed(m_number)) {
        unsigned peer = m_host.Usb2Peer(m_number);
        port = peer ? m_host.RootPort(peer) : nullptr;
        if (!port) {
            Report(Target() +
                   " is a SuperSpeed port without a USB 2.0 peer: USB 2.0 test modes need the "
                   "connector's USB 2.0 port");
            refused = BL_LX_E_REFUSED;
        } else {
            how = Format(" on USB 2.0 peer root:%u", peer);
        }
    }
    if (!refused &&
        !m_context->MayStop("controller " + controller.Name, controller.DriverDir + "/" + controller.Name,
                            "A test mode on " + Target() + " stops the whole controller until the next enumeration.",
                            how))
        refused = BL_LX_E_IN_USE;
    if (refused) {
        m_host.TestModeRequested(m_number, selector, false, false);
        return refused;
    }
    BLSTATUS result =
        port->Request({kHubClassOther, kSetFeature, BL_PORT_TEST, static_cast<uint16_t>(selector << 8), 0});
    // The kernel refuses a test mode it cannot start with a stall, having
    // done nothing. A time-out comes from the controller's halt, after the
    // kernel had already powered every port off: that controller is rebound
    // like one in a test mode.
    bool stopped = !BLFailed(result) || result == (BL_LX_E_ERRNO | ETIMEDOUT);
    if (BLFailed(result) && stopped)
        Report(Target() + ": the kernel failed to enter the test mode (" + ErrnoText(-(result & 0xFF)) +
               ") after it had begun to stop controller " + controller.Name +
               "; it is rebound at the next enumeration");
    m_host.TestModeRequested(port->m_number, selector, !BLFailed(result), stopped);
    if (port != this && !BLFailed(result))
        BLNote(Format("The test mode went to root:%u, the USB 2.0 port of root:%u's connector.", port->m_number,
                      m_number));
    return result;
}

bool CLxHubPort::Super(bool trace) {
    bool super = m_hub.Info().Speed >= UsbSuperSpeed;
    return trace ? CLxCall("IsSuperSpeedPort", Target()).Give(super, Format("%u", super)) : super;
}
bool CLxHubPort::Place(CLxPlace& place) {
    const CLxDeviceInfo& hub = m_hub.Info();
    place = {hub.Bus, hub.Devnum, m_number, hub.Dir, hub.Name, hub.Speed >= UsbSuperSpeed};
    return true;
}
std::string CLxHubPort::Target() const { return m_hub.Target() + Format(":%u", m_number); }
bool CLxHubPort::MayStopHub(std::string& how) {
    const CLxDeviceInfo& hub = m_hub.Info();
    return m_context->MayStop("hub " + hub.Name, hub.Dir,
                              "A test mode on a port of hub " + hub.Name +
                                  " suspends the devices on its other ports and takes them from their drivers until "
                                  "the next enumeration, which resets the hub.",
                              how);
}
void CLxHubPort::TakeDeviceFromDrivers() {
    const CLxDeviceInfo& hub = m_hub.Info();
    CLxChild child = LxChildOnPort(hub.Dir, hub.Name, m_number);
    if (!child.Present) return;
    CLxTested device{HubNameOf(child.Dir),
                     child.Dir,
                     child.Bus,
                     child.Devnum,
                     {hub.Bus, hub.Devnum, m_number, hub.Dir, hub.Name, false},
                     {}};
    std::vector<std::string> drivers;
    LxReadInterfaces(child.Dir, device.Interfaces, drivers);
    m_context->Claim(hub.Bus, hub.Devnum, m_number);
    m_context->Detach(device);
    m_context->Idled.push_back(device);
}
// The port is claimed from the hub driver for the test, and the hub is
// reset at the next enumeration: only a reset ends a hub port's test mode.
BLSTATUS CLxHubPort::TestMode(uint16_t selector, std::string& how) {
    if (Super(false)) {
        Report(Target() +
               " is a port of a SuperSpeed hub, which has no USB 2.0 test modes: test the port "
               "through the USB 2.0 hub of the same hub");
        return BL_LX_E_REFUSED;
    }
    if (!MayStopHub(how)) return BL_LX_E_IN_USE;
    const CLxDeviceInfo& hub = m_hub.Info();
    m_context->Claim(hub.Bus, hub.Devnum, m_number);
    BLSTATUS result = Request({kHubClassOther, kSetFeature, BL_PORT_TEST, static_cast<uint16_t>(selector << 8), 0});
    if (BLFailed(result)) {
        m_context->Unclaim(hub.Bus, hub.Devnum, m_number);
        return result;
    }
    m_context->AddTestedHub({hub.Bus, hub.Devnum, hub.Port, hub.Dir, hub.Name, false});
    return result;
}

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
        return CLxCall("SelectStack", "bench").Args(" %u", static_cast<unsigned>(stack)).End(result);
    }
    BLSTATUS Enumerate() override {
        BLSTATUS result = m_current ? m_current->Enumerate() : BL_LX_E_NOT_FOUND;
        m_hubWalk.Restart();
        return CLxCall("Enumerate", "bench").End(result);
    }
    CHostController* FindFirstHC() override {
        m_listed.clear();
        for (const CLxControllerInfo& info : LxScanControllers(m_context.Sysfs)) m_listed.push_back(HostFor(info));
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
        CLxHost* found = nullptr;
        for (auto& host : m_hosts)
            if (host.get() == controller) found = host.get();
        BLSTATUS result = found ? 0 : BL_LX_E_NOT_FOUND;
        if (found) {
            m_current = found;
            m_hubWalk.Restart();
            if (!found->Scanned()) found->Scan();
        }
        return CLxCall("SelectHostController", "bench " + (found ? found->Target() : std::string("null")))
            .Args(" %u %u", forTest, reserved)
            .End(result);
    }
    BLSTATUS SelectHub(CHubDevice* hub) override {
        bool known = false;
        if (m_current)
            for (const auto& device : m_current->Devices()) known |= device.get() == hub && device->IsHub();
        BLSTATUS result = known ? 0 : BL_LX_E_NOT_FOUND;
        return CLxCall("SelectHub", "bench " + (known ? static_cast<CLxDevice*>(hub)->Target() : std::string("null")))
            .End(result);
    }
    BLSTATUS SelectPort(uint8_t port) override { return CLxCall("SelectPort", "bench").Args(" %u", port).End(0); }
    CDevice* GetDeviceByDeviceAddress(uint8_t address) override {
        CLxDevice* device = m_current ? m_current->ByAddress(address) : nullptr;
        return CLxCall("GetDeviceByDeviceAddress", "bench")
            .Args(" %u", address)
            .Give<CDevice*>(device, device ? device->Target() : "null");
    }
    CBLInterface* GetBLInterface() override {
        return CLxCall("GetBLInterface", "bench").Give<CBLInterface*>(this, "interface");
    }
    // No compliance driver is loaded, so there is no version to check.
    BLSTATUS GetDriverVersion(uint32_t* version) override {
        if (version) *version = 0;
        return CLxCall("GetDriverVersion", "interface").End(BL_LX_I_NO_DRIVER_VERSION);
    }

private:
    CLxHost* HostFor(const CLxControllerInfo& info) {
        for (auto& host : m_hosts)
            if (host->Info().Name == info.Name) return host.get();
        m_hosts.push_back(std::make_unique<CLxHost>(m_context, info, static_cast<unsigned>(m_hosts.size())));
        return m_hosts.back().get();
    }
    CHostController* NextHost(const char* method) {
        CLxHost* host = m_hostWalk.Next(m_listed.size(), [this](size_t i) { return m_listed[i]; });
        return CLxCall(method, "bench").Give<CHostController*>(host, host ? host->Target() : "null");
    }
    CHubDevice* NextHub(const char* method) {
        CLxDevice* hub = m_hubWalk.Next(m_current ? m_current->Devices().size() : 0, [this](size_t i) {
            CLxDevice* device = m_current->Devices()[i].get();
            return device->IsHub() ? device : nullptr;
        });
        return CLxCall(method, "bench").Give<CHubDevice*>(hub, hub ? hub->Target() : "null");
    }

    CLxContext& m_context;
    std::vector<std::unique_ptr<CLxHost>> m_hosts;  // every controller met, never removed
    std::vector<CLxHost*> m_listed;                 // those of the last listing
    CLxHost* m_current = nullptr;
    CBLWalk m_hostWalk;
    CBLWalk m_hubWalk;
};

class CLxBackend : public CBLBackend {
public:
    CLxBackend(std::unique_ptr<CLxSystem> system, const std::string& sysfsRoot, const std::string& recordPath,
               const std::string& procRoot) {
        m_context.System = std::move(system);
        m_context.Sysfs = sysfsRoot;
        m_context.Proc = procRoot;
        m_context.RecordPath = recordPath;
        m_context.HonourRecord();
    }

    CXhciBenchline* CreateBenchline() override { return new CLxBench(m_context); }

    std::vector<std::string> HostIds() override {
        std::vector<std::string> ids;
        for (const CLxControllerInfo& info : LxScanControllers(m_context.Sysfs)) ids.push_back(info.Id);
        return ids;
    }

    // The kernel's own driver serves every controller, so nothing is
    // switched; clean-up gives back what tests took and brings back
    // controllers left in a test mode. It fails (2) when one stays away.
    int32_t SwitchStack(EBLSwitchRequest request, const std::string& hostId) override {
        if (request == BL_SWITCH_CLEANUP) {
            m_context.GiveBack();
            int32_t result = 0;
            for (const auto& [name, state] : m_context.States) {
                if (!state.TestMode) continue;
                CLxControllerInfo controller;
                controller.Name = name;
                controller.DriverDir = state.DriverDir;
                BLSTATUS status = m_context.Rebind(controller);
                if (status != 0 && status != BL_S_ENUMERATE_WARNING) result = 2;
            }
            return result;
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
    ~CLxRealSystem() override {
        for (const auto& [node, fd] : m_held) ::close(fd);
    }
    int Control(unsigned bus, unsigned device, const CLxSetup& setup, uint8_t* data) override {
        return WithNode(bus, device, [&](int fd) {
            usbdevfs_ctrltransfer transfer{};
            transfer.bRequestType = setup.RequestType;
            transfer.bRequest = setup.Request;
            transfer.wValue = setup.Value;
            transfer.wIndex = setup.Index;
            transfer.wLength = setup.Length;
            transfer.timeout = 2000;
            transfer.data = data;
            return ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
        });
    }
    int Node(ELxNodeOp op, unsigned bus, unsigned device, unsigned arg) override {
        auto key = std::make_pair(bus, device);
        if (op == ELxNodeOp::Hold) {
            if (m_held.count(key)) return 0;
            int fd = Open(bus, device);
            if (fd < 0) return fd;
            m_held[key] = fd;
            return 0;
        }
        if (op == ELxNodeOp::Drop) {
            auto it = m_held.find(key);
            if (it == m_held.end()) return -EBADF;
            ::close(it->second);
            m_held.erase(it);
            return 0;
        }
        return WithNode(bus, device, [&](int fd) {
            unsigned port = arg;
            usbdevfs_ioctl command{};
            command.ifno = static_cast<int>(arg);
            switch (op) {
            case ELxNodeOp::Reset: return ::ioctl(fd, USBDEVFS_RESET, nullptr);
            case ELxNodeOp::Detach:
                command.ioctl_code = USBDEVFS_DISCONNECT;
                return ::ioctl(fd, USBDEVFS_IOCTL, &command);
            case ELxNodeOp::Attach: command.ioctl_code = USBDEVFS_CONNECT; return ::ioctl(fd, USBDEVFS_IOCTL, &command);
            case ELxNodeOp::ClaimPort: return ::ioctl(fd, USBDEVFS_CLAIM_PORT, &port);
            case ELxNodeOp::ReleasePort: return ::ioctl(fd, USBDEVFS_RELEASE_PORT, &port);
            default: errno = EINVAL; return -1;
            }
        });
    }
    int WriteAttribute(const std::string& path, const std::string& text) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return -errno;
        int result = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : -errno;
        ::close(fd);
        return result;
    }
    void Sleep(unsigned milliseconds) override { ::usleep(milliseconds * 1000); }
    void Report(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }

private:
    static int Open(unsigned bus, unsigned device) {
        char path[64];
        std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", bus, device);
        int fd = ::open(path, O_RDWR | O_CLOEXEC);
        return fd < 0 ? -errno : fd;
    }
    // Runs an ioctl on the held node, or on one opened for it; -errno on failure.
    template <class F>
    int WithNode(unsigned bus, unsigned device, F&& call) {
        auto it = m_held.find({bus, device});
        int fd = it != m_held.end() ? it->second : Open(bus, device);
        if (fd < 0) return fd;
        int result = call(fd);
        if (result < 0) result = -errno;
        if (it == m_held.end()) ::close(fd);
        return result;
    }

    std::map<std::pair<unsigned, unsigned>, int> m_held;
};

}  // namespace

std::unique_ptr<CBLBackend> BLLinuxCreate(std::unique_ptr<CLxSystem> system, const std::string& sysfsRoot,
                                          const std::string& recordPath, const std::string& procRoot) {
    return std::make_unique<CLxBackend>(std::move(system), sysfsRoot, recordPath, procRoot);
}

std::unique_ptr<CBLBackend> BLLinuxCreateReal(std::string& error) {
    if (::geteuid() != 0) {
        error =
            "VOLTARIS_BENCH=linux needs root: the usbfs nodes /dev/bus/usb/BBB/DDD and the host controller "
            "drivers' bind and unbind files in /sys are writable by root only";
        return nullptr;
    }
    std::fprintf(stderr,
                 "voltaris: linux bench: root-port test modes stop every device on that controller, keyboards "
                 "included, until the next enumeration; voltaris asks first where that would stop this machine's "
                 "own disks, keyboard, mouse or network\n");
    return BLLinuxCreate(std::make_unique<CLxRealSystem>(), "/sys", BL_LX_RECORD_PATH);
}
