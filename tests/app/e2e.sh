#!/usr/bin/env bash
# The real application on a virtual X display, with real processes named TouchBarServer and
# ControlStrip that a supervisor started here relaunches after each termination, as the
# system would; driven as a person would, with keys and clicks:
#  1. it opens its 420 x 360 window; a second copy shows only the "Corvane is Already Running"
#     alert, and exits once it is dismissed;
#  2. Space presses the fix button, which has the focus once a Touch Bar is found; the
#     restart succeeds with "Success! ✅", whose Quit (Escape) ends the copy with status 0
#     and restart count 1 saved;
#  3. the next copy counts "#2" and saves 2; once TouchBarServer is no longer relaunched,
#     "Fix Again" (Return) fails with "Error ❌", dismissed with OK (Return), count kept;
#  4. Ctrl+Q ends a copy at once while a restart runs, and another from its success alert;
#     the Quit button ends a third;
#  5. a copy that was killed does not keep the next one from opening its window;
#  6. a copy whose termination tool never returns keeps drawing its window, and Ctrl+Q ends
#     it at once.
# Qt writes nothing on standard error in any of them. The whole test runs in PID, mount and
# network namespaces of its own: the copies see and terminate only processes started here,
# Xvfb shares no socket with any other display, and every process ends with the test, also
# on failure.
#
# Usage: e2e.sh path/to/corvane path/to/corvane-hung-termination
#        (as root, or wherever unshare may make namespaces)
set -euo pipefail

corvane=$(realpath "$1") hung=$(realpath "$2")
if [ "$$" -ne 1 ]; then
    exec unshare --pid --fork --kill-child --mount-proc --net bash "$0" "$corvane" "$hung"
fi
# Xvfb takes over a display whose lock names a process it cannot see, and from here it sees
# none outside; with a network and a socket folder of its own, it can only take the number.
mkdir -p -m 1777 /tmp/.X11-unix
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
source "$(dirname "$0")/../../scripts/lib/xsession.sh"
start_display
private_home
settings=$XDG_CONFIG_HOME/com.tamberlin.corvane.conf

# supervise NAME: keeps a stand-in NAME (a copy of sleep) running; its process id in $launched.
supervise() {
    [ -x "$scratch/$1" ] || cp /bin/sleep "$scratch/$1"
    while :; do "$scratch/$1" 600 || true; done 2>/dev/null &
    launched=$!
    track "$launched"
}

# logged NAME TEXT [COUNT]: waits up to 10 s until NAME has logged COUNT (1) lines with TEXT.
logged() {
    local _
    for _ in $(seq 100); do
        [ "$(grep -cF -- "$2" "$scratch/$1.out")" -ge "${3:-1}" ] && return 0
        sleep 0.1
    done
    fail "$1 did not log '$2' ${3:-1} times"
}

# ends NAME PID SECONDS: the copy ends within SECONDS with status 0, and Qt wrote nothing on
# its standard error (the system tools' own complaints aside: about the names longer than
# Linux keeps, and killall finding no Dock).
ends() {
    await_exit "$2" "$3" || fail "$1 ended with status $? (124: still runs after $3 s)"
    if grep -Ev '^(pgrep|pkill): |^Try `p(grep|kill) -f|^Dock: no process found$' \
        "$scratch/$1.err" | grep -q .; then
        fail "$1 wrote on standard error"
    fi
}

# Where the fix button and the Quit button sit in the window.
click_fix() { xdotool mousemove --window "$1" 210 213 click 1; }
click_quit() { xdotool mousemove --window "$1" 318 290 click 1; }

supervise TouchBarServer
server=$launched
supervise ControlStrip

launch first "$corvane"
first=$launched
main=$(window_of "$first" '^Corvane$') || fail "no main window"
read -r width height < <(xdotool getwindowgeometry --shell "$main" |
    awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}')
[ "$width" = 420 ] && [ "$height" = 360 ] || fail "window is ${width}x$height"

launch second "$corvane"
second=$launched
alert=$(window_of "$second" '^Corvane is Already Running$') || fail "no alert from the second copy"
xdotool search --all --onlyvisible --pid "$second" --name '^Corvane$' >/dev/null &&
    fail "the second copy opened a main window"
logged second "   Found existing: PID $first"
press "$alert" Return
ends second "$second" 10

logged first 'Final detection: true'
press "$main" space
alert=$(window_of "$first" '^Success! ✅$') || fail "no success alert"
logged first '   pkill TouchBarServer returned: 0'
logged first '   Restart Count: #1'
press "$alert" Escape
ends first "$first" 10
grep -qx 'TouchBarRestartCount=1' "$settings" || fail "count 1 not saved"

launch again "$corvane"
again=$launched
main=$(window_of "$again" '^Corvane$') || fail "no main window for the next copy"
logged again 'Final detection: true'
click_fix "$main"
alert=$(window_of "$again" '^Success! ✅$') || fail "no success alert for the next copy"
logged again '   Restart Count: #2'
grep -qx 'TouchBarRestartCount=2' "$settings" || fail "count 2 not saved"
kill "$server"
press "$alert" Return
alert=$(window_of "$again" '^Error ❌$') || fail "no error alert"
logged again '⚠️ Touch Bar restart completed but critical processes not detected'
press "$alert" Return
for _ in $(seq 50); do
    xdotool search --all --onlyvisible --pid "$again" --name '^Error ❌$' >/dev/null || break
    sleep 0.1
done
xdotool search --all --onlyvisible --pid "$again" --name '^Error ❌$' >/dev/null &&
    fail "OK did not close the error alert"

supervise TouchBarServer
click_fix "$main"
logged again 'Waiting 2 seconds' 3
press "$main" ctrl+q
ends again "$again" 1
[ "$(grep -c 'POST-RESTART' "$scratch/again.out")" -eq 2 ] || fail "quitting waited for the restart"
grep -qx 'TouchBarRestartCount=2' "$settings" || fail "a failed or abandoned restart changed the count"

launch keyquit "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window to quit from its alert"
logged keyquit 'Final detection: true'
click_fix "$main"
alert=$(window_of "$launched" '^Success! ✅$') || fail "no success alert to quit from"
press "$alert" ctrl+q
ends keyquit "$launched" 10

launch quitter "$corvane"
quitter=$launched
main=$(window_of "$quitter" '^Corvane$') || fail "no main window for the Quit button"
click_quit "$main"
ends quitter "$quitter" 10

launch killed "$corvane"
window_of "$launched" '^Corvane$' >/dev/null || fail "no main window before the kill"
kill -KILL "$launched"

launch hung "$hung"
hung=$launched
main=$(window_of "$hung" '^Corvane$') || fail "a killed copy kept the next one out"
logged hung 'Final detection: true'
click_fix "$main"
logged hung '🔄 Attempting to kill process:'
before=$(import -window "$main" rgb:- | md5sum)
sleep 0.3
[ "$(import -window "$main" rgb:- | md5sum)" != "$before" ] || fail "the spinner stands still"
press "$main" ctrl+q
ends hung "$hung" 1
echo "end-to-end test passed"
