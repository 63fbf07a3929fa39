#!/usr/bin/env bash
# Installs Scrivlet from BUILD_DIR into a temporary prefix, then builds and
# runs the consumer there through find_package and through pkg-config.
#   install_consume_test.sh BUILD_DIR CONSUMER_SOURCE CXX [SANITIZER]
set -euo pipefail
build=$1 source=$2 cxx=$3 sanitize=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

flags=()
[ "$sanitize" = address ] && flags=(-fsanitize=address,undefined)

for component in libscrivlet1 libscrivlet-dev scrivlet-tools; do
    cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
for f in lib/libscrivlet.so lib/libscrivlet.so.1 include/scrivlet/scrivlet.h include/corekit/corekit.h \
         lib/cmake/Scrivlet/ScrivletConfig.cmake lib/pkgconfig/scrivlet.pc bin/vifinfo; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
soname=$(readelf -d "$prefix/lib/libscrivlet.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libscrivlet.so.1 ] || { echo "soname is '$soname'"; exit 1; }

printf 'Connector_Type: 1\r\nDevice_Speed: 2\n' >"$work/Dev1.txt"
expected='1 USB 3 gen 2x1 Dev1 Connector_Type=1 2
caught'

cmake -S "$source" -B "$work/cmake-build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="${flags[*]:-}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
[ "$("$work/cmake-build/consumer" "$work/Dev1.txt")" = "$expected" ] || { echo "CMake consumer failed"; exit 1; }

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
"$cxx" -std=c++17 "${flags[@]}" "$source/consumer.cpp" -o "$work/pc-consumer" $(pkg-config --cflags --libs scrivlet)
[ "$(LD_LIBRARY_PATH="$prefix/lib" "$work/pc-consumer" "$work/Dev1.txt")" = "$expected" ] \
    || { echo "pkg-config consumer failed"; exit 1; }

# The installed tool finds the installed library on its own.
"$prefix/bin/vifinfo" --summary device "$work/Dev1.txt" | grep -qx 'valid: yes'
echo "install tree consumed through CMake and pkg-config"
