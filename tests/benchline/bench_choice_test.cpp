// Which bench voltaris drives, from VOLTARIS_BENCH and the machine.
#include "benchline/bench_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(BenchChoice, UnsetDrivesTheMachineNamedBenchesAreUsedAndNothingFallsBackToTheSimulation) {
    const CBLMachine root{"", 2, true}, user{"", 1, false}, bare{"", 0, false};
    const CBLMachine blind{"cannot read /sys/bus: x", 3, true};
    const std::string sim = "; VOLTARIS_BENCH=sim starts the simulated bench";
    const std::string simulated = ": nothing reaches this machine's USB hardware";
    const struct {
        const char* asked;
        CBLMachine machine;
        EBLBench bench;
        std::string line;  // what the line starts with
    } cases[] = {
        {nullptr, root, EBLBench::Linux, ""},
        {"", bare, EBLBench::NoController, "this machine has no xHCI host controller" + sim},
        {nullptr, user, EBLBench::Refused, "testing this machine's USB host controllers needs root ("},
        {nullptr, blind, EBLBench::Refused,
         "cannot find this machine's xHCI host controllers: cannot read /sys/bus: x" + sim},
        // Named, the linux bench is used without an xHCI controller (USB/IP ones count there), never without root.
        {"linux", {"", 0, true}, EBLBench::Linux, ""},
        {"linux", user, EBLBench::Refused, "VOLTARIS_BENCH=linux needs root ("},
        {"linux", blind, EBLBench::Refused, "VOLTARIS_BENCH=linux: cannot read /sys/bus: x" + sim},
        {"sim", blind, EBLBench::Sim, "simulated bench (built in)" + simulated},
        {"sim:/b/x.toml", root, EBLBench::SimFile, "simulated bench from /b/x.toml" + simulated},
        {"Sim", root, EBLBench::Refused, "VOLTARIS_BENCH=Sim: unknown bench (use sim, sim:PATH or linux)"},
        {"bo\ngus", root, EBLBench::Refused, "VOLTARIS_BENCH=bo?gus: unknown bench (use sim, sim:PATH or linux)"},
    };
    for (const auto& c : cases) {
        CBLBenchChoice choice = BLChooseBench(c.asked, c.machine);
        EXPECT_EQ(choice.Bench, c.bench) << (c.asked ? c.asked : "unset");
        EXPECT_EQ(choice.Line.rfind(c.line, 0), 0u) << choice.Line;
        EXPECT_EQ(c.line.empty(), choice.Line.empty()) << choice.Line;
    }
    EXPECT_EQ(BLChooseBench("sim:/b/x.toml", root).Path, "/b/x.toml");
    // Without root: what it needs, and how.
    for (const char* part : {"desktop menu", "sudo", "VOLTARIS_BENCH=sim starts the simulated bench without root"})
        EXPECT_NE(BLChooseBench(nullptr, user).Line.find(part), std::string::npos) << part;
}

TEST(BenchChoice, TheMachineCountsPciXhciByClassAndPlatformXhciByDriver) {
    char pattern[] = "/tmp/bench-choice-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const fs::path root = pattern;
    EXPECT_FALSE(BLReadMachine(root.string()).SysfsError.empty()) << "without a bus folder sysfs is not there";
    // PCI: an xHCI controller (bound or not, it counts) and an EHCI one; one xHCI platform device.
    for (const auto& [link, pciClass] :
         {std::pair{"bus/pci/devices/0000:00:14.0", "0x0c0330"}, std::pair{"bus/pci/devices/0000:00:1a.0", "0x0c0320"},
          std::pair{"bus/platform/drivers/xhci-hcd/xhci-hcd.0.auto", ""}}) {
        const fs::path device = root / "devices" / fs::path(link).filename();
        fs::create_directories(device);
        fs::create_directories((root / link).parent_path());
        std::ofstream(device / "class") << pciClass << "\n";
        fs::create_directory_symlink(device, root / link);
    }
    fs::create_directory_symlink(root / "devices", root / "bus/platform/drivers/xhci-hcd/module");
    CBLMachine machine = BLReadMachine(root.string());
    EXPECT_EQ(machine.SysfsError, "");
    EXPECT_EQ(machine.Controllers, 2u);
    fs::remove_all(root);
}
