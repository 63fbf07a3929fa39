#!/usr/bin/env bash
# Walks the dialog interface of the real binary in tmux, reading the screen
# with capture-pane: the host list, the exclusive choices, TEST and back,
# Exit; benches without controllers and with a wrong driver; a termination
# signal; and dialog mode without a terminal.
set -u
voltaris=$(realpath "${1:?usage: gui_walk_test.sh VOLTARIS_BINARY}")
command -v tmux >/dev/null || { echo "tmux is not installed"; exit 77; }
# A tmux server outlives a walk that is killed; it must not keep what the walk
# was handed (a test run's build lock, say), so those descriptors close here.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    case $fd in 0 | 1 | 2 | 255) ;; *) eval "exec $fd>&-" 2>/dev/null ;; esac
done

work=$(mktemp -d)
sock="voltaris-gui-$$"
current=""  # tmux socket of the walk under way; each walk has its own server
stop_tmux() { [ -n "$current" ] && tmux -L "$current" kill-server 2>/dev/null; current=""; }
trap 'stop_tmux; rm -rf "$work"' EXIT
passed=0
failed=0

screen() { tmux -L "$current" capture-pane -p -t walk 2>/dev/null; }

# Waits up to 10 s for text on the screen.
wait_for() {
    for _ in $(seq 100); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    return 1
}

check() {  # check DESCRIPTION TEXT: the text is on the screen
    if wait_for "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1: \"$2\" not on the screen:"
        screen
    fi
}

check_absent() {  # check_absent DESCRIPTION TEXT
    sleep 0.3
    if screen | grep -qF -- "$2"; then
        failed=$((failed + 1))
        echo "FAILED: $1: \"$2\" is on the screen:"
        screen
    else
        passed=$((passed + 1))
    fi
}

keys() {
    tmux -L "$current" send-keys -t walk "$@"
    sleep 0.3
}

# start NAME [BENCH_FILE]: voltaris in an 80x24 pane; its exit status lands in NAME.status.
start() {
    local bench=sim${2:+:$2}
    stop_tmux
    current="$sock-$1"
    tmux -L "$current" -f /dev/null new-session -d -s walk -x 80 -y 24 \
        "cd '$work' && env VOLTARIS_INSTANCE='$sock-$1' VOLTARIS_TRACE='$work/$1.trace' VOLTARIS_BENCH='$bench' \
         '$voltaris'; echo \"EXIT=\$?\" > '$work/$1.status'; echo 'voltaris ended'; sleep 60"
    tmux -L "$current" set-option -s escape-time 0 >/dev/null 2>&1
}

# ended NAME STATUS: voltaris ended with that status and the shell is back.
ended() {
    for _ in $(seq 100); do
        [ -s "$work/$1.status" ] && break
        sleep 0.1
    done
    if [ "$(cat "$work/$1.status" 2>/dev/null)" = "EXIT=$2" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1 should end with status $2: $(cat "$work/$1.status" 2>/dev/null)"
    fi
    check "$1: the terminal is restored" "voltaris ended"
}

# The built-in bench: host list, Hub checked, TEST, back, Exit.
start default
check "main dialog" "xHCI Voltaris"
check "host list, marked simulated" "(simulated) Norvane"
check "Device chosen at start" "(*) Device"
keys Tab Tab Tab Space
check "Hub checked" "(*) Hub"
check "Device unchecked" "( ) Device"
keys Enter
check "TEST opens the hub test dialog" "xHCI HS Voltaris - Hub Test"
keys Escape
check "back in the main dialog" "Select Host Controller"
check_absent "hub test dialog closed" "Hub Test"
keys BTab BTab Enter
ended default 0
if grep -q "^CleanupRailswap" "$work/default.trace" 2>/dev/null; then passed=$((passed + 1)); else
    failed=$((failed + 1)); echo "FAILED: the driver stack was not restored after Exit"; fi

# A bench without controllers.
printf '# no controller on this bench\n' > "$work/empty.toml"
start empty "$work/empty.toml"
check "empty host list" "No Host Controllers Found"
check "no choice checked" "( ) Device"
keys Enter
check "TEST reports the missing controller" "No XHCI Host Controller Found.  Unable to Test."
keys Enter
check_absent "message box closed" "Unable to Test"
keys Escape
ended empty 0

# A controller whose compliance driver has the wrong version.
cat > "$work/old-driver.toml" <<'TOML'
[[controller]]
id = "Old driver host"
driver_version = "1.0.4.0"
ports = ["usb2", "ss"]
TOML
start old-driver "$work/old-driver.toml"
check "controller listed" "(simulated) Old driver host"
keys Enter
check "TEST refuses the driver" "Incorrect driver version."
keys Enter
check_absent "no test dialog opened" "Device Test"
keys Escape
ended old-driver 0

# A termination signal ends the dialogs through the normal shut-down.
start signal
check "main dialog before the signal" "Select Host Controller"
pane=$(tmux -L "$current" list-panes -t walk -F '#{pane_pid}')
kill -TERM "$(pgrep -P "$pane")"
ended signal 143

# Without a terminal dialog mode says so and points to console mode, after
# the line that says the bench is simulated.
err=$(cd "$work" && VOLTARIS_BENCH=sim VOLTARIS_INSTANCE="$sock-pipe" "$voltaris" </dev/null 2>&1 >/dev/null)
status=$?
if [ "$status" = 1 ] && [[ "$(printf '%s\n' "$err" | tail -n 1)" == *"/C"* ]] && [ "$(printf '%s\n' "$err" | wc -l)" = 2 ]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1)); echo "FAILED: without a terminal: status $status, stderr: $err"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
