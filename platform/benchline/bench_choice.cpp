#include "benchline/bench_choice.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char kNeedsRoot[] =
    " needs root (the usbfs nodes and the controllers' driver files are root's): start xHCI Voltaris from the "
    "desktop menu, which asks for an administrator's password, or run it with sudo; VOLTARIS_BENCH=sim starts "
    "the simulated bench without root";
constexpr const char kTrySim[] = "; VOLTARIS_BENCH=sim starts the simulated bench";
constexpr const char kSimulated[] = ": nothing reaches this machine's USB hardware";

// PCI class of an xHCI controller: serial bus, USB, programming interface xHCI.
constexpr const char kXhciClass[] = "0x0c0330";

CBLBenchChoice Refused(std::string line) { return {EBLBench::Refused, "", std::move(line)}; }

// This machine's controllers, as asked for (named: by VOLTARIS_BENCH=linux).
CBLBenchChoice Machine(const CBLMachine& machine, bool named) {
    const std::string who = named ? "VOLTARIS_BENCH=linux" : "testing this machine's USB host controllers";
    if (!machine.SysfsError.empty())
        return Refused((named ? who + ": " : "cannot find this machine's xHCI host controllers: ") +
                       machine.SysfsError + kTrySim);
    if (!named && machine.Controllers == 0)
        return {EBLBench::NoController, "", std::string("this machine has no xHCI host controller") + kTrySim};
    if (!machine.Root) return Refused(who + kNeedsRoot);
    return {EBLBench::Linux, "", ""};
}

// The names in a sysfs directory; a directory that is not there has none.
std::vector<std::string> Names(const std::string& dir, CBLMachine& machine) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code typeError;  // devices are links; bind, unbind and uevent are files
        if (it->is_symlink(typeError)) names.push_back(it->path().filename().string());
    }
    if (error && error != std::errc::no_such_file_or_directory && machine.SysfsError.empty())
        machine.SysfsError = "cannot read " + dir + ": " + error.message();
    return names;
}

std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

}  // namespace

CBLBenchChoice BLChooseBench(const char* asked, const CBLMachine& machine) {
    std::string value = asked ? asked : "";
    if (value.empty()) return Machine(machine, false);
    if (value == "linux") return Machine(machine, true);
    if (value == "sim") return {EBLBench::Sim, "", std::string("simulated bench (built in)") + kSimulated};
    if (value.rfind("sim:", 0) == 0)
        return {EBLBench::SimFile, value.substr(4), "simulated bench from " + value.substr(4) + kSimulated};
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c >= 0 && c < 0x20; }, '?');
    return Refused("VOLTARIS_BENCH=" + value + ": unknown bench (use sim, sim:PATH or linux)");
}

CBLMachine BLReadMachine(const std::string& sysfsRoot) {
    CBLMachine machine;
    machine.Root = ::geteuid() == 0;
    std::error_code error;
    fs::directory_iterator bus(sysfsRoot + "/bus", error);
    if (error) {
        machine.SysfsError = "cannot read " + sysfsRoot + "/bus: " + error.message();
        return machine;
    }
    // PCI controllers by their class, bound to a driver or not (an earlier run
    // may have left one unbound); platform controllers by their driver.
    const std::string pci = sysfsRoot + "/bus/pci/devices/";
    for (const std::string& name : Names(pci, machine))
        if (FirstLine(pci + name + "/class") == kXhciClass) ++machine.Controllers;
    for (const std::string& name : Names(sysfsRoot + "/bus/platform/drivers/xhci-hcd", machine))
        if (name != "module") ++machine.Controllers;
    return machine;
}
