#!/bin/busybox sh
# The initramfs's init: loads the USB modules, attaches the USB/IP fakes, runs
# the console scenario with VOLTARIS_BENCH=linux and prints everything it
# learned to the serial console between "=== NAME" marker lines.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /work
echo "=== KERNEL $(uname -r) $(cat /proc/version)"

for module in usb-common usbcore xhci-hcd xhci-pci hid usbhid hid-generic scsi_common scsi_mod usb-storage \
              usbip-core vhci-hcd; do
    # usbcore keeps its default autosuspend (2 s): idle hubs suspend between
    # the requests, as on a real machine.
    case $module in
    vhci-hcd) options=num_controllers=1 ;;
    *) options= ;;
    esac
    insmod /lib/modules/$module.ko $options || echo "=== INSMOD FAILED $module"
done
# The stick as a disk with a file system; what the kernel has built in has
# no module.
for module in crct10dif_common crc-t10dif crc64 crc64-rocksoft t10-pi sd_mod fat vfat nls_cp437 nls_utf8; do
    [ ! -f /lib/modules/$module.ko ] || insmod /lib/modules/$module.ko || echo "=== INSMOD FAILED $module"
done

# Waits up to 30 s until at least $2 device directories match the pattern $1.
# until TENTHS COMMAND...: runs COMMAND every 0.1 s until it succeeds, at most TENTHS times.
until_ok() {
    local tenths=$1 tries=0
    shift
    while ! "$@" && [ $tries -lt "$tenths" ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}
count_at_least() { [ "$(ls -d $1 2>/dev/null | wc -l)" -ge "$2" ]; }
wait_for() { until_ok 300 count_at_least "$1" "$2"; }
# QEMU's devices: the hub, the keyboard and the stick on root ports 1 to 3
# (the stick on the USB 3 bus), the mouse below the hub.
xhci_devices='/sys/bus/pci/drivers/xhci_hcd/*/usb*/[0-9]-[0-9]'
wait_for "$xhci_devices" 3
wait_for "$xhci_devices/[0-9]-[0-9].[0-9]" 1

usbip_fake device 0 /work/device.log &
usbip_fake hub 1 /work/hub.log &
wait_for '/sys/devices/platform/vhci_hcd.0/usb*/*-[12]' 2
# The glob is expanded at each try: the hub's files appear only once it is set up.
hub_has_four_ports() { grep -qs '^4$' /sys/devices/platform/vhci_hcd.0/usb*/*-2/maxchild; }
until_ok 300 hub_has_four_ports
sleep 1  # let the hub driver finish with the fake hub's ports

cd /work
# The fake keyboard is device 0 and the fake hub device 1 on the USB/IP
# controller (SH 1). The pauses let the drivers act on a test mode if they
# still could: the device log must show nothing reaching the keyboard, and
# the hub in its test mode must not autosuspend. The keyboards and the
# mouse make voltaris ask before each test mode that stops them (OK); with
# the stick mounted, the root-port TEST_J is refused first (CANCEL).
{
    printf '%s\n' 0 LH LD LB "TD DEVICE_DESCRIPTOR 2" "TP SS_TX_COMPLIANCE_MODE 8" "TP SS_TX_COMPLIANCE_MODE 4" \
        "TP TEST_PACKET 4" OK "TP SUSPEND 2" "TP RESUME 2" E LD "SH 1" "TP TEST_J 1" LD LB "TD DEVICE_DESCRIPTOR 0" \
        "TD RESET 0" "TD DEVICE_DESCRIPTOR 0" "TP TEST_PACKET 2 0"
    sleep 3
    printf '%s\n' E "TD TEST_PACKET 1"
    sleep 3
    cat /sys/devices/platform/vhci_hcd.0/usb*/*-2/power/runtime_status >/work/hub-runtime.txt
    printf '%s\n' LB "TD TEST_PACKET 0" OK
    sleep 3
    stick_there() { ls /sys/block | grep -q '^sd'; }
    until_ok 100 stick_there
    mkdir -p /mnt
    mount -t vfat -o ro,codepage=437,iocharset=utf8 "/dev/$(ls /sys/block | grep -m1 '^sd')" /mnt ||
        { echo "=== MOUNT FAILED"; dmesg | tail -5; } >&2
    printf '%s\n' E LD "SH 0" "TP TEST_J 4" CANCEL "TP TEST_J 4" OK EXIT
} | VOLTARIS_BENCH=linux VOLTARIS_TRACE=/work/trace.txt voltaris /C >/work/console.txt 2>/work/stderr.txt
echo "=== EXIT $?"
umount -l /mnt
# The runs that follow confirm ahead, as a driving program does.
export VOLTARIS_CONFIRM_IN_USE=1

# The connection monitor on the fake hub's root port of the USB/IP
# controller (controller 1, root port 2): the hub is unplugged, then a new
# one is plugged in.
VOLTARIS_TRACE=/work/monitor-trace.txt monitor_probe 1 2 30 >/work/monitor.txt 2>&1 &
probe=$!
# Two polls answered: the kernel no longer holds the root hub (it may still
# be trying the keyboard left in its test mode, and a request waits for it).
two_polls_answered() { [ "$(grep -cs 'GetPortStatus root:2 ' /work/monitor-trace.txt)" -ge 2 ]; }
until_ok 300 two_polls_answered
echo 1 >/sys/devices/platform/vhci_hcd.0/detach
sleep 3
usbip_fake hub 1 /work/hub2.log &
wait $probe
echo "MONITOR EXIT $?" >>/work/monitor.txt
wait_for '/sys/devices/platform/vhci_hcd.0/usb*/*-2' 1
echo "=== AFTER MONITOR"
ls -d /sys/devices/platform/vhci_hcd.0/usb*/*-[0-9] 2>/dev/null | sed 's|.*/||'

# Clean-up rebound the controller that TEST_J stopped: its devices come back.
wait_for "$xhci_devices" 3
wait_for "$xhci_devices/[0-9]-[0-9].[0-9]" 1
echo "=== AFTER EXIT"
ls -d $xhci_devices $xhci_devices/[0-9]-[0-9].[0-9] 2>/dev/null | sed 's|.*/||'

# SIGTERM while a root-port test mode holds the controller: the normal
# shut-down still rebinds it.
# The commands come through a FIFO that stays open, so voltaris waits for more.
mkfifo /work/input
VOLTARIS_BENCH=linux VOLTARIS_TRACE=/work/term.txt voltaris /C </work/input >/dev/null 2>&1 &
voltaris=$!
exec 3>/work/input
printf '%s\n' 0 "TP TEST_K 4" >&3
until_ok 300 grep -qs 'SetPortFeature root:4 21 2 0' /work/term.txt
kill -TERM $voltaris
wait $voltaris
echo "=== SIGTERM EXIT $?"
exec 3>&-
wait_for "$xhci_devices" 3
wait_for "$xhci_devices/[0-9]-[0-9].[0-9]" 1
echo "=== AFTER SIGTERM"
ls -d $xhci_devices $xhci_devices/[0-9]-[0-9].[0-9] 2>/dev/null | sed 's|.*/||'

# A bind that fails (the bind file covered by a read-only one): the rebind
# retries, says so on stderr and keeps the controller marked, and the next
# enumeration brings it back.
mkfifo /work/input2
VOLTARIS_BENCH=linux VOLTARIS_TRACE=/work/bind.txt voltaris /C </work/input2 >/work/bind-console.txt \
    2>/work/bind-stderr.txt &
voltaris=$!
exec 4>/work/input2
printf '%s\n' 0 "TP TEST_SE0_NAK 4" >&4
until_ok 300 grep -qs 'SetPortFeature root:4 21 3 0' /work/bind.txt
bindfile=$(ls -d /sys/bus/pci/drivers/xhci_hcd/bind)
mount --bind /proc/version "$bindfile" || echo "=== BIND FAULT NOT SET"
printf 'E\n' >&4
until_ok 600 grep -qs '^Rebind ' /work/bind.txt
umount "$bindfile"
printf '%s\n' E LD EXIT >&4
wait $voltaris
echo "=== BIND EXIT $?"
exec 4>&-
wait_for "$xhci_devices" 3
echo "=== AFTER BIND"
ls -d $xhci_devices $xhci_devices/[0-9]-[0-9].[0-9] 2>/dev/null | sed 's|.*/||'
echo "=== bind"
cat /work/bind.txt
echo "=== bind-stderr"
cat /work/bind-stderr.txt
echo "=== term"
cat /work/term.txt
for part in console stderr trace device hub hub-runtime monitor monitor-trace; do
    echo  # the console's last line may end in a progress dot
    echo "=== $part"
    cat /work/$part.*
done
echo "=== DONE"
poweroff -f
