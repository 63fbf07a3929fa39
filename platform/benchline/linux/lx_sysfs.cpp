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

// The buses whose drivers' controllers are listed, in this order. The
// USB/IP virtual controller has the same pair of root hubs as an xHCI one.
const char* const kBuses[] = {"bus/pci/drivers", "bus/platform/drivers"};
const std::string kVirtualDriver = "bus/platform/drivers/vhci_hcd";

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

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A root hub names the host controller driver that serves it in its
// manufacturer string ("Linux 6.1.0-18-amd64 xhci-hcd"), whichever glue
// driver binds the controller.
bool IsXhciRootHub(const CLxRootHub& hub) {
    return hub.Present &&
        (EndsWith(ReadText(hub.Dir + "/manufacturer"), " xhci-hcd") ||
         ReadText(hub.Dir + "/product") == "xHCI Host Controller");
}

std::string IdOf(const std::string& dir, const std::string& name, bool isVirtual) {
    if (isVirtual) return name;
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
    controller.Virtual = EndsWith(driverDir, "/" + kVirtualDriver);
    controller.Id = IdOf(dir, name, controller.Virtual);
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
        LxReadInterfaces(child, device.Interfaces, device.Drivers);
        devices.push_back(device);
        ScanBelow(child, onUsb3, static_cast<int>(devices.size() - 1), devices);
    }
}

void SortByName(std::vector<CLxControllerInfo>& controllers, size_t from) {
    std::sort(controllers.begin() + static_cast<std::ptrdiff_t>(from), controllers.end(),
              [](const CLxControllerInfo& a, const CLxControllerInfo& b) { return a.Name < b.Name; });
}

}  // namespace

void LxReadInterfaces(const std::string& dir, std::vector<unsigned>& numbers, std::vector<std::string>& drivers) {
    numbers.clear();
    drivers.clear();
    // Interfaces are named "1-1.2:1.0" (configuration 1, interface 0).
    std::string name = fs::path(dir).filename().string();
    for (const std::string& entry : SubDirs(dir)) {
        if (entry.rfind(name + ":", 0) != 0 || entry.find('.', name.size()) == std::string::npos) continue;
        numbers.push_back(ReadNumber(dir + "/" + entry + "/bInterfaceNumber", 16));
        std::error_code error;
        drivers.push_back(fs::read_symlink(dir + "/" + entry + "/driver", error).filename().string());
    }
}

std::vector<CLxControllerInfo> LxScanControllers(const std::string& sysfsRoot) {
    std::vector<CLxControllerInfo> controllers, virtuals;
    for (const char* bus : kBuses) {
        size_t from = controllers.size();
        for (const std::string& driver : SubDirs(sysfsRoot + "/" + bus)) {
            std::string driverDir = sysfsRoot + "/" + bus + "/" + driver;
            for (const std::string& name : SubDirs(driverDir)) {
                CLxControllerInfo controller;
                if (name == "module" || !ReadController(driverDir, name, controller)) continue;
                if (controller.Virtual) virtuals.push_back(controller);
                else if (IsXhciRootHub(controller.Usb2) || IsXhciRootHub(controller.Usb3))
                    controllers.push_back(controller);
            }
        }
        SortByName(controllers, from);
    }
    SortByName(virtuals, 0);
    controllers.insert(controllers.end(), virtuals.begin(), virtuals.end());
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

bool LxIsPlainName(const std::string& text) {
    return !text.empty() && text.size() < 64 && text != "." && text != ".." &&
        std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ':' || c == '.' ||
                c == '-' || c == '_';
        });
}

bool LxIsDriverDir(const std::string& text) {
    for (const char* bus : kBuses) {
        std::string prefix = std::string(bus) + "/";
        if (text.rfind(prefix, 0) == 0 && LxIsPlainName(text.substr(prefix.size()))) return true;
    }
    return false;
}

namespace {

const char* const kRecordWords[] = {"", "warm-reset", "power-on"};  // by ELxRecordKind

// A device or port number of a record line: 1 to 255.
unsigned SmallNumber(const std::string& text) {
    unsigned value = IsDigits(text) && text.size() <= 3 ? static_cast<unsigned>(std::stoul(text)) : 0;
    return value <= 255 ? value : 0;
}

}  // namespace

std::vector<CLxRecordEntry> LxParseRecord(const std::string& text) {
    std::vector<CLxRecordEntry> entries;
    size_t start = 0;
    while (start < text.size() && entries.size() < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> words;
        for (size_t at = start; at < end;) {
            size_t blank = std::min(text.find(' ', at), end);
            words.push_back(text.substr(at, blank - at));
            at = blank + 1;
        }
        start = end + 1;
        CLxRecordEntry entry;
        if (words.size() == 2 && LxIsDriverDir(words[0]) && LxIsPlainName(words[1])) {
            entry.Driver = words[0];
            entry.Name = words[1];
            entries.push_back(entry);
            continue;
        }
        if (words.size() != 4 || !LxIsPlainName(words[1])) continue;
        for (auto kind : {LX_RECORD_WARM_RESET, LX_RECORD_POWER_ON})
            if (words[0] == kRecordWords[kind]) entry.Kind = kind;
        entry.Name = words[1];
        entry.Devnum = SmallNumber(words[2]);
        entry.Port = SmallNumber(words[3]);
        if (entry.Kind != LX_RECORD_REBIND && entry.Devnum && entry.Port) entries.push_back(entry);
    }
    return entries;
}

std::string LxRecordLine(const CLxRecordEntry& entry) {
    if (entry.Kind == LX_RECORD_REBIND) return entry.Driver + " " + entry.Name;
    return std::string(kRecordWords[entry.Kind]) + " " + entry.Name + " " + std::to_string(entry.Devnum) + " " +
        std::to_string(entry.Port);
}

std::string LxReadAttribute(const std::string& path) { return ReadText(path); }

uint32_t LxHash(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}
