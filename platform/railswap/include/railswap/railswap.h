// Railswap: moves the selected USB host controller between the operating
// system's driver stack and the compliance stack.
#pragma once

#include "corekit/corekit.h"
#include "trialkit/trialkit.h"

#include <cstdint>

// Result values of InitRailswap.
constexpr int32_t RAILSWAP_OK = 0;
constexpr int32_t RAILSWAP_REBOOT_NEEDED = 1;
constexpr int32_t RAILSWAP_NO_HOST = -1;

// Switches to the compliance stack as the rows describe. With the row
// ("CommandLineMode", "ListHostController") it lists the compliance-capable
// controllers into out as "N|" followed by one "i: <host ID>\n" line per
// controller; with ("CommandLineMode", "SelectHostController") followed by a
// row whose key is the chosen host's entry, it switches that controller; with
// neither it switches the stack for dialog mode. 0 success, 1 reboot needed,
// -1 no host controller, anything else a driver load error.
int32_t InitRailswap(const CIniArgs& settings, CSafeString& out, int32_t reserved);

// Restores the operating system's own stack.
int32_t CleanupRailswap(const CIniArgs& settings, CSafeString& out, int32_t reserved);
