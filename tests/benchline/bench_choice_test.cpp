// Which bench voltaris drives, from VOLTARIS_BENCH and the machine.
#include "benchline/bench_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

CBLMachine Machine(unsigned controllers, bool root, const std::string& sysfsError = "") {
    return {sysfsError, controllers, root};
}

bool Has(const CBLBenchChoice& choice, const std::string& part) { return choice.Line.find(part) != std::string::npos; }

}  // namespace

TEST(BenchChoice, UnsetDrivesTheMachineAndNeverFallsBackToTheSimulation) {
    EXPECT_EQ(BLChooseBench(nullptr, Machine(2, true)).Bench, EBLBench::Linux);
    EXPECT_EQ(BLChooseBench("", Machine(1, true)).Line, "");
    CBLBenchChoice none = BLChooseBench(nullptr, Machine(0, false));
    EXPECT_EQ(none.Bench, EBLBench::NoController);
    EXPECT_EQ(none.Line, "this machine has no xHCI host controller; VOLTARIS_BENCH=sim starts the simulated bench");
    // Controllers, but not root: refused, saying what is needed and how.
    CBLBenchChoice user = BLChooseBench(nullptr, Machine(1, false));
    EXPECT_EQ(user.Bench, EBLBench::Refused);
    for (const char* part : {"needs root", "desktop menu", "sudo", "VOLTARIS_BENCH=sim"})
        EXPECT_TRUE(Has(user, part)) << user.Line;
    CBLBenchChoice blind = BLChooseBench(nullptr, Machine(3, true, "cannot read /sys/bus: No such file or directory"));
    EXPECT_EQ(blind.Bench, EBLBench::Refused);
    EXPECT_EQ(blind.Line, "cannot find this machine's xHCI host controllers: cannot read /sys/bus: No such file or "
                          "directory; VOLTARIS_BENCH=sim starts the simulated bench");
}

TEST(BenchChoice, NamedBenchesAndUnknownValues) {
    CBLBenchChoice sim = BLChooseBench("sim", Machine(1, true, "unreadable"));
    EXPECT_EQ(sim.Bench, EBLBench::Sim);
    EXPECT_EQ(sim.Line, "simulated bench (built in): nothing reaches this machine's USB hardware");
    CBLBenchChoice file = BLChooseBench("sim:/b/x.toml", Machine(1, true));
    EXPECT_EQ(file.Bench, EBLBench::SimFile);
    EXPECT_EQ(file.Path, "/b/x.toml");
    EXPECT_TRUE(Has(file, "simulated bench from /b/x.toml"));
    // Named, the linux bench is used without a controller (USB/IP ones count there) but never without root.
    EXPECT_EQ(BLChooseBench("linux", Machine(0, true)).Bench, EBLBench::Linux);
    EXPECT_TRUE(Has(BLChooseBench("linux", Machine(1, false)), "VOLTARIS_BENCH=linux needs root"));
    EXPECT_TRUE(Has(BLChooseBench("linux", Machine(1, true, "cannot read /sys/bus")), "VOLTARIS_BENCH=linux: cannot"));
    for (const char* bad : {"Sim", "linux ", "simulated", "bo\ngus"}) {
        CBLBenchChoice choice = BLChooseBench(bad, Machine(1, true));
        EXPECT_EQ(choice.Bench, EBLBench::Refused) << bad;
        EXPECT_TRUE(Has(choice, "unknown bench (use sim, sim:PATH or linux)")) << bad;
        EXPECT_EQ(choice.Line.find('\n'), std::string::npos);
    }
}

TEST(BenchChoice, TheMachineCountsPciXhciByClassAndPlatformXhciByDriver) {
    char pattern[] = "/tmp/bench-choice-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const fs::path root = pattern;
    EXPECT_FALSE(BLReadMachine(root.string()).SysfsError.empty()) << "no bus folder: sysfs is not there";

    // Two xHCI controllers (one unbound) and an EHCI one on PCI, one xHCI platform device.
    const std::pair<const char*, const char*> pci[] = {
        {"0000:00:14.0", "0x0c0330"}, {"0000:00:1a.0", "0x0c0320"}, {"0000:03:00.0", "0x0c0330"}};
    fs::create_directories(root / "bus/pci/devices");
    for (const auto& [name, pciClass] : pci) {
        fs::create_directories(root / "devices" / name);
        std::ofstream(root / "devices" / name / "class") << pciClass << "\n";
        fs::create_directory_symlink(root / "devices" / name, root / "bus/pci/devices" / name);
    }
    const fs::path platform = root / "bus/platform/drivers/xhci-hcd";
    fs::create_directories(platform);
    fs::create_directories(root / "devices/xhci-hcd.0.auto");
    fs::create_directory_symlink(root / "devices/xhci-hcd.0.auto", platform / "xhci-hcd.0.auto");
    fs::create_directory_symlink(root / "devices", platform / "module");
    std::ofstream(platform / "bind") << "";

    CBLMachine machine = BLReadMachine(root.string());
    EXPECT_EQ(machine.SysfsError, "");
    EXPECT_EQ(machine.Controllers, 3u);
    fs::remove_all(root);
}
