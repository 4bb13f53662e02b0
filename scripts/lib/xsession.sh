# Runs programs on a virtual X display and cleans up after them, for scripts/run and the tests
# that drive Corvane as a person would. Source it from bash: it makes the scratch folder
# $scratch and, when the shell exits however it exits, ends every process started through it
# or handed to `track`, then removes $scratch. Needs Xvfb and xdotool.

scratch=$(mktemp -d)
tracked=()

track() { tracked+=("$@"); }

# SIGKILL: some stand-ins ignore the polite signal on purpose. A shell that is the init of a PID
# namespace of its own ends every other process in it, tracked or not (a bus that a program
# launched for itself, a stand-in's child), so that the wait has nothing left to wait for.
end_tracked() {
    local pid
    [ "$$" -ne 1 ] || kill -KILL -1 2>/dev/null || true
    for pid in "${tracked[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap end_tracked EXIT

# fail MESSAGE: reports the failure and what the programs started here wrote, then exits 1.
fail() {
    echo "FAIL: $*" >&2
    local file
    for file in "$scratch"/*.out "$scratch"/*.err "$scratch"/*.log; do
        [ -s "$file" ] && { echo "--- ${file##*/}" >&2; cat "$file" >&2; }
    done
    exit 1
}

# start_display: Xvfb on a display it picks itself; programs started afterwards use it. By
# default Xvfb resets whenever its last client leaves, and refuses the next one meanwhile.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" \
        2>"$scratch/xvfb.log" &
    track $!
    # Xvfb writes the display number once it accepts clients.
    local _
    for _ in $(seq 100); do
        [ -s "$scratch/display" ] && break
        sleep 0.1
    done
    [ -s "$scratch/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$scratch/display")" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}

# private_home: home, settings, state and runtime folders of their own under $scratch, so nothing
# started here reads or changes the user's.
private_home() {
    export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/runtime \
        XDG_STATE_HOME=$scratch/state
    mkdir -p "$HOME" "$XDG_CONFIG_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

# launch NAME COMMAND...: starts COMMAND in the background with its output in $scratch/NAME.out
# and NAME.err; its process id is then in $launched.
launch() {
    local name=$1
    shift
    "$@" >"$scratch/$name.out" 2>"$scratch/$name.err" &
    launched=$!
    track "$launched"
}

# window_of PID TITLE: prints the id of the visible window of process PID whose title matches
# the pattern TITLE, once there is one; fails after 20 s, or at once if the process ends.
window_of() {
    local pid=$1 title=$2 window _
    for _ in $(seq 200); do
        window=$(xdotool search --all --onlyvisible --pid "$pid" --name "$title" 2>/dev/null |
            head -n1)
        [ -n "$window" ] && { echo "$window"; return 0; }
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# press WINDOW KEY...: types the keys into that window, e.g. press "$window" ctrl+q
press() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers "$@"
}

# await_exit PID SECONDS: waits that long for the process to end and returns its exit status,
# or 124 if it still runs.
await_exit() {
    local pid=$1 _
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && return 124
    wait "$pid"
}
