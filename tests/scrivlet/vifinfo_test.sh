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
    timeout 20 "$vifinfo" "$@" >"$work/out" 2>"$work/err"
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
check long-pattern 2 '' 'pattern refused: Pattern of 65537 bytes' -- --match "$(head -c 65537 /dev/zero | tr '\0' a)" "$work/Dev1.txt"
check deep-pattern 2 '' 'pattern refused: Pattern "\(\(\(' -- --match "$(printf '(%.0s' {1..300})a$(printf ')%.0s' {1..300})" "$work/Dev1.txt"
printf '%s: 1\n' "$(head -c 100 /dev/zero | tr '\0' a)" >"$work/long.txt"
check costly-pattern 2 '' 'pattern refused: .*needs too many backtracking steps' -- --match '(a|aa)*[bc]' "$work/long.txt"
printf '\xEF\xBB\xBFConnector_Type: 1\nDevice_Speed: 2\n' >"$work/bom.txt"
check bom 0 '^valid: yes$' '' -- --summary device "$work/bom.txt"
printf '\xFF\xFEC\0:\0 \0001\0' >"$work/utf16.txt"
check utf16 0 '^C=1$' '' -- "$work/utf16.txt"
mkfifo "$work/fifo.txt"
SECONDS=0
check fifo 1 '' 'It is a FIFO, not a regular file' -- "$work/fifo.txt"
[ "$SECONDS" -lt 5 ] || { echo "FAIL fifo: took ${SECONDS}s"; failures=$((failures + 1)); }
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
cat >"$work/hub.xml" <<'XML'
<?xml version="1.0"?>
<vif:VIF xmlns:vif="http://usb.org/VendorInfoFile.xsd">
  <vif:Component><vif:Port_Label>0</vif:Port_Label><vif:Connector_Type value="0"/><vif:Host_Speed value="1"/><vif:Hub_Port_Number value="2"/></vif:Component>
  <vif:Component><vif:Port_Label>1</vif:Port_Label><vif:Connector_Type value="1"/><vif:Host_Speed value="1"/><vif:Hub_Port_Number value="200"/></vif:Component>
</vif:VIF>
XML
check xml-summary 3 '^valid: no$' '' -- --summary hub "$work/hub.xml"
check xml-summary-0 0 '^port: 2$' '' -- --component 0 --summary hub "$work/hub.xml"
check xml-summary-1 3 '^valid: no$' '' -- --component 1 --summary hub "$work/hub.xml"
check bad-component 2 '' '--component takes a number' -- --component x "$work/hub.xml"
check text-component 2 '' 'has no component 0 \(it has 0\)' -- --component 0 "$work/Dev1.txt"
printf '<?xml version="1.0"?>\n<!DOCTYPE VIF SYSTEM "/etc/passwd">\n<VIF/>\n' >"$work/outside.xml"
check xml-outside 1 '' 'refers to an outside file' -- "$work/outside.xml"
# Options in any order, several files headed by name, the gravest status.
check any-order 0 '^Device_Speed=2$' '' -- "$work/Dev1.txt" --match '.*speed'
check two-files 0 "^==> $work/hub.txt <==\$" '' -- --match connector_type "$work/Dev1.txt" "$work/hub.txt"
check gravest 1 "^==> $work/Dev1.txt <==\$" "Couldn't open" -- "$work/Dev1.txt" "$work/none.txt" --summary device
check mode-clash 2 '' 'choose one of' -- --match a --name b "$work/Dev1.txt"
check name 0 '^\$Example_Name="a;b"$' '' -- --name '$example_name' "$work/Dev1.txt"
check dollar-hint 0 '' 'write \\\$Example_Name, or --name' -- --match '$Example_Name' "$work/Dev1.txt"
check components 0 '^1: port label 1$' '' -- --components "$work/hub.xml"
check why-missing 3 '^why: Host_Speed is missing$' '' -- --summary hub "$work/Dev1.txt"
check why-components 3 '^why: the file has 2 components; --component N reads one of them$' '' -- --summary hub "$work/hub.xml"
check why-rule 3 '^why: the connector is neither Type-A' '' -- --component 1 --summary hub "$work/hub.xml"
printf 'A: 1\rSVID1_SOP: 18d1\r$Port_Label: %%s\r' >"$work/cr.txt"
check warnings-note 0 '^A=1$' 'has 2 warnings; --warnings lists them' -- "$work/cr.txt"
check warnings 0 '^A=1$' 'cr.txt:3: \$Port_Label: %s: a text value stands in double quotes' -- --warnings "$work/cr.txt"
# JSON for every mode: one object per file, valid also for hostile bytes.
json() {  # NAME JQ_TEST ARGS...
    local name=$1 test=$2; shift 2
    timeout 20 "$vifinfo" --json "$@" >"$work/out" 2>"$work/err"
    jq -e "$test" "$work/out" >/dev/null || { echo "FAIL json $name"; head -c 600 "$work/out"; failures=$((failures + 1)); }
}
json list '.[0].fields[1] == {"name":"Device_Speed","value":"2","numeric":2,"line":2}' "$work/Dev1.txt"
json summary '.[0].summary.valid == false and (.[0].summary.reasons | length) == 1' --summary hub "$work/hub.xml" --component 1
json components '.[0].component_list == [{"index":0,"port_label":"0"},{"index":1,"port_label":"1"}]' --components "$work/hub.xml"
json errors '.[1].error | test("Couldn.t open")' "$work/Dev1.txt" "$work/none.txt"
json warnings '.[0].warnings[0] == {"line":2,"text":"SVID1_SOP: 18d1","reason":"hexadecimal without 0x"}' --warnings "$work/cr.txt"
printf '$Bad: "\xff\xfe\x01\x1b[2J\\\"x"\n$Big: 0x1\nN: 0x10000000000000000\n' >"$work/hostile.txt"
json hostile '.[0].fields[0].value == "\ufffd\ufffd\u0001\u001b[2J\\\"x" and .[0].fields[1].numeric == null' "$work/hostile.txt"
printf '<?xml version="1.0" encoding="nowhere-7"?><VIF/>' >"$work/encoding.xml"
json hostile-xml '(.[0].error | test("outside file")) and (.[1].error | test("not known"))' "$work/outside.xml" "$work/encoding.xml"
check encoding 1 '' 'line 1, column 1: the encoding "nowhere-7" is not known' -- "$work/encoding.xml"
if [ -d "$samples" ]; then
    check xml 0 '^Connector_Type=2$' '' -- --match '^connector_type$' "$samples/yaviks_vif.xml"
    [ "$(wc -l <"$work/out")" -eq 2 ] || { echo "FAIL xml: $(wc -l <"$work/out") lines"; failures=$((failures + 1)); }
    check xml-component 0 '^DFP_VDO_Port_Number=1$' '' -- --component 1 "$samples/yaviks_vif.xml"
    [ "$(wc -l <"$work/out")" -eq 122 ] || { echo "FAIL xml-component: $(wc -l <"$work/out") lines"; failures=$((failures + 1)); }
    check xml-no-component 2 '' 'has no component 2 \(it has 2\)' -- --component 2 "$samples/yaviks_vif.xml"
    check sample 0 '^USB_Suspend_May_Be_Cleared=NO$' '' -- --match 'usb_suspend.*' "$samples/scarlet_vif.txt"
fi
[ "$failures" -eq 0 ] && echo "vifinfo behaves as documented"
exit "$failures"
