// Railswap: moves the selected USB host controller between the operating
// system's driver stack and the compliance stack.
#pragma once

#include "corekit/corekit.h"
#include "trialkit/trialkit.h"

#include <cstdint>

// The result of a stack switch, a type of its own: neither a component
// status nor a bench result. Any other value is a driver load error.
enum ERailswapResult : int32_t {
    RAILSWAP_OK = 0,
    RAILSWAP_REBOOT_NEEDED = 1,
    RAILSWAP_NO_HOST = -1,
};

// Switches to the compliance stack as the rows describe. With the row
// ("CommandLineMode", "ListHostController") it lists the compliance-capable
// controllers into out as "N|" followed by one "i: <host ID>\n" line per
// controller; with ("CommandLineMode", "SelectHostController") followed by a
// row whose key is the chosen host's entry, it switches that controller; with
// neither it switches the stack for dialog mode. 0 success, 1 reboot needed,
// -1 no host controller, anything else a driver load error.
ERailswapResult InitRailswap(const CIniArgs& settings, CSafeString& out, int32_t reserved);

// Restores the operating system's own stack.
ERailswapResult CleanupRailswap(const CIniArgs& settings, CSafeString& out, int32_t reserved);
