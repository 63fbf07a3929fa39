#!/usr/bin/env bash
# Walks the host test dialog of the real binary in tmux on the built-in
# simulated bench: root port 2 (the camera's) through every port command, the
# re-enumeration after a test mode, "Disconnect Notify" after TEST_FORCE_ENABLE
# with the camera unplugged and plugged again through voltaris-sim, and the
# device commands on the flash drive. Every command is checked on the screen
# and in the bench trace.
source "$(dirname "$0")/tmux_walk.sh" host "$@"

traced() {  # traced DESCRIPTION PREFIX N: the trace holds N requests starting with PREFIX
    for _ in $(seq 50); do
        [ "$(grep -c "^$2" "$trace" 2>/dev/null)" = "$3" ] && { pass; return; }
        sleep 0.1
    done
    fail "$1: $(grep -c "^$2" "$trace" 2>/dev/null) requests \"$2\", not $3"
}

# entry N: with a command combo focused, choose its entry N.
entry() {
    local moves=()
    for _ in $(seq 9); do moves+=(Up); done
    for _ in $(seq "$1"); do moves+=(Down); done
    keys "${moves[@]}"
}

bench() { VOLTARIS_INSTANCE="$sock" "$sim" "$@" >/dev/null || fail "voltaris-sim $*"; }

# Focus order of the dialog: EXECUTE, Return To Main, device list, Enumerate
# Bus, device command combo, address box, port command combo, Disconnect
# Notify, port number combo (the status window is no tab stop).
start_walk

check "main dialog" "Select Host Controller"
keys Tab Tab Tab Tab Space
check "Host Controller/System chosen" "(*) Host Controller/System"
keys Enter
check "TEST opens the host test dialog" "xHCI HS Voltaris - Host Test"
check "Disconnect Notify starts disabled" "[ ] Disconnect Notify"
keys Tab Tab Tab Tab Tab  # the port command combo
keys Tab Down             # port number 2
keys BTab

entry 6; keys Enter
traced "SUSPEND" "SetPortFeature root:2 2 0 0" 1
check "SUSPEND result" "Operation Successful"
entry 7; keys Enter
traced "RESUME" "ResumePort root:2" 1
entry 8; keys Enter
traced "RESET" "SetPortFeature root:2 4 0 0" 1

# After each test mode the controller is halted: the next EXECUTE enumerates first.
for mode in 1 2 3 4 5; do
    enumerations=$(count "Enumerate bench")
    entry "$mode"; keys Enter
    traced "test mode $mode" "SetPortFeature root:2 21 $mode 0" 1
    [ "$mode" = 1 ] || traced "test mode $mode: enumerated first" "Enumerate bench" $((enumerations + 1))
done
check "TEST_FORCE_ENABLE result" "Operation Successful"

keys Tab Space
check "Disconnect Notify checked" "[X] Disconnect Notify"
bench unplug 2
check "unplug reported" "Disconnect Event Detected!"
bench plug 2
check "plug reported" "Connect Event Detected!"
traced "both changes acknowledged" "ClearPortFeature root:2 16 0" 2
keys BTab
entry 8; keys Enter
check "another port command ends the watch" "[ ] Disconnect Notify"
polls=$(count "GetPortStatus root:2")
sleep 2
traced "no polls after the watch ended" "GetPortStatus root:2" "$polls"

# Device commands on the flash drive (row 2, address 2).
keys BTab BTab BTab Down Tab Tab  # the device list, row 2, the device command combo
entry 1; keys Enter
check "descriptor dump" "Get Device Descriptor Raw Value:"
traced "DEVICE DESCRIPTOR" "GetDescriptor dev@2 1 0 0" 1
entry 3; keys Enter
traced "ENABLE WAKEUP" "EnableRemoteWakeup dev@2" 1
entry 4; keys Enter
traced "DISABLE WAKEUP" "DisableRemoteWakeup dev@2" 1

# Single steps: the focus goes on to EXECUTE and Enter presses Step.
entry 6; keys Enter
check "stepping" "<Step>"
traced "setup stage" "DoControlTransferSingleStep dev@2 8006000100001200 8 0" 1
keys Enter
traced "data stage" "DoControlTransferSingleStep dev@2 18 1" 1
check "data stage dump" "Get Device Descriptor Raw Value:"
keys Enter
check "stepping ends" "<Execute>"
traced "status stage" "DoControlTransferSingleStep dev@2 0 2" 1
keys BTab BTab
entry 5; keys Enter
check "set feature stepping" "<Step>"
keys Enter
check "set feature stepping ends" "<Execute>"
traced "set feature stages" "DoControlTransferSingleStep dev@2 0003003200000000 8 0" 1
keys BTab BTab

# SET_ADDRESS: the focus selects the box's text, 9 replaces it.
entry 2
keys Tab 9 Enter
traced "SET_ADDRESS" "SetAddress dev@2 9 " 1

keys Escape
check "back in the main dialog" "Select Host Controller"
keys Escape
for _ in $(seq 100); do [ -s "$work/status" ] && break; sleep 0.1; done
if [ "$(cat "$work/status" 2>/dev/null)" = "EXIT=0" ]; then passed=$((passed + 1)); else
    fail "voltaris ended with $(cat "$work/status" 2>/dev/null)"; fi

finish_walk
