#!/usr/bin/env bash
# Boots Debian's kernel in QEMU (TCG, no KVM needed) with QEMU's xHCI
# controller, a hub with a mouse, a keyboard and a storage stick, plus a fake
# high-speed keyboard and hub on the USB/IP virtual controller; runs the
# console scenarios of init.sh with VOLTARIS_BENCH=linux and judges them by
# their effects: what the fakes' own logs say reached the wire, which
# devices are back, and what voltaris told the user.
#   run_qemu_test.sh VOLTARIS USBIP_FAKE MONITOR_PROBE WORK_DIR
# The kernel package is downloaded into WORK_DIR/kernel once and kept there
# (again when the set of modules taken from it changes).
set -euo pipefail
voltaris=$1 fake=$2 probe=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)

for tool in qemu-system-x86_64 busybox cpio apt-get apt-cache dpkg-deb ldd timeout; do
    command -v "$tool" >/dev/null || { echo "missing $tool (./build.sh installs it)"; exit 1; }
done

# The kernel: the image package that linux-image-amd64 depends on today.
package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || { echo "apt-cache knows no linux-image-amd64"; exit 1; }
kernel=$work/kernel/$package
# The modules taken from it, below lib/modules/VERSION/kernel: USB, HID,
# SCSI with the disk driver's checksum helpers, and FAT for the stick.
modules=('drivers/usb/*' 'drivers/hid/*' 'drivers/scsi/*' block/t10-pi.ko 'lib/crc*.ko' crypto/crct10dif_common.ko
         'fs/fat/*' fs/nls/nls_cp437.ko fs/nls/nls_utf8.ko)
if [ "$(cat "$kernel/done" 2>/dev/null)" != "${modules[*]}" ]; then
    rm -rf "$kernel" && mkdir -p "$kernel"
    (cd "$kernel" && apt-get download -q "$package" >/dev/null 2>&1) || { echo "cannot download $package"; exit 1; }
    patterns=('./boot/vmlinuz-*')
    for module in "${modules[@]}"; do patterns+=("./lib/modules/*/kernel/$module"); done
    dpkg-deb --fsys-tarfile "$kernel"/*.deb | tar -x -C "$kernel" --wildcards "${patterns[@]}"
    rm -f "$kernel"/*.deb
    echo "${modules[*]}" >"$kernel/done"
fi

# The initramfs: busybox, voltaris and the fake with their libraries, the modules.
root=$work/initramfs
rm -rf "$root" && mkdir -p "$root"/{bin,proc,sys,dev,lib/modules}
cp "$(command -v busybox)" "$root/bin/busybox"
cp "$voltaris" "$root/bin/voltaris"
cp "$fake" "$root/bin/usbip_fake"
cp "$probe" "$root/bin/monitor_probe"
for library in $( (ldd "$voltaris"; ldd "$fake"; ldd "$probe") | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}' | sort -u); do
    mkdir -p "$root$(dirname "$library")" && cp -L "$library" "$root$library"
done
find "$kernel/lib/modules" -name '*.ko' -exec cp {} "$root/lib/modules/" \;
cp "$here/init.sh" "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"
rm -f "$work/stick.img" && truncate -s 4M "$work/stick.img" && busybox mkdosfs "$work/stick.img" >/dev/null

serial=$work/serial.log
status=0
timeout 240 qemu-system-x86_64 -nodefaults -display none -serial stdio -no-reboot -accel tcg -m 512 \
    -kernel "$kernel"/boot/vmlinuz-* -initrd "$work/initramfs.cpio" \
    -append 'console=ttyS0 quiet panic=-1' \
    -device qemu-xhci,id=xhci -device usb-hub,bus=xhci.0,port=1 -device usb-mouse,bus=xhci.0,port=1.1 \
    -device usb-kbd,bus=xhci.0,port=2 \
    -drive if=none,id=stick,format=raw,file="$work/stick.img" -device usb-storage,bus=xhci.0,port=3,drive=stick \
    </dev/null >"$serial" 2>&1 || status=$?
tr -d '\r' <"$serial" >"$serial.txt"
echo "kernel package: $package; booted: $(grep -m1 '^=== KERNEL ' "$serial.txt" | cut -d' ' -f3)"
[ "$status" -eq 0 ] || { cat "$serial.txt"; echo "QEMU ended with status $status"; exit 1; }

# The lines of one "=== NAME" section of the serial output.
section() { awk -v name="=== $1" '/^=== / {on = ($0 == name); next} on' "$serial.txt"; }
failures=0
expect() {  # expect SECTION TEXT: a line of the section contains TEXT
    section "$1" | grep -F -- "$2" >/dev/null || { echo "FAIL: no \"$2\" in $1"; failures=$((failures + 1)); }
}
expect_count() {  # expect_count SECTION TEXT N: at least N lines contain TEXT
    local n
    n=$(section "$1" | grep -cF -- "$2" || true)
    [ "$n" -ge "$3" ] || { echo "FAIL: \"$2\" $n times in $1, wanted $3"; failures=$((failures + 1)); }
}

grep -qx '=== EXIT 0' "$serial.txt" || { echo "FAIL: voltaris did not end with status 0"; failures=$((failures + 1)); }
grep -q '^=== INSMOD FAILED' "$serial.txt" && { echo "FAIL: a module did not load"; failures=$((failures + 1)); }
expect stderr "root-port test modes stop every device on that controller, keyboards included"

# LH, LD, LB: what QEMU attached, then the fakes on the USB/IP controller.
expect console "0  :  xHCI 0000:00:"
expect console "(1b36:000d) - 8 Ports"
expect console "1  :  vhci_hcd.0 - 30 Ports"
expect_count console "VID/PID 0x409/55aa, Address 1" 2
expect console "VID/PID 0x409/55aa, Address 1 - 8 Ports"
expect_count console "VID/PID 0x627/1, Address 3" 2
expect_count console "VID/PID 0x46f4/1, Address 4" 2
expect console "VID/PID 0x1209/1, Address 1"
expect console "VID/PID 0x1209/2, Address 2 - 4 Ports"
expect console " Enumeration Successful"
expect console "4 Device(s) Detected"

# The requests, in the trace.
expect trace "GetDescriptor dev@3 1 0 0 256 -> 0x00000000"
expect trace "SetPortFeature root:4 21 4 0 -> 0x00000000"
expect trace "SetPortFeature root:2 2 0 0 -> 0x00000000"
expect trace "ResumePort root:2 -> 0x00000000"
expect trace "SetPortFeature root:4 21 1 0 -> 0x00000000"
expect_count trace "Rebind 0000:00:" 2
expect trace "CleanupRailswap stack -> 0"
if section trace | grep -E '^Rebind .* -> ' | grep -vqF -- '-> 0x00000000'; then
    echo "FAIL: a rebind did not bring every device back"; failures=$((failures + 1))
fi

# Compliance Mode: refused on a USB 2.0 port with a reason; on the empty
# SuperSpeed port either in effect or reported as what the controller will do.
expect trace "SetPortLinkFeature root:4 5 10 0 -> 0x80002103"
expect stderr "root:4 is a USB 2.0 port"
compliance=$(section trace | grep -F 'SetPortLinkFeature root:8 5 10 0 -> ' || true)
case $compliance in
*"-> 0x00000000"*) ;;
*"-> 0xC0002001"*) expect stderr "root:8 is not in Compliance Mode yet" ;;
*) echo "FAIL: compliance on root:8 gave: $compliance"; failures=$((failures + 1)) ;;
esac

# Before a test mode that stops what the machine runs on, voltaris asked:
# the stick mounted on /mnt (with QEMU's keyboard and mouse) refused the
# root-port TEST_J until it was confirmed.
grep -q '^=== MOUNT FAILED' "$serial.txt" && { echo "FAIL: the stick was not mounted"; failures=$((failures + 1)); }
expect console "mounted on /mnt, the "
expect console "the mouse 0627:0001"
expect console ". A test mode on root:4 stops the whole controller until the next enumeration."
expect stderr "refused, nothing sent: controller 0000:00:"
expect trace "SetPortFeature root:4 21 1 0 -> 0x80002104 refused: controller 0000:00:"
expect trace "SetPortFeature root:4 21 1 0 -> 0x00000000 confirmed: controller 0000:00:"
expect trace "SetTestMode dev@1 4 -> 0x00000000 confirmed: device 3-1 carries the keyboard 1209:0001"

# A root port of the USB/IP controller takes no test mode, and is not rebound.
expect trace "SetPortFeature root:1 21 1 0 -> 0x80002103"
expect stderr "root:1 is a port of the USB/IP virtual controller"

# The hub in a hub command test mode is held open: it did not autosuspend.
expect trace "SetTestMode hub@2 4 -> 0x00000000"
expect hub-runtime "active"

# Compliance Mode on root:8 was ended by a warm reset at the next enumeration.
section trace | grep -E '^EndComplianceMode usb[0-9]+-port4 warm reset -> 0x00000000$' >/dev/null ||
    { echo "FAIL: no warm reset ended Compliance Mode"; failures=$((failures + 1)); }

# RESET of the fake keyboard: the kernel's device reset, after which the
# kernel read its descriptor again and voltaris's next read was answered.
expect trace "SetPortFeature root:1 4 0 0 -> 0x00000000 as device reset of"
expect_count trace "GetDescriptor dev@1 1 0 0 256 -> 0x00000000" 2
reset_seen=$(section device | awk '
    /^80 06 0100 0000 0100$/ { if (state == 0) state = 1; else if (state == 2) state = 3 }
    /^80 06 0100 0000 00(12|40)$/ { if (state == 1) state = 2 }
    END { print state + 0 }')
[ "$reset_seen" = 3 ] || { echo "FAIL: no descriptor read by the kernel between the two reads around RESET"; failures=$((failures + 1)); }

# The keyboard's test mode: usbhid let go first, so for the three seconds of
# the test nothing reached the device; the next thing it saw was voltaris
# asking whether it still answers, at the next enumeration.
expect device "00 03 0002 0400 0000"
expect trace "SetTestMode dev@1 4 -> 0x00000000"
after_test=$(section device | awk 'found { print; exit } /^00 03 0002 0400 0000$/ { found = 1 }')
[ "$after_test" = "80 00 0000 0000 0002" ] ||
    { echo "FAIL: during the device test mode the keyboard got \"$after_test\""; failures=$((failures + 1)); }
expect trace "EndTestMode 3-1"

# The hub's port test mode: the only suspend or test request the hub ever
# got, ended at the next enumeration by a reset of the hub, after which the
# kernel configured it anew.
hub_sent=$(section hub | grep -E '^23 03 00(02|15) ' | tr '\n' '|')
[ "$hub_sent" = "23 03 0015 0402 0000|" ] ||
    { echo "FAIL: the hub's port suspends and test modes were $hub_sent"; failures=$((failures + 1)); }
expect trace "EndTestMode 3-2 hub reset -> 0x00000000"
configured=$(section hub | awk '/^23 03 0015 0402 0000$/ { found = 1 } found && /^00 09 0001 0000 0000$/ { print "yes"; exit }')
[ "$configured" = yes ] || { echo "FAIL: the hub was not set up anew after its port test mode"; failures=$((failures + 1)); }

# EXIT after TEST_J left the controller rebound, with its devices back; so
# did SIGTERM after TEST_K, and the run whose bind failed once.
# The stick sits on port 3 of the USB 2.0 or the USB 3 root hub, as QEMU chooses.
for after in "AFTER EXIT" "AFTER SIGTERM" "AFTER BIND"; do
    for name in '1-1' '1-1\.1' '1-2' '[12]-3'; do
        section "$after" | grep -xE "$name" >/dev/null ||
            { echo "FAIL: $name did not come back ($after)"; failures=$((failures + 1)); }
    done
done

# The connection monitor, polling the fake hub's root port, saw the unplug
# and the plug that followed, and the kernel set up the new hub all the same
# (the monitor never cleared the hub's change bit).
expect monitor "READY"
monitor_seen=$(section monitor | grep -xE 'DISCONNECTED|CONNECTED' | tr '\n' ' ')
[ "$monitor_seen" = "DISCONNECTED CONNECTED " ] ||
    { echo "FAIL: the monitor saw: $monitor_seen"; failures=$((failures + 1)); }
expect monitor "MONITOR EXIT 0"
section "AFTER MONITOR" | grep -qx '3-2' || { echo "FAIL: the kernel did not set up the plugged hub"; failures=$((failures + 1)); }
expect monitor-trace "ClearPortFeature root:2 16 0 -> 0x00000000 acknowledged, not sent"

# A failed bind: retried, reported with the command that binds by hand, and
# the next enumeration brought the controller back.
grep -q '^=== BIND FAULT NOT SET' "$serial.txt" && { echo "FAIL: the bind fault was not set"; failures=$((failures + 1)); }
grep -qx '=== BIND EXIT 0' "$serial.txt" || { echo "FAIL: the bind run did not end with status 0"; failures=$((failures + 1)); }
bind_results=$(section bind | grep -E '^Rebind 0000:00:' | sed 's/.* -> //' | tr '\n' ' ')
case $bind_results in
"0x00000000"*|"") echo "FAIL: the covered bind file did not fail the rebind: $bind_results"; failures=$((failures + 1)) ;;
*"0x00000000"*) ;;
*) echo "FAIL: the controller never came back: $bind_results"; failures=$((failures + 1)) ;;
esac
expect bind "after 3 binds"
expect bind-stderr "could not be bound to its driver again"
expect bind-stderr "> /sys/bus/pci/drivers/xhci_hcd/bind"

# SIGTERM during a root-port test mode: status 128 + 15, and the rebind ran.
grep -qx '=== SIGTERM EXIT 143' "$serial.txt" ||
    { echo "FAIL: voltaris did not end with status 143 on SIGTERM"; failures=$((failures + 1)); }
expect term "SetPortFeature root:4 21 2 0 -> 0x00000000"
expect term "Rebind 0000:00:"
expect term "CleanupRailswap stack -> 0"

if [ "$failures" -ne 0 ]; then
    echo "---- serial output"
    cat "$serial.txt"
    exit 1
fi
echo "QEMU scenario passed"
