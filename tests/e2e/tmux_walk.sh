# The harness the test-dialog walks share: sourced by a walk script as
#   source "$(dirname "$0")/tmux_walk.sh" NAME "$@"
# with the voltaris and voltaris-sim binaries as its arguments. It runs
# voltaris in a tmux server of its own on the built-in simulated bench,
# reads the screen with capture-pane and counts the checks.
set -u
walk_name=$1
voltaris=$(realpath "${2:?usage: gui_${walk_name}_walk_test.sh VOLTARIS_BINARY VOLTARIS_SIM_BINARY}")
sim=$(realpath "${3:?usage: gui_${walk_name}_walk_test.sh VOLTARIS_BINARY VOLTARIS_SIM_BINARY}")
command -v tmux >/dev/null || { echo "tmux is not installed"; exit 77; }
# A tmux server outlives a walk that is killed; it must not keep what the walk
# was handed (a test run's build lock, say), so those descriptors close here.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    case $fd in 0 | 1 | 2 | 255) ;; *) eval "exec $fd>&-" 2>/dev/null ;; esac
done

work=$(mktemp -d)
sock="voltaris-$walk_name-$$"
trap 'tmux -L "$sock" kill-server 2>/dev/null; rm -rf "$work"' EXIT
trace="$work/walk.trace"
passed=0
failed=0

screen() { tmux -L "$sock" capture-pane -p -t walk 2>/dev/null; }

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; screen; }

# Waits up to 10 s for text on the screen.
wait_for() {
    for _ in $(seq 100); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    return 1
}

check() {  # check DESCRIPTION TEXT: the text comes on the screen within 10 s
    if wait_for "$2"; then pass; else fail "$1: \"$2\" not on the screen"; fi
}

check_match() {  # check_match DESCRIPTION REGEX: a line matching the extended regex comes within 10 s
    for _ in $(seq 100); do
        screen | grep -qE -- "$2" && { pass; return; }
        sleep 0.1
    done
    fail "$1: nothing matches /$2/ on the screen"
}

check_absent() {  # check_absent DESCRIPTION TEXT
    sleep 0.3
    if screen | grep -qF -- "$2"; then fail "$1: \"$2\" is on the screen"; else pass; fi
}

count() { grep -cF -- "$1" "$trace" 2>/dev/null; }

keys() {
    tmux -L "$sock" send-keys -t walk "$@"
    sleep 0.3
}

# Starts voltaris; when it ends, its exit status goes to $work/status and
# "voltaris ended" to the screen.
start_walk() {
    tmux -L "$sock" -f /dev/null new-session -d -s walk -x 80 -y 24 \
        "cd '$work' && env VOLTARIS_BENCH=sim VOLTARIS_INSTANCE='$sock' VOLTARIS_TRACE='$trace' '$voltaris'; echo \"EXIT=\$?\" > '$work/status'; echo 'voltaris ended'; sleep 60"
    tmux -L "$sock" set-option -s escape-time 0 >/dev/null 2>&1
}

finish_walk() {
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ]
}
