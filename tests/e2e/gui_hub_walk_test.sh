#!/usr/bin/env bash
# Walks the hub test dialog of the real binary in tmux on the built-in bench:
# the hub with its downstream devices and ports, a port test mode, PARENT
# TEST_PACKET without the pending re-enumeration, a hub single-step
# sequence, a downstream device descriptor read, the connection monitor
# after TEST_FORCE_ENABLE with an unplug from voltaris-sim, and Return To
# Main, after which the device dialog lists the whole bus again.
source "$(dirname "$0")/tmux_walk.sh" hub "$@"

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
keys Tab Tab Tab Space Enter
check "the hub test dialog" "xHCI HS Voltaris - Hub Test"
check "the high-speed hub is chosen" "VID/PID 0x2b4e/412, A"
check "its drive is listed" "VID/PID 0x3a17/1001, A"
check "its keyboard is listed" "VID/PID 0x3a17/2002, A"
# At 80x24 the rows are cut; Right scrolls the focused hub list sideways.
keys Tab Tab Right
check "the hub row read whole" "Address 1  4 Ports"
keys Left BTab BTab
check "the hub row back" "VID/PID 0x2b4e/412, A"
check_absent "the camera on the root port is not below the hub" "0x1c4d/a20"

# Focus starts on EXECUTE; Shift+Tab reaches the port number. Its list
# holds the hub's ports 1 to 4.
keys BTab F4
for port in 1 2 3 4; do
    if screen | grep -qE "(x|│)$port +(x|│)"; then pass; else fail "port $port is not in the port list"; screen; fi
done
if screen | grep -qE "(x|│)5 +(x|│)"; then fail "the port list goes beyond 4"; else pass; fi
keys Escape

# Port 3 into TEST_PACKET.
fresh_trace
keys Down Down BTab Down Down Down Down Enter
check_match "port command chosen" "TEST_PACKET +\[v\] +3 "
check "port test mode run" "Operation Successful"
traced "Test Packet on hub port 3" 1 "^SetPortFeature hub@1:3 21 4 0 -> 0x00000000"

# PARENT TEST_PACKET puts root port 1 above the hub into Test Packet, without
# the re-enumeration the port test left pending.
fresh_trace
keys BTab Down Down Down Down Down Down Down Down Enter
check "hub command chosen" "PARENT TEST_PACKET"
traced "Test Packet on root port 1" 1 "^SetPortFeature root:1 21 4 0 -> 0x00000000"
traced "no re-enumeration before PARENT TEST_PACKET" 0 "^Enumerate "
check "parent test packet succeeded" "Operation Successful"

# SINGLE STEP GET DEV DESC on the hub: setup, data, status. The first press
# also runs the pending re-enumeration.
fresh_trace
keys Down Down Down Down Down Down
check "single step chosen" "SINGLE STEP GET DEV"
keys Enter
check "stepping" "<Step>"
traced "the pending re-enumeration ran first" 1 "^Enumerate "
keys Enter
check "the data stage shows the descriptor" "Get Device Descriptor Raw Value:"
check "the hub's descriptor" "12 1 0 2 9 "
keys Enter
check "the sequence is over" "<Execute>"
check "status stage succeeded" "Operation Successful"
traced "three stages sent to the hub" 3 "^DoControlTransferSingleStep hub@1 .* -> 0x00000000"

# DEVICE DESCRIPTOR of the downstream drive.
fresh_trace
keys BTab BTab BTab Down Enter
check "the drive's descriptor" "Get Device Descriptor Raw Value:"
traced "descriptor read from the drive" 1 "^GetDescriptor dev@2 1 0 0 256 -> 0x00000000"

# TEST_FORCE_ENABLE on port 3 (still chosen), then the monitor sees the
# keyboard unplugged.
keys Tab Tab Down Down Down Down Down
check "force enable chosen" "TEST_FORCE_ENABLE"
keys Enter
check_match "force enable run on port 3" "TEST_FORCE_ENABLE +\[v\] +3 "
check "force enable succeeded" "Operation Successful"
keys Tab Space
check "Disconnect Notify checked" "[X] Disconnect Notify"
env VOLTARIS_INSTANCE="$sock" "$sim" unplug 1.3 >/dev/null || fail "voltaris-sim unplug 1.3"
check "the unplug is noticed" "Disconnect Event Detected!"

# Return To Main clears the hub selection: the device dialog lists the
# devices of the whole bus.
keys BTab BTab BTab BTab BTab BTab BTab Enter
check "back in the main dialog" "Select Host Controller"
keys BTab Space Enter
check "the device test dialog" "xHCI HS Voltaris - Device Test"
check "the camera on the root port is listed again" "0x1c4d/a20"
keys Escape
check "main dialog again" "Select Host Controller"
keys Escape
check "voltaris ended" "voltaris ended"

finish_walk
