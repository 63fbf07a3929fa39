// Which bench voltaris drives. VOLTARIS_BENCH names one ("sim", "sim:PATH",
// "linux"); unset, it is this machine's own xHCI controllers when it has
// any. The simulated bench is only ever driven when it was asked for.
#pragma once

#include <string>

enum class EBLBench {
    Sim,           // the built-in simulated bench
    SimFile,       // a simulated bench from a bench file
    Linux,         // this machine's controllers
    NoController,  // nothing to drive: the machine has no xHCI controller
    Refused,       // the choice cannot be used
};

// What the choice needs to know of the machine.
struct CBLMachine {
    std::string SysfsError;    // why sysfs could not be read; empty when it could
    unsigned Controllers = 0;  // its xHCI controllers
    bool Root = false;         // the process runs as root
};

struct CBLBenchChoice {
    EBLBench Bench = EBLBench::Refused;
    std::string Path;  // the bench file (SimFile)
    // One line for stderr: why the choice is refused (Refused), that the
    // bench is simulated (Sim, SimFile) or that there is nothing to drive
    // (NoController); empty otherwise.
    std::string Line;
};

// The choice from the value of VOLTARIS_BENCH (null or empty: unset) and the machine.
CBLBenchChoice BLChooseBench(const char* asked, const CBLMachine& machine);

// This machine as sysfs below sysfsRoot shows it, and whether this process is root.
CBLMachine BLReadMachine(const std::string& sysfsRoot = "/sys");
