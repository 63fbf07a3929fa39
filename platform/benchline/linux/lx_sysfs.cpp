#include "lx_sysfs.h"

#include "benchline/benchline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The drivers whose controllers are listed, in this order. The USB/IP
// virtual controller has the same pair of root hubs as an xHCI one.
const std::vector<std::string> kDrivers = {"bus/pci/drivers/xhci_hcd", "bus/platform/drivers/xhci-hcd",
                                           "bus/platform/drivers/vhci_hcd"};

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

unsigned ReadNumber(const std::string& path, int base) {
    std::string text = ReadText(path);
    return text.empty() ? 0 : static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, base));
}

// Sorted names of the subdirectories of dir (symbolic links followed).
std::vector<std::string> SubDirs(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (fs::is_directory(it->path(), typeError)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

uint8_t SpeedOf(const std::string& text) {
    double megabits = std::strtod(text.c_str(), nullptr);
    if (megabits > 5000) return UsbSuperSpeedPlus;
    if (megabits >= 5000) return UsbSuperSpeed;
    if (megabits >= 480) return UsbHighSpeed;
    if (megabits >= 12) return UsbFullSpeed;
    return UsbLowSpeed;
}

std::string IdOf(const std::string& dir, const std::string& name, const std::string& driverDir) {
    if (driverDir.find("xhci") == std::string::npos) return name;
    // A platform controller has no PCI ids; its device name says enough.
    std::error_code error;
    if (!fs::exists(dir + "/vendor", error)) return "xHCI " + name;
    char ids[32];
    std::snprintf(ids, sizeof ids, " (%04x:%04x)", ReadNumber(dir + "/vendor", 16), ReadNumber(dir + "/device", 16));
    return "xHCI " + name + ids;
}

bool ReadController(const std::string& driverDir, const std::string& name, CLxControllerInfo& controller) {
    std::string dir = driverDir + "/" + name;
    controller.Name = name;
    controller.DriverDir = driverDir;
    controller.Id = IdOf(dir, name, driverDir);
    controller.Usb2 = controller.Usb3 = CLxRootHub{};
    for (const std::string& bus : SubDirs(dir)) {
        if (bus.rfind("usb", 0) != 0 || !IsDigits(bus.substr(3))) continue;
        std::string hubDir = dir + "/" + bus;
        CLxRootHub& hub = SpeedOf(ReadText(hubDir + "/speed")) >= UsbSuperSpeed ? controller.Usb3 : controller.Usb2;
        if (hub.Present) continue;
        hub.Present = true;
        hub.Dir = hubDir;
        hub.Bus = ReadNumber(hubDir + "/busnum", 10);
        hub.Devnum = ReadNumber(hubDir + "/devnum", 10);
        hub.Ports = ReadNumber(hubDir + "/maxchild", 10);
    }
    return controller.Usb2.Present || controller.Usb3.Present;
}

// The port number a device directory name ends in ("1-1.2" gives 2), or 0
// when the name is not a device's ("1-1:1.0" is an interface).
unsigned PortOfName(const std::string& name) {
    size_t dash = name.find('-');
    if (dash == std::string::npos || !IsDigits(name.substr(0, dash))) return 0;
    std::string path = name.substr(dash + 1);
    if (path.empty() || path.find_first_not_of("0123456789.") != std::string::npos) return 0;
    size_t dot = path.rfind('.');
    return static_cast<unsigned>(std::strtoul(path.c_str() + (dot == std::string::npos ? 0 : dot + 1), nullptr, 10));
}

void ScanBelow(const std::string& dir, bool onUsb3, int parent, std::vector<CLxDeviceInfo>& devices) {
    std::vector<std::pair<unsigned, std::string>> children;
    for (const std::string& name : SubDirs(dir))
        if (unsigned port = PortOfName(name)) children.emplace_back(port, name);
    std::sort(children.begin(), children.end());
    for (const auto& [port, name] : children) {
        std::string child = dir + "/" + name;
        CLxDeviceInfo device;
        device.Name = name;
        device.Dir = child;
        device.Bus = ReadNumber(child + "/busnum", 10);
        device.Devnum = ReadNumber(child + "/devnum", 10);
        device.OnUsb3 = onUsb3;
        device.Path = name.substr(name.find('-') + 1);
        device.Speed = SpeedOf(ReadText(child + "/speed"));
        device.Vid = static_cast<uint16_t>(ReadNumber(child + "/idVendor", 16));
        device.Pid = static_cast<uint16_t>(ReadNumber(child + "/idProduct", 16));
        device.Serial = ReadText(child + "/serial");
        device.Ports = ReadNumber(child + "/maxchild", 10);
        device.Parent = parent;
        device.Port = port;
        // Interfaces are named "1-1.2:1.0" (configuration 1, interface 0).
        for (const std::string& entry : SubDirs(child))
            if (entry.rfind(name + ":", 0) == 0 && entry.find('.', name.size()) != std::string::npos)
                device.Interfaces.push_back(ReadNumber(child + "/" + entry + "/bInterfaceNumber", 16));
        devices.push_back(device);
        ScanBelow(child, onUsb3, static_cast<int>(devices.size() - 1), devices);
    }
}

}  // namespace

std::vector<CLxControllerInfo> LxScanControllers(const std::string& sysfsRoot) {
    std::vector<CLxControllerInfo> controllers;
    for (const std::string& driver : kDrivers) {
        std::string driverDir = sysfsRoot + "/" + driver;
        for (const std::string& name : SubDirs(driverDir)) {
            CLxControllerInfo controller;
            if (name != "module" && ReadController(driverDir, name, controller)) controllers.push_back(controller);
        }
    }
    return controllers;
}

bool LxRescanController(CLxControllerInfo& controller) {
    return ReadController(controller.DriverDir, controller.Name, controller);
}

std::vector<CLxDeviceInfo> LxScanDevices(const CLxControllerInfo& controller) {
    std::vector<CLxDeviceInfo> devices;
    if (controller.Usb2.Present) ScanBelow(controller.Usb2.Dir, false, -1, devices);
    if (controller.Usb3.Present) ScanBelow(controller.Usb3.Dir, true, -1, devices);
    return devices;
}

const std::vector<std::string>& LxDriverDirs() { return kDrivers; }

CLxChild LxChildOnPort(const std::string& hubDir, const std::string& hubName, unsigned port) {
    // Children of root hub usbN are "N-port", those of hub "1-1" are "1-1.port".
    std::string name = hubName.rfind("usb", 0) == 0 ? hubName.substr(3) + "-" + std::to_string(port)
                                                     : hubName + "." + std::to_string(port);
    return LxDeviceAt(hubDir + "/" + name);
}

CLxChild LxDeviceAt(const std::string& dir) {
    CLxChild child;
    std::error_code error;
    if (!fs::is_directory(dir, error)) return child;
    child.Present = true;
    child.Dir = dir;
    child.Bus = ReadNumber(dir + "/busnum", 10);
    child.Devnum = ReadNumber(dir + "/devnum", 10);
    return child;
}

std::string LxPortDir(const std::string& hubDir, const std::string& hubName, unsigned port) {
    std::string portName = hubName + "-port" + std::to_string(port);
    for (const std::string& entry : SubDirs(hubDir)) {
        if (entry.find(':') == std::string::npos) continue;  // only the hub's interface holds ports
        std::error_code error;
        std::string dir = hubDir + "/" + entry + "/" + portName;
        if (fs::is_directory(dir, error)) return dir;
    }
    return "";
}

unsigned LxPeerPort(const std::string& portDir, std::string& peerHub) {
    std::error_code error;
    fs::path target = fs::read_symlink(portDir + "/peer", error);
    if (error) return 0;
    std::string name = target.filename().string();
    size_t at = name.rfind("-port");
    if (at == std::string::npos || !IsDigits(name.substr(at + 5))) return 0;
    peerHub = name.substr(0, at);
    return static_cast<unsigned>(std::strtoul(name.c_str() + at + 5, nullptr, 10));
}

std::vector<CLxRecordEntry> LxParseRecord(const std::string& text) {
    std::vector<CLxRecordEntry> entries;
    size_t start = 0;
    while (start < text.size() && entries.size() < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        CLxRecordEntry entry{line.substr(0, blank), line.substr(blank + 1)};
        bool known = std::find(kDrivers.begin(), kDrivers.end(), entry.Driver) != kDrivers.end();
        bool plain = !entry.Name.empty() && entry.Name.size() < 64 && entry.Name != "." && entry.Name != ".." &&
                     std::all_of(entry.Name.begin(), entry.Name.end(), [](char c) {
                         return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                c == ':' || c == '.' || c == '-' || c == '_';
                     });
        if (known && plain) entries.push_back(entry);
    }
    return entries;
}

uint32_t LxHash(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}
