// What the linux bench reads from sysfs: the controllers bound to the host
// controller drivers, their two root hubs, and the devices below them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A root hub: one USB bus of a controller.
struct CLxRootHub {
    bool Present = false;
    unsigned Bus = 0;
    unsigned Devnum = 0;
    unsigned Ports = 0;
    std::string Dir;
};

struct CLxControllerInfo {
    std::string Name;       // the controller's device name ("0000:00:04.0")
    std::string DriverDir;  // the driver directory holding bind and unbind
    std::string Id;         // host ID text
    bool Virtual = false;   // the USB/IP virtual controller
    CLxRootHub Usb2;        // its ports are root ports 1..n
    CLxRootHub Usb3;        // its ports follow the USB 2.0 root hub's

    unsigned PortCount() const { return Usb2.Ports + Usb3.Ports; }
};

// A device below a root hub, as sysfs describes it.
struct CLxDeviceInfo {
    std::string Name;  // "1-1.2"
    std::string Dir;   // its sysfs directory
    unsigned Bus = 0;
    unsigned Devnum = 0;
    bool OnUsb3 = false;  // below the USB 3 root hub
    std::string Path;     // port path below the root hub: "1.2"
    uint8_t Speed = 0;    // a _USB_DEVICE_SPEED
    uint16_t Vid = 0;
    uint16_t Pid = 0;
    std::string Serial;                // the serial string, empty when it has none
    unsigned Ports = 0;                // downstream ports of a hub, 0 otherwise
    int Parent = -1;                   // index of the parent hub in the list, -1 on a root port
    unsigned Port = 0;                 // port number on the parent hub or root hub
    std::vector<unsigned> Interfaces;  // interface numbers of the active configuration
    std::vector<std::string> Drivers;  // the driver bound to each of them, empty for none
};

// The interfaces of the device in dir, as CLxDeviceInfo has them.
void LxReadInterfaces(const std::string& dir, std::vector<unsigned>& numbers, std::vector<std::string>& drivers);

// The device on a port of a hub as sysfs has it now: hubDir and hubName are
// the hub's directory and name ("usb1" for a root hub, "1-1" for a hub).
struct CLxChild {
    bool Present = false;
    unsigned Bus = 0;
    unsigned Devnum = 0;
    std::string Dir;
};
CLxChild LxDeviceAt(const std::string& dir);
CLxChild LxChildOnPort(const std::string& hubDir, const std::string& hubName, unsigned port);

// The sysfs directory of a hub's port ("usb1/1-0:1.0/usb1-port3"), which
// holds its peer link and disable switch; empty when there is none.
std::string LxPortDir(const std::string& hubDir, const std::string& hubName, unsigned port);

// The number of the port that a port's peer link points at, with the name
// of the hub that has it ("usb1-port3" gives usb1 and 3); 0 without a peer.
unsigned LxPeerPort(const std::string& portDir, std::string& peerHub);

// The controllers the bench drives: every controller on PCI, then every
// platform device (ARM boards), whose root hubs are the xHCI core's,
// whichever driver binds it (xhci_hcd, xhci-hcd, tegra-xusb, xhci-mtk ...),
// then the USB/IP virtual controller; each group ordered by device name. A
// controller that has no root hub (while it is unbound) is left out.
std::vector<CLxControllerInfo> LxScanControllers(const std::string& sysfsRoot);

// Re-reads one controller; false when it is not bound or has no root hub.
bool LxRescanController(CLxControllerInfo& controller);

// The devices below the controller's root hubs, depth-first in port order,
// the USB 2.0 root hub's first; parents come before their children.
std::vector<CLxDeviceInfo> LxScanDevices(const CLxControllerInfo& controller);

// Whether text names a driver directory below the sysfs root by a plain
// name: "bus/pci/drivers/NAME" or "bus/platform/drivers/NAME".
bool LxIsDriverDir(const std::string& text);
// A device, driver or hub name without a path in it ("0000:00:14.0", "1-1.2").
bool LxIsPlainName(const std::string& text);

// One line of the record of what a run left behind on the bus.
enum ELxRecordKind {
    LX_RECORD_REBIND,      // "DRIVER NAME": a controller left in a test mode
    LX_RECORD_WARM_RESET,  // "warm-reset HUB DEVNUM PORT": a port left in Compliance Mode
    LX_RECORD_POWER_ON,    // "power-on HUB DEVNUM PORT": a port whose power stayed off
};
struct CLxRecordEntry {
    ELxRecordKind Kind = LX_RECORD_REBIND;
    std::string Driver;   // LX_RECORD_REBIND: a driver directory (LxIsDriverDir)
    std::string Name;     // the controller's device name, or the hub's name ("usb2", "1-1")
    unsigned Devnum = 0;  // the hub's device number, so a replugged hub is not taken for it
    unsigned Port = 0;
};
// The entries of a record's text. Lines that do not fit one of the forms
// with plain names are dropped, so a damaged or planted record never leads
// a write outside a driver's bind file or a port of a hub that is there.
std::vector<CLxRecordEntry> LxParseRecord(const std::string& text);
// An entry as a line of the record, without its line end.
std::string LxRecordLine(const CLxRecordEntry& entry);

// The first line of a sysfs attribute, without trailing blanks; empty when
// it cannot be read.
std::string LxReadAttribute(const std::string& path);

// 32-bit FNV-1a of a text.
uint32_t LxHash(const std::string& text);
