// The driver-stack configuration handed to the stack switcher.
#pragma once

#include "trialkit/trialkit.h"

// Appends the five rows that describe the compliance driver stack.
void AddStackConfigRows(CIniArgs& config);
