#!/usr/bin/env bash
# Sets up a Debian machine for voltaris, builds it and runs it or its tests.
#   ./build.sh run [ARGS...]       build and start voltaris (on the simulated bench unless VOLTARIS_BENCH names one)
#   ./build.sh test [PRESET]       build and run every test (presets: dev, asan, tsan, release)
#   ./build.sh fuzz [SECONDS]      build the fuzz targets and run each one for SECONDS (default 30)
#   ./build.sh bench               build optimised and run the benchmark programs
#   ./build.sh package             build the Debian packages into build/packages
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ pkg-config clang-format googletest libgtest-dev libgmock-dev
          libtomlplusplus-dev libncurses-dev clang libclang-rt-14-dev tmux
          qemu-system-x86 busybox-static cpio kmod libpcre2-dev libexpat1-dev nlohmann-json3-dev
          qt6-base-dev xvfb xdotool imagemagick xclip
          dpkg-dev lintian mmdebstrap man-db desktop-file-utils
          python3-setuptools python3-pytest mypy)

install_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "build.sh: installing ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

command=${1:-run}
[ $# -gt 0 ] && shift
install_packages
case "$command" in
run)
    build dev
    VOLTARIS_BENCH=${VOLTARIS_BENCH:-sim} exec ./build/dev/app/voltaris "$@"
    ;;
test)
    preset=${1:-dev}
    build "$preset"
    ctest --preset "$preset" -j "$(nproc)"
    ;;
fuzz)
    seconds=${1:-30}
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$(nproc)" --target fuzzers
    status=0
    for fuzzer in build/fuzz/fuzzers/*; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus=$(mktemp -d)
        [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
        echo "== fuzzing $name for ${seconds}s"
        "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" >"$corpus.log" 2>&1 \
            || { status=1; tail -n 40 "$corpus.log"; }
        tail -n 1 "$corpus.log"
        rm -rf "$corpus" "$corpus.log"
    done
    exit $status
    ;;
bench)
    build release
    for program in build/release/benchmarks/*; do
        [ -x "$program" ] && [ -f "$program" ] && { echo "== $(basename "$program")"; "$program"; }
    done
    ;;
package)
    build package
    rm -rf build/packages
    (cd build/package && cpack -B "$PWD/../packages" >/dev/null)
    rm -rf build/packages/_CPack_Packages
    ls build/packages/*.deb
    ;;
*)
    echo "usage: $0 run [ARGS...] | test [PRESET] | fuzz [SECONDS] | bench | package" >&2
    exit 2
    ;;
esac
