#!/usr/bin/env bash
# What only the real application on X shows, beside relaunched TouchBarServer and ControlStrip:
# a fixed 420 x 360 window, answering while the system bus does not; the fix button gray, blue
# or orange and shrunk; Quit; a second copy told "Corvane is Already Running"; restarts by click
# and keys, eight in a row leaking nothing; "Error ❌" once TouchBarServer stays away; Ctrl+Q
# ending a restart at once, counting nothing.
# Usage: e2e-window.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

# Where the fix button sits in the window (the Quit button sits at 318,290).
click_fix() { xdotool mousemove --window "$1" 210 213 click 1; }
# looks WINDOW COLOURS WHAT: the fix button's colours just inside its left edge, near its top,
# near its bottom, and at the edge itself are COLOURS, or the button is not WHAT.
looks() {
    local seen
    seen=$(import -window "$1" png:- | convert - -format \
        '%[pixel:p{62,213}] %[pixel:p{96,190}] %[pixel:p{96,238}] %[pixel:p{57,213}]' info:)
    [ "$seen" = "$2" ] || fail "the fix button is not $3: $seen"
}

# A system bus that takes the connection and never answers.
python3 -c 'import socket, sys, time; s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]);
s.listen(); time.sleep(600)' "$scratch/bus" & track $!
until [ -S "$scratch/bus" ]; do sleep 0.1; done
launch bare env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/bus" "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window without a Touch Bar"
logged bare 'Final detection: false'
logged bare 'goes unheard: the system bus did not answer within 5 seconds'
sleep 0.3
looks "$main" "$(printf 'srgb(142,142,147) %.0s' 1 2 3)srgb(142,142,147)" gray
xdotool mousemove --window "$main" 318 290 click 1
ends bare "$launched" 10

supervise TouchBarServer
server=$launched
supervise ControlStrip

launch first "$corvane"
first=$launched
main=$(window_of "$first" '^Corvane$') || fail "no main window"

launch second "$corvane"
alert=$(window_of "$launched" '^Corvane is Already Running$') || fail "no alert from the second copy"
press "$alert" Return
ends second "$launched" 10

ready first
sizes=$(xwininfo -stats -size -id "$main")
[ "$(grep -cE ' (Width: 420|Height: 360|m(in|ax)imum size: 420 by 360)$' <<<"$sizes")" -eq 4 ] ||
    fail "the window is not a fixed 420 x 360: $sizes"
looks "$main" 'srgb(24,134,253) srgb(5,125,255) srgb(45,144,251) srgb(24,134,253)' blue
click_fix "$main"
alert=$(window_of "$first" '^Success! ✅$') || fail "no success alert"
press "$alert" Escape
ends first "$first" 10

launch again "$corvane"
again=$launched
main=$(window_of "$again" '^Corvane$') || fail "no main window for the next copy"
ready again
press "$main" space
alert=$(window_of "$again" '^Success! ✅$') || fail "no success alert for the next copy"
usage() { echo "$(ls "/proc/$1/fd" | wc -l) descriptors, $(ls "/proc/$1/task" | wc -l) threads"; }
before=$(usage "$again")
for round in $(seq 8); do
    press "$alert" Return
    logged again '✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!' $((round + 1))
    alert=$(window_of "$again" '^Success! ✅$') || fail "no success alert in round $round"
done
[ "$(usage "$again")" = "$before" ] || fail "now $(usage "$again"), before $before"
ps -o stat= --ppid "$again" | grep -q Z && fail "a tool was left unreaped"

kill "$server"
press "$alert" Return
alert=$(window_of "$again" '^Error ❌$') || fail "no error alert"
press "$alert" Return
supervise TouchBarServer
# The alert is modal: only once OK has closed it does a click reach the fix button.
click_fix "$main"
logged again 'Waiting 2 seconds' 11
looks "$main" 'srgb(255,149,0) srgb(255,149,0) srgb(255,149,0) srgb(251,251,251)' orange
press "$main" ctrl+q
ends again "$again" 1
[ "$(grep -c 'POST-RESTART' "$scratch/again.out")" -eq 10 ] || fail "quitting waited for the restart"
grep -qx 'TouchBarRestartCount=10' "$settings" || fail "the count is not 10: $(cat "$settings")"
