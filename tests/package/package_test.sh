#!/usr/bin/env bash
# Builds the Debian packages (./build.sh package), checks their contents and
# control fields, runs lintian, and installs them into a fresh Debian 12 root
# made with mmdebstrap from the machine's own apt sources, where voltaris,
# vifinfo, the manual and the library's development files are used.
#   package_test.sh SOURCE_DIR CACHE_DIR
# The root is kept in CACHE_DIR and made again only when its tool list changes.
set -euo pipefail
src=$1 cache=$2
mkdir -p "$cache"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$src/build.sh" package >/dev/null
debs=$src/build/packages
version=$(sed -n 's/^project(voltaris VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb() { echo "$debs/${1}_${version}_${arch}.deb"; }

# Contents: each file in the package it belongs to.
has() {  # has PACKAGE PATH...
    local package=$1 list path
    shift
    list=$(dpkg-deb -c "$(deb "$package")" | awk '{print $6}')
    for path in "$@"; do
        grep -qx "\./$path" <<<"$list" || fail "$package lacks /$path"
    done
}
has voltaris usr/bin/voltaris usr/bin/voltaris-sim usr/share/man/man1/voltaris.1.gz \
    usr/share/man/man1/voltaris-sim.1.gz usr/share/doc/voltaris/copyright
has voltaris usr/share/applications/voltaris.desktop usr/share/icons/hicolor/64x64/apps/voltaris.png \
    usr/share/icons/hicolor/scalable/apps/voltaris.svg
has voltaris usr/libexec/voltaris/voltaris-pkexec usr/share/polkit-1/actions/org.voltaris.pkexec.voltaris.policy
has libscrivlet1 "usr/lib/$multiarch/libscrivlet.so.1" "usr/lib/$multiarch/libscrivlet.so.1.0.0"
has libscrivlet-dev "usr/lib/$multiarch/libscrivlet.so" usr/include/scrivlet/scrivlet.h \
    usr/include/corekit/corekit.h "usr/lib/$multiarch/cmake/Scrivlet/ScrivletConfig.cmake" \
    "usr/lib/$multiarch/pkgconfig/scrivlet.pc"
has scrivlet-tools usr/bin/vifinfo usr/share/man/man1/vifinfo.1.gz
dpkg-deb -c "$(deb libscrivlet1)" | grep -q 'libscrivlet.so$' && fail "libscrivlet1 holds the development link"
dpkg-deb -c "$(deb voltaris)" | grep -q 'vifinfo' && fail "voltaris holds vifinfo"

# Control fields.
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
for package in voltaris libscrivlet1 libscrivlet-dev scrivlet-tools; do
    [ "$(field "$package" Version)" = "$version" ] || fail "$package version $(field "$package" Version)"
    [ -n "$(field "$package" Maintainer)" ] || fail "$package has no maintainer"
    [ "$(field "$package" Description | wc -l)" -ge 3 ] || fail "$package has no long description"
done
field voltaris Depends | grep -q 'libc6' || fail "voltaris depends on no shared library: $(field voltaris Depends)"
[ "$(field voltaris Recommends)" = pkexec ] || fail "voltaris recommends $(field voltaris Recommends)"
field libscrivlet-dev Depends | grep -q "libscrivlet1 (= $version)" || fail "libscrivlet-dev depends on $(field libscrivlet-dev Depends)"
field scrivlet-tools Depends | grep -q 'libscrivlet1' || fail "scrivlet-tools depends on $(field scrivlet-tools Depends)"
dpkg-deb -I "$(deb libscrivlet1)" shlibs | grep -q '^libscrivlet 1 libscrivlet1' || fail "libscrivlet1 has no shlibs entry"

# The manual pages format without a warning.
for page in "$src"/build/package/man/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The desktop entry: the menu's entry starts voltaris as root through the
# pkexec launcher, its "Simulated bench" action without root.
dpkg-deb --fsys-tarfile "$(deb voltaris)" | tar -xO ./usr/share/applications/voltaris.desktop >"$cache/voltaris.desktop"
entry=$(cat "$cache/voltaris.desktop")
problems=$(desktop-file-validate "$cache/voltaris.desktop" 2>&1) || fail "the desktop entry is not valid: $problems"
for line in 'Exec=/usr/libexec/voltaris/voltaris-pkexec' 'Actions=simulated;' '[Desktop Action simulated]' \
    'Name=Simulated bench' 'Exec=env VOLTARIS_BENCH=sim /usr/bin/voltaris'; do
    grep -qxF "$line" <<<"$entry" || fail "the desktop entry lacks $line"
done

# lintian: no errors. Warnings and notes are printed; README explains the ones left.
if ! lintian --fail-on error --no-tag-display-limit "$debs"/*.deb; then fail "lintian reports errors"; fi

# A fresh Debian 12 root with the tools the checks use.
tools=man-db,g++,cmake,pkg-config,make,pkexec
tools+=,python3-pytest,python3-pip,python3-venv  # python3-voltaris: its plugin and pip
root_tar=$cache/bookworm-$(echo "$tools" | md5sum | cut -c1-8).tar
if [ ! -f "$root_tar" ] || [ ! -s "$root_tar" ]; then
    echo "making a Debian 12 root (cached in $root_tar)"
    rm -rf "$root_tar" "$root_tar.part"
    mmdebstrap --quiet --format=tar --variant=apt --skip=cleanup/apt/lists --include="$tools" bookworm "$root_tar.part" \
        || { echo "FAIL: mmdebstrap could not make the root"; exit 1; }
    mv "$root_tar.part" "$root_tar"
fi
root=$(mktemp -d "$cache/root.XXXXXX")
daemons=()
# The root's own daemons end and its /proc is let go before the root is removed.
trap 'for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null; done
      umount -l "$root/proc" 2>/dev/null; mountpoint -q "$root/proc" || rm -rf "$root"' EXIT
tar -C "$root" -xf "$root_tar"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/debs" "$root/tmp/work"
cp "$debs"/*.deb "$root/tmp/debs/"
cp -r "$src/tests/scrivlet/consumer" "$root/tmp/work/consumer"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/debs/*.deb' >"$cache/install.log" 2>&1 \
    || { tail -n 20 "$cache/install.log"; echo "FAIL: the packages do not install"; exit 1; }

help=$(in_root voltaris '/?') || fail "voltaris /? ended with $?"
grep -q '/C' <<<"$help" || fail "voltaris /? printed no help: $help"
status=0
output=$(printf '0\nLD\nEXIT\n' | in_root env VOLTARIS_BENCH=sim VOLTARIS_INSTANCE="pkgtest$$" \
    sh -c 'cd /tmp/work && voltaris /C' 2>&1) || status=$?
[ "$status" = 0 ] || fail "voltaris /C ended with $status"
grep -q 'VID/PID 0x' <<<"$output" || fail "voltaris /C listed no device: $output"
grep -q '^voltaris: simulated bench (built in)' <<<"$output" || fail "voltaris /C did not say the bench is simulated"
grep -q '^0: (simulated) ' <<<"$output" || fail "the simulated controller is not marked: $output"
in_root test -s /tmp/work/CLStatus.txt || fail "no status file"

# Without root and without hardware, voltaris /C (VOLTARIS_BENCH unset) says
# what it says: a machine without sysfs, one without an xHCI controller, one
# with a controller that only root may drive (the root's /sys is a folder of
# the test's own making). Nothing is written where nothing may be touched.
mkdir -p "$root/tmp/user" && chmod 777 "$root/tmp/user"
as_user() { chroot "$root" runuser -u nobody -- env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 sh -c "cd /tmp/user && $*"; }
machine() {  # machine WHAT STATUS EXPECTED: voltaris /C as nobody ends with STATUS, saying EXPECTED on stderr
    local status=0 output
    rm -f "$root"/tmp/user/CL*.txt
    output=$(as_user 'voltaris /C </dev/null 2>&1') || status=$?
    [ "$status" = "$2" ] || fail "$1: voltaris /C ended with $status: $output"
    grep -qF "voltaris: $3" <<<"$output" || fail "$1: voltaris /C said: $output"
}
machine "no sysfs" 2 "cannot find this machine's xHCI host controllers: cannot read /sys/bus"
[ ! -e "$root/tmp/user/CLStatus.txt" ] || fail "no sysfs: a status file was written"
mkdir -p "$root/sys/bus/pci/devices" "$root/sys/devices/pci0000:00/0000:00:14.0"
machine "no controller" 1 "this machine has no xHCI host controller; VOLTARIS_BENCH=sim starts the simulated bench"
[ "$(cat "$root/tmp/user/CLStatus.txt" 2>/dev/null)" = $'COULD_NOT_FIND_HOST\r' ] || fail "no controller: status file"
echo 0x0c0330 >"$root/sys/devices/pci0000:00/0000:00:14.0/class"
ln -s ../../../devices/pci0000:00/0000:00:14.0 "$root/sys/bus/pci/devices/0000:00:14.0"
machine "a controller, no root" 2 "testing this machine's USB host controllers needs root"
[ ! -e "$root/tmp/user/CLStatus.txt" ] || fail "no root: a status file was written"

# polkit knows the policy: the root's own system bus and polkitd, for pkaction.
mount -t proc proc "$root/proc"
mkdir -p "$root/run/dbus"
daemons+=("$(in_root dbus-daemon --system --fork --print-pid)")
in_root /usr/lib/polkit-1/polkitd --no-debug >"$cache/polkitd.log" 2>&1 &
daemons+=($!)
policy=""
for _ in $(seq 50); do
    policy=$(in_root pkaction --action-id org.voltaris.pkexec.voltaris --verbose 2>&1) && break
    sleep 0.2
done
grep -q 'implicit active: *auth_admin_keep' <<<"$policy" || fail "pkaction does not know the policy: $policy"
grep -q 'org.freedesktop.policykit.exec.path -> /usr/bin/voltaris' <<<"$policy" || fail "the policy names no program: $policy"
grep -q 'org.freedesktop.policykit.exec.allow_gui -> true' <<<"$policy" || fail "the policy drops the display: $policy"
# pkexec refused (no authentication agent runs here): one line, status 2, voltaris not started.
status=0
output=$(as_user '/usr/libexec/voltaris/voltaris-pkexec /C </dev/null 2>&1') || status=$?
[ "$status" = 2 ] || fail "the pkexec launcher ended with $status: $output"
grep -q '^voltaris: pkexec did not start voltaris as root' <<<"$output" || fail "the pkexec launcher said: $output"
[ ! -e "$root/tmp/user/CLStatus.txt" ] || fail "the refused pkexec launcher started voltaris"
printf 'Connector_Type: 1\r\nDevice_Speed: 2\n' >"$root/tmp/work/Dev1.txt"
in_root vifinfo /tmp/work/Dev1.txt | grep -q 'Connector_Type' || fail "vifinfo did not read a file"
in_root vifinfo --version | grep -qx "vifinfo $version" || fail "vifinfo --version"
in_root voltaris-sim --version | grep -qx "voltaris-sim $version" || fail "voltaris-sim --version"
in_root man -w voltaris | grep -q 'man1/voltaris.1.gz' || fail "man -w voltaris found no page"

expected='1 USB 3 gen 2x1 Dev1 Connector_Type=1 2
caught'
in_root sh -c 'cd /tmp/work && cmake -S consumer -B build >/dev/null && cmake --build build >/dev/null' \
    || fail "find_package(Scrivlet) consumer did not build"
[ "$(in_root /tmp/work/build/consumer /tmp/work/Dev1.txt)" = "$expected" ] || fail "find_package consumer output"
in_root sh -c 'cd /tmp/work && g++ -std=c++17 consumer/consumer.cpp -o pc-consumer $(pkg-config --cflags --libs scrivlet)' \
    || fail "pkg-config consumer did not build"
[ "$(in_root /tmp/work/pc-consumer /tmp/work/Dev1.txt)" = "$expected" ] || fail "pkg-config consumer output"

# python3-voltaris: its files and fields; in the root, the module, the pytest plugin found through its
# entry point, the example script's console session, and pip installing the source offline.
pydeb=$debs/python3-voltaris_${version}_all.deb
site=usr/lib/python3/dist-packages
pyfiles=$(dpkg-deb -c "$pydeb" | awk '{print $6}')
for path in $site/voltaris/__init__.py $site/voltaris/py.typed "$site/voltaris-$version.dist-info/entry_points.txt" \
    usr/share/doc/python3-voltaris/examples/root_ports_test_packet.py usr/share/doc/python3-voltaris/copyright; do
    grep -qx "\./$path" <<<"$pyfiles" || fail "python3-voltaris lacks /$path"
done
[ "$(dpkg-deb -f "$pydeb" Version)" = "$version" ] || fail "python3-voltaris version $(dpkg-deb -f "$pydeb" Version)"
dpkg-deb -f "$pydeb" Depends | grep -q "voltaris (= $version)" || fail "python3-voltaris depends on $(dpkg-deb -f "$pydeb" Depends)"
in_root python3 -c 'import voltaris; print(voltaris.__file__)' | grep -qx "/$site/voltaris/__init__.py" \
    || fail "python3 does not import voltaris from the package"
printf 'from voltaris import PortMode\n\ndef test_root_port(voltaris_console):\n    voltaris_console.port_test(PortMode.TEST_PACKET, 2)\n' \
    >"$root/tmp/work/test_lab.py"
in_root sh -c 'cd /tmp/work && python3 -m pytest -q -p no:cacheprovider test_lab.py' >"$cache/pytest.log" 2>&1 \
    || { cat "$cache/pytest.log"; fail "a test with the voltaris_console fixture did not pass"; }
example=$(printf '\n\n\n\n' | in_root env VOLTARIS_INSTANCE="pkgexample$$" \
    python3 /usr/share/doc/python3-voltaris/examples/root_ports_test_packet.py) || fail "the example script ended with $?: $example"
[ "$(grep -o 'press Enter' <<<"$example" | wc -l)" = 4 ] || fail "the example script did not walk four root ports: $example"
cp -r "$src/python" "$root/tmp/work/python"
in_root sh -c 'python3 -m venv --system-site-packages /tmp/venv &&
    /tmp/venv/bin/pip install -q --no-index --no-build-isolation /tmp/work/python' >"$cache/pip.log" 2>&1 \
    || { cat "$cache/pip.log"; fail "pip did not install the client offline"; }
in_root /tmp/venv/bin/python -c 'import voltaris, importlib.metadata as m
assert voltaris.__file__.startswith("/tmp/venv/"), voltaris.__file__
assert str(m.distribution("voltaris").locate_file("")).startswith("/tmp/venv/")
assert m.entry_points(group="pytest11", name="voltaris")' \
    || fail "the client pip installed is not the one imported, or has no pytest11 entry point"

if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "packages built, checked, installed and used in a fresh Debian 12 root"
