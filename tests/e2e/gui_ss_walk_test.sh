#!/usr/bin/env bash
# Walks the SuperSpeed test dialog of the real binary in tmux on the built-in
# bench: the host and SuperSpeed hub list with their ports, "No Test
# Selected", transmitter compliance on empty hub and root ports, and on a
# port with a device attached the "Remove Downstream Device" box, answered
# with OK after an unplug from voltaris-sim, and with Cancel.
source "$(dirname "$0")/tmux_walk.sh" ss "$@"

# traced DESCRIPTION COUNT PATTERN: the trace holds COUNT lines matching the
# extended regular expression PATTERN.
traced() {
    local n
    n=$(grep -cE -- "$3" "$trace" 2>/dev/null)
    if [ "$n" = "$2" ]; then pass; else fail "$1: $n lines match \"$3\", not $2"; fi
}

# Empties the trace, so that what follows is checked on its own.
fresh_trace() { : > "$trace"; }

start_walk

check "main dialog" "Select Host Controller"
keys Tab Tab Tab Tab Tab Space Enter
check "the SuperSpeed test dialog" "SuperSpeed Test Modes"
check "the host row, marked simulated" "HOST: (simulated) Norvane"
check "the SuperSpeed hub row" "HUB: VID/PID 0x2b4e/41"
check_absent "no high-speed hub" "0x2b4e/412"

# EXECUTE with "NONE" sends nothing.
fresh_trace
keys Enter
check "no test" "No Test Selected"
traced "nothing sent" 0 "^SetPortLinkFeature "

# The hub is preselected with its port 1: transmitter compliance there.
fresh_trace
keys Tab Tab Down Enter
check "compliance chosen" "TX_COMPLIANCE_MODE"
check "compliance on the empty hub port" "Operation Successful"
traced "hub port 1 into compliance" 1 "^SetPortLinkFeature hub@5:1 5 10 0 -> 0x00000000"

# The host row lists the SuperSpeed root ports 5 to 8; 7 is empty.
fresh_trace
keys Tab Up Tab Tab Down Down Enter
check_match "root port 7 chosen" "TX_COMPLIANCE_MODE +\[v\] +7 "
traced "root port 7 into compliance" 1 "^SetPortLinkFeature root:7 5 10 0 -> 0x00000000"

# The card reader on root port 6 is asked away; after the unplug OK goes on.
fresh_trace
keys Up Enter
check "the remove box" "Remove Downstream Device"
traced "nothing sent while the device is attached" 0 "^SetPortLinkFeature "
env VOLTARIS_INSTANCE="$sock" "$sim" unplug 6 >/dev/null || fail "voltaris-sim unplug 6"
keys Enter
check "the box comes once more after the unplug" "Remove Downstream Device"
keys Enter
check_absent "the box is gone" "Remove Downstream Device"
check "compliance after the unplug" "Operation Successful"
traced "root port 6 into compliance" 1 "^SetPortLinkFeature root:6 5 10 0 -> 0x00000000"

# Cancel on the hub's root port 5 sends nothing and fails.
fresh_trace
keys Up Enter
check "the remove box again" "Remove Downstream Device"
keys Escape
check "cancelled" "Operation Failed"
traced "nothing sent after Cancel" 0 "^SetPortLinkFeature "

keys BTab BTab BTab BTab Enter
check "back in the main dialog" "Select Host Controller"
keys Escape
check "voltaris ended" "voltaris ended"

finish_walk
