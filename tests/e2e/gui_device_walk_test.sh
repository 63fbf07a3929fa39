#!/usr/bin/env bash
# Walks the device test dialog of the real binary in tmux on the built-in
# simulated bench: picks the camera on root port 2, runs the commands of the
# list, loops the descriptor read, steps both single-step sequences, and puts
# the camera into each test mode, where the next EXECUTE re-enumerates and
# reports it gone until it is power-cycled. Every command is checked on the
# screen and in the bench trace.
source "$(dirname "$0")/tmux_walk.sh" device "$@"

traced() {  # traced DESCRIPTION PREFIX N: the trace holds N requests starting with PREFIX
    for _ in $(seq 50); do
        [ "$(grep -c "^$2" "$trace" 2>/dev/null)" = "$3" ] && { pass; return; }
        sleep 0.1
    done
    fail "$1: $(grep -c "^$2" "$trace" 2>/dev/null) requests \"$2\", not $3"
}

# command N: with the command combo focused, choose entry N of the list.
command_entry() {
    local moves=()
    for _ in $(seq 14); do moves+=(Up); done
    for _ in $(seq "$1"); do moves+=(Down); done
    keys "${moves[@]}"
}

# Focus order of the dialog: EXECUTE, Return To Main, command combo,
# Enumerate Bus, device list, address box (the status window is no tab stop).
start_walk

check "main dialog" "Select Host Controller"
keys Enter
check "TEST opens the device test dialog" "xHCI HS Voltaris - Device Test"
check "the USB 2.0 devices are listed, the port readable" "VID/PID 0x1c4d/a20, A"
check "the port of a cut device row" "Port 2"
keys Tab Tab Tab Tab Down Down Down  # the camera, row 4
keys BTab BTab                       # the command combo

command_entry 8
check "DEVICE DESCRIPTOR chosen" "DEVICE DESCRIPTOR"
keys Enter
check "descriptor dump" "Get Device Descriptor Raw Value:"
traced "descriptor read" "GetDescriptor dev@4 1 0 0" 1

command_entry 5; keys Enter
traced "SUSPEND" "SetPortFeature root:2 2 0 0" 1
check "SUSPEND result" "Operation Successful"
command_entry 6; keys Enter
traced "RESUME" "ResumePort root:2" 1
command_entry 7; keys Enter
traced "RESET" "SetPortFeature root:2 4 0 0" 1
command_entry 11; keys Enter
traced "ENABLE WAKEUP" "EnableRemoteWakeup dev@4" 1
command_entry 12; keys Enter
traced "DISABLE WAKEUP" "DisableRemoteWakeup dev@4" 1
check "DISABLE WAKEUP result" "Operation Successful"

# Single steps: the combo is disabled meanwhile, the focus goes on to EXECUTE
# and Enter presses Step; afterwards Shift+Tab goes back to the combo.
command_entry 14; keys Enter
check "stepping" "<Step>"
traced "setup stage" "DoControlTransferSingleStep dev@4 8006000100001200 8 0" 1
keys Enter
check "data stage dump" "Get Device Descriptor Raw Value:"
traced "data stage" "DoControlTransferSingleStep dev@4 18 1" 1
keys Enter
check "stepping ends" "<Execute>"
traced "status stage" "DoControlTransferSingleStep dev@4 0 2" 1
keys BTab BTab BTab
command_entry 13; keys Enter
check "set feature stepping" "<Step>"
traced "set feature setup" "DoControlTransferSingleStep dev@4 0003003200000000 8 0" 1
keys Enter
check "set feature stepping ends" "<Execute>"
traced "set feature status stage" "DoControlTransferSingleStep dev@4 0 2" 2
keys BTab BTab BTab

# The loop reads every 100 ms until stopped.
command_entry 9; keys Enter
check "looping" "<Stop Looping>"
sleep 1
reads=$(count "GetDescriptor dev@4")
if [ "$reads" -ge 6 ]; then passed=$((passed + 1)); else fail "only $reads descriptor reads while looping"; fi
keys Enter
check "loop stopped" "<Execute>"
stopped=$(count "GetDescriptor dev@4")
sleep 0.5
traced "no reads after the stop" "GetDescriptor dev@4" "$stopped"
keys BTab BTab BTab

# SET ADDRESS: the focus selects the box's text, 9 replaces it.
command_entry 10
keys Tab Tab Tab 9 Enter
traced "SET ADDRESS" "SetAddress dev@4 9 " 1
keys BTab BTab BTab

# Each test mode: the next EXECUTE enumerates and finds the camera gone; a
# power cycle and Enumerate Bus bring it back.
for mode in 4 1 2 3; do
    command_entry "$mode"; keys Enter
    traced "test mode $mode" "SetTestMode dev@[0-9]* $mode" 1
    enumerations=$(count "Enumerate bench")
    keys Enter
    check "test mode $mode: the camera is gone" "No Devices Present."
    traced "test mode $mode: EXECUTE enumerated first" "Enumerate bench" $((enumerations + 1))
    VOLTARIS_INSTANCE="$sock" "$sim" cycle 2 >/dev/null || fail "voltaris-sim cycle 2"
    keys Enter  # the focus left the disabled combo for Enumerate Bus
    check "test mode $mode: enumerated again" "Enumeration Successful"
    keys Tab Down Down Down Down BTab BTab
done

keys Escape
check "back in the main dialog" "Select Host Controller"
keys Escape
for _ in $(seq 100); do [ -s "$work/status" ] && break; sleep 0.1; done
if [ "$(cat "$work/status" 2>/dev/null)" = "EXIT=0" ]; then passed=$((passed + 1)); else
    fail "voltaris ended with $(cat "$work/status" 2>/dev/null)"; fi

finish_walk
