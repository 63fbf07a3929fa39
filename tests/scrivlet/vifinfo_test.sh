#!/usr/bin/env bash
# The vifinfo tool's output, notes and exit statuses.
#   vifinfo_test.sh VIFINFO SAMPLES_DIR
set -uo pipefail
vifinfo=$1 samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Whether the file matches the pattern; the pattern "" wants an empty file.
matches() {
    if [ -z "$2" ]; then [ ! -s "$1" ]; else grep -Eq -- "$2" "$1"; fi
}

# check NAME EXPECTED_STATUS STDOUT_PATTERN STDERR_PATTERN -- ARGS...
check() {
    local name=$1 status=$2 out=$3 err=$4
    shift 5
    "$vifinfo" "$@" >"$work/out" 2>"$work/err"
    local got=$?
    if [ "$got" -ne "$status" ] || ! matches "$work/out" "$out" || ! matches "$work/err" "$err"; then
        echo "FAIL $name: status $got (want $status)"; sed 's/^/  out: /' "$work/out" | head -5
        sed 's/^/  err: /' "$work/err" | head -5; failures=$((failures + 1))
    fi
}

printf '$Example_Name : "a;b" ; note\r\nDevice_Speed: 2\n\nConnector_Type: 1\nHub_Port_Number: 0x3\n' >"$work/Dev1.txt"
printf 'Connector_Type: 1\nHost_Speed: 1\nHub_Port_Number: 200\n' >"$work/hub.txt"
printf '; nothing\n' >"$work/empty.txt"

check list 0 '^\$Example_Name="a;b"$' '' -- "$work/Dev1.txt"
[ "$(wc -l <"$work/out")" -eq 4 ] || { echo "FAIL list: $(wc -l <"$work/out") lines"; failures=$((failures + 1)); }
check match 0 '^Device_Speed=2$' '' -- --match '.*speed' "$work/Dev1.txt"
check match-none 0 '' 'no field of .* matches "nothing"' -- --match nothing "$work/Dev1.txt"
check bad-pattern 2 '' 'invalid pattern "\(":' -- --match '(' "$work/Dev1.txt"
check device 0 '^speed: USB 3 gen 2x1$' '' -- --summary device "$work/Dev1.txt"
grep -qx 'valid: yes' "$work/out" || { echo "FAIL device: not valid"; failures=$((failures + 1)); }
check hub-invalid 3 '^valid: no$' '' -- --summary hub "$work/hub.txt"
check missing 1 '' "Couldn't open Vendor Info File: $work/none.txt\." -- "$work/none.txt"
check folder 1 '' "I/O read failure on Vendor Info File $work:" -- "$work"
check empty 0 '' 'note: .*empty.txt yields no field' -- "$work/empty.txt"
check usage 2 '' 'usage: vifinfo' --
check bad-role 2 '' 'device or hub' -- --summary host "$work/Dev1.txt"
check bad-option 2 '' 'unknown option' -- --list
check help 0 'usage: vifinfo' '' -- --help
if [ -d "$samples" ]; then
    check xml 0 '' 'XML Vendor Info File' -- "$samples/yaviks_vif.xml"
    check sample 0 '^USB_Suspend_May_Be_Cleared=NO$' '' -- --match 'usb_suspend.*' "$samples/scarlet_vif.txt"
fi
[ "$failures" -eq 0 ] && echo "vifinfo behaves as documented"
exit "$failures"
