#!/usr/bin/env bash
# Walks the real voltaris binary as windows on a virtual X display (Xvfb),
# without a terminal: the host test with the mouse and the keys, Escape out,
# a second start, SIGTERM with a message box open, a bench that cannot be
# used, and a forced window without a display. Screenshots are kept in
# ARTIFACT_DIR.
#   window_walk_test.sh VOLTARIS_BINARY ARTIFACT_DIR
set -u
voltaris=$(realpath "${1:?usage: window_walk_test.sh VOLTARIS_BINARY ARTIFACT_DIR}")
artifacts=${2:?usage: window_walk_test.sh VOLTARIS_BINARY ARTIFACT_DIR}
for tool in Xvfb xdotool import convert display xclip; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
mkdir -p "$artifacts"
rm -f "$artifacts"/*.png

work=$(mktemp -d)
instance="voltaris-window-$$"
xvfb_pid=
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
expect() {  # expect DESCRIPTION COMMAND...: the command succeeds
    local what=$1
    shift
    if "$@"; then pass; else fail "$what"; fi
}

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY VOLTARIS_SURFACE QT_QPA_PLATFORM

# run NAME [BENCH_FILE]: voltaris on the display, stdin and stdout no terminal.
run() {
    ( env VOLTARIS_INSTANCE="$instance" VOLTARIS_TRACE="$work/$1.trace" VOLTARIS_BENCH="sim${2:+:$2}" \
          "$voltaris" </dev/null >"$work/$1.out" 2>"$work/$1.err" &
      echo "$!" >"$work/$1.pid"
      wait "$!"
      echo "$?" >"$work/$1.status" ) &
    pids+=($!)
}
# finished NAME STATUS: voltaris ended within 10 s with that status.
finished() {
    for _ in $(seq 100); do [ -s "$work/$1.status" ] && break; sleep 0.1; done
    local status
    status=$(cat "$work/$1.status" 2>/dev/null)
    if [ "$status" = "$2" ]; then pass; else fail "$1 should end with status $2, not ${status:-still running}"; cat "$work/$1.err"; fi
}
# window TITLE: the id of the visible window with exactly that title (10 s).
window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# at WINDOW CX CY X Y W H: clicks the middle of a control given in dialog
# units; the dialog's size in pixels and in units (CX, CY) give the scale.
at() {
    local win=$1 cx=$2 cy=$3 x=$4 y=$5 w=$6 h=$7 WIDTH HEIGHT X Y
    eval "$(xdotool getwindowgeometry --shell "$win")"
    xdotool mousemove --sync $((X + (2 * x + w) * WIDTH / (2 * cx))) $((Y + (2 * y + h) * HEIGHT / (2 * cy))) click 1
    sleep 0.3
}
# pixel X,Y: the colour on the screen there, as hex.
pixel() {
    import -window root "$work/screen.png" 2>/dev/null
    convert "$work/screen.png" -crop "1x1+${1%,*}+${1#*,}" -format '%[hex:p{0,0}]' info: 2>/dev/null | cut -c1-6
}
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
shot() { import -window "$1" "$artifacts/$2.png" 2>/dev/null && pass || fail "screenshot $2"; }
# The text of the status window: selected and copied as a user would.
status_text() {  # status_text WINDOW CX CY X Y W H
    at "$@"
    keys ctrl+a ctrl+c
    xclip -o -selection clipboard 2>/dev/null
}

# 1. The main window, the host test on root port 2, Escape twice.
run walk
main=$(window "xHCI Voltaris") || { fail "no window titled \"xHCI Voltaris\""; cat "$work/walk.err"; }
if [ -n "${main:-}" ]; then
    pass
    sleep 0.5
    shot "$main" window-main
    at "$main" 273 138 15 46 91 17   # "Host Controller/System"
    at "$main" 273 138 33 107 50 14  # TEST
    host=$(window "xHCI HS Voltaris - Host Test") && pass || fail "the host test window did not open"
    if [ -n "${host:-}" ]; then
        at "$host" 339 135 174 29 105 13  # the "Port Control" field
        keys ctrl+a
        xdotool type --delay 40 "TEST_PACKET"
        sleep 0.3
        keys Tab Down                      # the port list: 1 -> 2
        at "$host" 339 135 183 102 50 14   # EXECUTE
        sleep 0.5
        shot "$host" window-host-test
        text=$(status_text "$host" 339 135 173 54 152 36)
        expect "the status window reads \"Operation Successful\" (it reads \"$text\")" [ "$text" = "Operation Successful" ]
        expect "SetPortFeature root:2 21 4 0 was sent" grep -q "^SetPortFeature root:2 21 4 0 -> " "$work/walk.trace"
        keys Escape
    fi
    # Another program's window covers this one; a second start brings this
    # one back to the top and touches nothing else.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    spot="$((X + 12)),$((Y + 12))"
    own=$(pixel "$spot")
    display -title other-program -geometry "+$X+$Y" -size 300x200 xc:gray 2>/dev/null &
    pids+=($!)
    window other-program >/dev/null
    sleep 0.5
    expect "the other program's window covers the main window" [ "$(pixel "$spot")" != "$own" ]
    lines=$(wc -l <"$work/walk.trace")
    run second
    finished second 1
    sleep 0.5
    expect "the second start brings the main window to the top" [ "$(pixel "$spot")" = "$own" ]
    shot root window-raised
    xdotool windowfocus --sync "$main" 2>/dev/null
    expect "the second start says why it ends" grep -q "already running" "$work/second.err"
    expect "the second start sends nothing" [ "$(wc -l <"$work/walk.trace")" = "$lines" ]
    expect "the second start writes no trace" [ ! -s "$work/second.trace" ]
    keys Escape
    finished walk 0
    expect "the bench closes before the stack is restored" \
        [ "$(tail -n 2 "$work/walk.trace" | cut -d' ' -f1-2 | tr '\n' '|')" = "delete CXhciBenchline|CleanupRailswap stack|" ]
fi

# 2. SIGTERM with the main window and a message box open.
printf '# no controller on this bench\n' >"$work/empty.toml"
run term "$work/empty.toml"
main=$(window "xHCI Voltaris") && pass || fail "no main window on the empty bench"
if [ -n "${main:-}" ]; then
    sleep 0.3
    keys Return  # TEST: "No XHCI Host Controller Found."
    sleep 0.5
    count=$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)
    expect "a message box is open over the main window" [ "$count" -ge 2 ]
    box=$(xdotool search --onlyvisible --name . 2>/dev/null | grep -vx "$main" | tail -n 1)
    [ -n "$box" ] && shot "$box" window-message-box
    kill -TERM "$(cat "$work/term.pid")"
    finished term 143
    expect "after SIGTERM the bench closes before the stack is restored" \
        [ "$(tail -n 2 "$work/term.trace" | cut -d' ' -f1-2 | tr '\n' '|')" = "delete CXhciBenchline|CleanupRailswap stack|" ]
fi

# 3. A bench that cannot be used: its line on stderr and in a message box, status 2, nothing touched.
run badbench "$work/missing.toml"
box=$(window "xHCI Voltaris") && pass || fail "no message box for a bench that cannot be used"
if [ -n "${box:-}" ]; then
    sleep 0.3
    shot "$box" window-bench-refused
    keys Return
    finished badbench 2
    expect "... its one line on stderr names the file" grep -q "missing.toml: cannot read it" "$work/badbench.err"
    expect "... and nothing else" [ "$(wc -l <"$work/badbench.err")" = 1 ]
    expect "... before anything is touched" [ ! -s "$work/badbench.trace" ]
fi

# 4. Windows forced without a display: one line after the bench's, status 1, nothing touched.
err=$(env -u DISPLAY -u WAYLAND_DISPLAY VOLTARIS_SURFACE=window VOLTARIS_INSTANCE="$instance-nodisplay" \
      VOLTARIS_BENCH=sim VOLTARIS_TRACE="$work/nodisplay.trace" "$voltaris" </dev/null 2>&1 >/dev/null)
status=$?
expect "a forced window without a display ends with status 1 ($status)" [ "$status" = 1 ]
expect "... saying so on one line after the simulated bench's ($err)" [ "$(printf '%s\n' "$err" | wc -l)" = 2 ]
expect "... naming the display" grep -q "needs a display" <<<"$err"
expect "... before the stack is touched" [ ! -s "$work/nodisplay.trace" ]

echo "window walk: $passed passed, $failed failed; screenshots in $artifacts"
[ "$failed" = 0 ]
