#!/usr/bin/env bash
# The real application as a person uses it, with real processes named TouchBarServer and
# ControlStrip that a loop relaunches after each termination, as the system would; driven with
# keys and clicks:
#  1. it opens its window of a fixed 420 x 360, its fix button gray while no Touch Bar service runs and
#     blue, lighter towards the bottom, once one does; a second copy shows only the
#     "Corvane is Already Running" alert, and exits once it is dismissed;
#  2. Space presses the fix button, which has the focus once a Touch Bar is found; the
#     restart succeeds with "Success! ✅", whose Quit (Escape) ends the copy with status 0
#     and restart count 1 saved;
#  3. the next copy counts "#2" and saves 2; once TouchBarServer is no longer relaunched,
#     "Fix Again" (Return) fails with "Error ❌", dismissed with OK (Return), count kept;
#  4. while a restart runs the button is orange and shrunk, and Ctrl+Q ends the copy at once;
#     Ctrl+Q ends another from its success alert;
#     the Quit button ends a third;
#  5. a copy that was killed does not keep the next one from opening its window;
#  6. eight restarts in a row leave the copy's descriptors and threads as they were and no
#     child unreaped, and processes whose names only resemble the services' are never touched.
# Qt writes nothing on standard error in any of them.
#
# Usage: e2e-window.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

# Where the fix button and the Quit button sit in the window.
click_fix() { xdotool mousemove --window "$1" 210 213 click 1; }
click_quit() { xdotool mousemove --window "$1" 318 290 click 1; }
# colours WINDOW: the fix button's colours just inside its left edge, near its top, near its
# bottom, and at the edge itself.
colours() {
    import -window "$1" png:- |
        convert - -format '%[pixel:p{62,213}] %[pixel:p{96,190}] %[pixel:p{96,238}] %[pixel:p{57,213}]' info:
}

launch bare "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window without a Touch Bar"
logged bare 'Final detection: false'
sleep 0.3
[ "$(colours "$main")" = "$(printf 'srgb(142,142,147) %.0s' 1 2 3)srgb(142,142,147)" ] ||
    fail "the fix button is not gray without a Touch Bar: $(colours "$main")"
press "$main" ctrl+q
ends bare "$launched" 1

supervise TouchBarServer
server=$launched
supervise ControlStrip
lookalikes=()
for name in TouchBarServerX touchbarserver; do
    cp /bin/sleep "$scratch/$name"
    "$scratch/$name" 600 &
    lookalikes+=($!)
    track $!
done

launch first "$corvane"
first=$launched
main=$(window_of "$first" '^Corvane$') || fail "no main window"
read -r width height < <(xdotool getwindowgeometry --shell "$main" |
    awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}')
[ "$width" = 420 ] && [ "$height" = 360 ] || fail "window is ${width}x$height"
for bound in minimum maximum; do
    xwininfo -size -id "$main" | grep -q "Program supplied $bound size: 420 by 360" ||
        fail "the window's $bound size is not 420 x 360"
done

launch second "$corvane"
second=$launched
alert=$(window_of "$second" '^Corvane is Already Running$') || fail "no alert from the second copy"
xdotool search --all --onlyvisible --pid "$second" --name '^Corvane$' >/dev/null &&
    fail "the second copy opened a main window"
logged second "   Found existing: PID $first"
press "$alert" Return
ends second "$second" 10

ready first
[ "$(colours "$main")" = 'srgb(24,134,253) srgb(5,125,255) srgb(45,144,251) srgb(24,134,253)' ] ||
    fail "the fix button is not blue, lighter towards the bottom: $(colours "$main")"
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
ready again
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
[ "$(colours "$main")" = 'srgb(255,149,0) srgb(255,149,0) srgb(255,149,0) srgb(251,251,251)' ] ||
    fail "the fix button is not orange and shrunk while restarting: $(colours "$main")"
press "$main" ctrl+q
ends again "$again" 1
[ "$(grep -c 'POST-RESTART' "$scratch/again.out")" -eq 2 ] || fail "quitting waited for the restart"
grep -qx 'TouchBarRestartCount=2' "$settings" || fail "a failed or abandoned restart changed the count"

launch keyquit "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window to quit from its alert"
ready keyquit
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

launch after "$corvane"
window_of "$launched" '^Corvane$' >/dev/null || fail "a killed copy kept the next one out"
main=$(window_of "$launched" '^Corvane$')
ready after
press "$main" space
alert=$(window_of "$launched" '^Success! ✅$') || fail "no success alert to restart again from"
usage() { echo "$(ls "/proc/$1/fd" | wc -l) descriptors, $(ls "/proc/$1/task" | wc -l) threads"; }
before=$(usage "$launched")
for round in $(seq 8); do
    press "$alert" Return
    logged after '✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!' $((round + 1))
    alert=$(window_of "$launched" '^Success! ✅$') || fail "no success alert in round $round"
done
[ "$(usage "$launched")" = "$before" ] || fail "now $(usage "$launched"), before $before"
ps -o stat= --ppid "$launched" | grep -q Z && fail "a tool was left unreaped"
press "$alert" ctrl+q
ends after "$launched" 10
kill -0 "${lookalikes[@]}" || fail "a process that only resembles a service's name was ended"
echo "end-to-end test passed"

