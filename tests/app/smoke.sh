#!/usr/bin/env bash
# The real application on a virtual X display, driven as a person would:
#  1. it opens its window;
#  2. a second copy shows only the "Corvane is Already Running" alert, and exits once it is
#     dismissed;
#  3. Ctrl+Q ends the first copy with status 0;
#  4. the Quit button ends another copy with status 0;
#  5. a copy that was killed does not keep the next one from opening its window;
#  6. Ctrl+Q ends a copy at once while a restart runs, with a stand-in TouchBarServer.
# Qt writes nothing on standard error in any of them. The whole test runs in a PID namespace
# of its own, so the copies see and terminate only processes started here; every process
# ends with it, also on failure.
#
# Usage: smoke.sh path/to/corvane   (as root, or wherever unshare may make namespaces)
set -euo pipefail

corvane=$(realpath "$1")
if [ "$$" -ne 1 ]; then
    exec unshare --pid --fork --kill-child --mount-proc bash "$0" "$corvane"
fi
work=$(mktemp -d)
pids=()

cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for file in "$work"/*.out "$work"/*.err; do
        [ -e "$file" ] && { echo "--- $file" >&2; cat "$file" >&2; }
    done
    exit 1
}

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# start NAME: runs corvane in the background with its output in NAME.out and NAME.err, and
# its process id in $started.
start() {
    local name=$1
    "$corvane" >"$work/$name.out" 2>"$work/$name.err" &
    started=$!
    pids+=("$started")
}

# window PID TITLE: the id of the visible window of that process with that title.
window() {
    timeout 15 xdotool search --sync --all --onlyvisible --pid "$1" --name "$2" | head -n1
}

# ends NAME PID SECONDS: the process ends within SECONDS, with status 0, and Qt wrote nothing
# on its standard error (the system tools' own complaints aside).
ends() {
    local name=$1 pid=$2 tenths=$(($3 * 10))
    for _ in $(seq "$tenths"); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "$name still runs after $3 s"
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "$name ended with status $status"
    if grep -Ev '^(pgrep|pkill): |^Try `p(grep|kill) -f' "$work/$name.err" | grep -q .; then
        fail "$name wrote on standard error"
    fi
}

press() {
    xdotool windowfocus --sync "$1"
    xdotool key --clearmodifiers "$2"
}

start first
first=$started
main=$(window "$first" '^Corvane$') || fail "no main window"
read -r width height < <(xdotool getwindowgeometry --shell "$main" |
    awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}')
[ "$width" = 420 ] && [ "$height" = 360 ] || fail "window is ${width}x$height"

start second
second=$started
alert=$(window "$second" '^Corvane is Already Running$') || fail "no alert from the second copy"
xdotool search --all --onlyvisible --pid "$second" --name '^Corvane$' >/dev/null &&
    fail "the second copy opened a main window"
grep -qx "   Found existing: PID $first" "$work/second.out" || fail "the second copy did not log the first"
press "$alert" Return
ends second "$second" 10

press "$main" ctrl+q
ends first "$first" 10

start quitter
quitter=$started
main=$(window "$quitter" '^Corvane$') || fail "no main window for the Quit button"
# The Quit button's symbol sits 92 points in from the right (the view's padding and the
# row's), about 290 down.
xdotool mousemove --window "$main" 318 290 click 1
ends quitter "$quitter" 10

start killed
killed=$started
window "$killed" '^Corvane$' >/dev/null || fail "no main window before the kill"
kill -KILL "$killed"
{ wait "$killed"; } 2>/dev/null || true
start survivor
survivor=$started
main=$(window "$survivor" '^Corvane$') || fail "a killed copy kept the next one out"
press "$main" ctrl+q
ends survivor "$survivor" 10

# The stand-in makes the fix button usable; the restart terminates it and then waits two
# seconds for it to come back.
cp /bin/sleep "$work/TouchBarServer"
"$work/TouchBarServer" 600 &
pids+=($!)
start restarting
restarting=$started
main=$(window "$restarting" '^Corvane$') || fail "no main window with the stand-in running"
for _ in $(seq 100); do
    grep -q 'Final detection: true' "$work/restarting.out" && break
    sleep 0.1
done
grep -q 'Final detection: true' "$work/restarting.out" || fail "the stand-in was not detected"
sleep 0.3
xdotool mousemove --window "$main" 210 213 click 1
for _ in $(seq 100); do
    grep -q 'Waiting 2 seconds' "$work/restarting.out" && break
    sleep 0.1
done
grep -q 'Waiting 2 seconds' "$work/restarting.out" || fail "the restart did not start"
press "$main" ctrl+q
ends restarting "$restarting" 1
grep -q 'POST-RESTART' "$work/restarting.out" && fail "quitting waited for the restart"
echo "smoke test passed"
