#!/usr/bin/env bash
# Corvane in the tray, on a private session bus beside a stand-in tray host: the icon registers
# and its tooltip follows the health; with it running, `corvane fix` restarts and both copies'
# restarts count once each; its menu as the host receives it fixes, starts at login (an entry
# systemd's generator takes; someone else's file, a link or a read-only folder is said) and
# quits; a copy killed mid-restart counts nothing and keeps no fix out; with no tray host, or a
# session bus that never answers, the window says so and stays. Without a notification server,
# `fix --notify` shows its outcome in a window. After a wake heard from logind on a private
# system bus, a dead strip is told once (a burst too), a working one not at all; fixing after
# wakes asks polkit before any password prompt, stops after three failed wakes until any fix
# works, each wake is in the history, and a notification server that answers an error opens the
# window instead.
# Usage: e2e-resident.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

host() { /usr/bin/python3 "$(dirname "$0")/tray-host.py" "$@"; }
# units: what systemd's XDG autostart generator makes of the autostart folder.
units() {
    rm -rf "$scratch/units" && mkdir "$scratch/units"
    XDG_CONFIG_DIRS=/nowhere /usr/lib/systemd/user-generators/systemd-xdg-autostart-generator \
        "$scratch"/units{,,} && ls "$scratch/units"
}
counted() { grep -qx "TouchBarRestartCount=$1" "$settings" || fail "count $1 not saved"; }
# notified COUNT TEXT: the COUNTth call of Notify, and the last, says TEXT.
notified() {
    logged notify ' Notify ' "$1"
    [ "$(grep -c ' Notify ' "$scratch/notify.out")" = "$1" ] || fail "Notify called more than $1 times"
    grep ' Notify ' "$scratch/notify.out" | tail -n1 | grep -qF -- "$2" || fail "no notification '$2'"
}
# tip TEXT: the icon's tooltip comes to say TEXT within 10 s.
tip() {
    local _
    for _ in $(seq 50); do host tooltip "$item" | grep -qF -- "$1" && return 0 || sleep 0.2; done
    fail "the tooltip is not '$1': $(host tooltip "$item")"
}

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$scratch/bus" 2>/dev/null & track $!
until [ -s "$scratch/bus" ]; do sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$scratch/bus")
mount -t tmpfs tmpfs /sys/class
mkdir -p /sys/class/dmi/id && echo 'Apple Inc.' >/sys/class/dmi/id/sys_vendor
echo 'MacBookPro16,1' >/sys/class/dmi/id/product_name

launch host host watch && logged host watching
launch alone "$corvane" fix --notify && alone=$launched
alert=$(window_of "$alone" '^Touch Bar not fixed$') && press "$alert" Return || fail "no window without a notification server"
logged alone 'No notification server took the outcome, so a window shows it'
status=0 && await_exit "$alone" 10 || status=$?
[ "$status" = 2 ] || fail "fix --notify without a notification server ended with $status"
launch mock /usr/bin/python3 -m dbusmock --session -t notification_daemon -l "$scratch/notify.out"
until [ -s "$scratch/notify.out" ] || busctl --user status org.freedesktop.Notifications >/dev/null 2>&1; do sleep 0.1; done
launch tray "$corvane" tray && tray=$launched
logged host 'item ' && item=$(tail -n1 "$scratch/host.out" | cut -d' ' -f2)
# No service of macOS's runs yet, and Linux has no other backend here: the tray says so.
tip "neither tiny-dfr nor macOS's Touch Bar services are on this machine"
supervise TouchBarServer
"$corvane" fix --notify >"$scratch/fix.out" 2>&1 || fail "a fix beside the tray ended with $?"
counted 1 && notified 1 'Touch Bar fixed" "The Touch Bar was restarted (restart #1).'
host menu "$item" >"$scratch/menu.txt"
diff <(printf '%s\n' 'Fix Touch Bar' "The Touch Bar hardware is not visible to the system: neither tiny-dfr nor macOS's Touch Bar services are on this machine." ---- \
    'Open Corvane' 'Start at Login' 'Fix After Wake' Quit) "$scratch/menu.txt" || fail "not the menu expected"
host click "$item" 'Fix Touch Bar'; tip 'The Touch Bar works' && counted 2
notified 2 '"Success! ✅" "Touch Bar has been successfully restarted!"'
# Start at Login writes a valid entry that starts Corvane in the tray, and removes only its own.
entry=$XDG_CONFIG_HOME/autostart/com.tamberlin.corvane.desktop
host click "$item" 'Start at Login'; sleep 0.5 && desktop-file-validate "$entry" &&
    grep -qx "Exec=\"$corvane\" tray" "$entry" && units | grep -qx 'app-com.tamberlin.corvane@autostart.service' ||
    fail "no valid autostart entry"
host click "$item" 'Start at Login'; sleep 0.5 && [ ! -e "$entry" ] && ! units | grep -q corvane || fail "the entry stays"
printf '[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n' >"$entry"
host click "$item" 'Start at Login'; logged tray 'written by someone else, and is left alone'
grep -q Mine "$entry" && [ "$(host menu "$item" | sed -n 5p)" = 'Start at Login (set up by someone else)' ] ||
    fail "someone else's entry was changed, or not said"
login() { host click "$item" "$(host menu "$item" | sed -n 5p)"; }
ln -sf "$scratch/elsewhere" "$entry" && login && logged tray 'is a link, left alone'
rm "$entry" && mount -t tmpfs -o ro tmpfs "${entry%/*}" && login
logged tray 'could not be written: ' && umount "${entry%/*}"
host click "$item" 'Open Corvane'
screenshot "$(window_of "$tray" '^Corvane$')" resident || fail "Open Corvane opened no window"
host click "$item" Quit; ends tray "$tray" 5
stand_in /usr/bin/pkill 'exec sleep 60'
launch killed "$corvane" tray && logged host 'item ' 2 && item=$(tail -n1 "$scratch/host.out" | cut -d' ' -f2)
host click "$item" 'Fix Touch Bar'; logged killed 'Attempting to kill process'
kill -9 "$launched" && ln -sf pgrep /usr/bin/pkill && counted 2
"$corvane" fix >"$scratch/fix.out" 2>&1 && counted 3 || fail "no fix after a tray copy was killed mid-restart"

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$scratch/system" 2>/dev/null & track $!
until [ -s "$scratch/system" ]; do sleep 0.1; done
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$scratch/system")
launch logind /usr/bin/python3 -m dbusmock --system -t logind
launch polkit /usr/bin/python3 -m dbusmock --system -t polkitd
until busctl --system status org.freedesktop.PolicyKit1 && busctl --system status org.freedesktop.login1; do sleep 0.1; done >/dev/null 2>&1
mock() { busctl --system call "org.freedesktop.$1" "/org/freedesktop/$2" org.freedesktop.DBus.Mock "${@:3}"; }
# wake [FALSES]: PrepareForSleep(true), then (false) FALSES times (1); returns once it was read.
reads=1
wake() {
    local say=(mock login1 login1 EmitSignal sssav org.freedesktop.login1.Manager PrepareForSleep b 1 b) _
    "${say[@]}" true && for _ in $(seq "${1:-1}"); do "${say[@]}" false; done
    logged wake '🩺 Touch Bar health now' $((reads += 1))
}
# tiny-dfr's unit runs while $unit is there; a restart as the person is refused unless
# $unit.fixable is; the administrator's restarts it.
unit=$scratch/tiny-dfr
echo 'Standard PC' >/sys/class/dmi/id/product_name
stand_in /usr/bin/journalctl 'exit 0'
stand_in /usr/bin/pkexec "echo \"\$*\" >>$unit.log; touch $unit"
stand_in /usr/bin/systemctl "u=$unit"'
case "$*" in
"show tiny-dfr.service "*) [ -e $u ] && s="active running" || s="inactive dead"
    printf "LoadState=loaded\nActiveState=%s\nSubState=%s\nResult=success\nInvocationID=1\n" $s ;;
*" restart tiny-dfr.service") echo restart >>$u.log; [ -e $u.fixable ] && touch $u && exit
    echo "Failed to restart tiny-dfr.service: Interactive authentication required." >&2; exit 4 ;;
*) exit 5 ;;
esac'
cp /bin/sleep /usr/bin/tiny-dfr
while :; do [ -e "$unit" ] && /usr/bin/tiny-dfr 600 || sleep 0.1; done 2>/dev/null & track $!
stop() { rm -f "$unit" "$unit.fixable"; pkill -x tiny-dfr || true; }
launch wake "$corvane" tray && tray=$launched
logged host 'item ' 3 && item=$(grep 'item ' "$scratch/host.out" | tail -n1 | cut -d' ' -f2)
wake && notified 3 '"The Touch Bar is not working after wake" "The Touch Bar'
wake 3 && notified 4 'not working after wake'
touch "$unit" && wake && sleep 0.5 && notified 4 'not working after wake'
host click "$item" 'Fix After Wake' || fail "no Fix After Wake in $(host menu "$item" | tr '\n' /)"; stop
for n in 1 2 3; do wake && notified $((4 + n)) '"The Touch Bar could not be fixed after wake"'; done
logged wake 'Not asking for a password unasked: restart-daemon' 3
notified 7 'Corvane stops fixing it after wakes until a fix works.'
wake && notified 8 'not working after wake' && [ "$(grep -cx restart "$unit.log")" = 3 ] &&
    grep -qx 'FailedFixesAfterWake=3' "$settings" || fail "a fourth wake was fixed, or the failures not saved"
touch "$unit.fixable" && "$corvane" fix >/dev/null && stop
mock PolicyKit1 PolicyKit1/Authority SetAllowed as 1 com.tamberlin.corvane.restart-daemon
wake && notified 9 '"Touch Bar fixed after wake" "The Touch Bar was restarted (restart #5).'
grep -qx '/usr/libexec/corvane/corvane-touchbar-helper restart-daemon' "$unit.log" || fail "polkit's yes was not used"
grep -q '"after":"working","before":"daemon-stopped","event":"wake","kernel":"[^"]*","sleptSeconds":[01],"steps":\[\]' \
    "$XDG_STATE_HOME/corvane/history.jsonl" || fail "a wake is not in the history with what it found"
busctl --user call org.freedesktop.Notifications /org/freedesktop/Notifications org.freedesktop.DBus.Mock AddMethod sssss org.freedesktop.Notifications Notify susssasa{sv}i u \
    'raise dbus.exceptions.DBusException("refused", name="org.freedesktop.DBus.Error.Failed")'
stop && wake && window_of "$tray" '^Touch Bar fixed after wake$' >/dev/null ||
    fail "a notification answered with an error opened no window"
cp "$scratch/notify.out" "$scratch/menu.txt" "${BASH_SOURCE[0]%/*}/../../build/screenshots/"
host click "$item" Quit; ends wake "$tray" 5

kill "$(pgrep -f 'tray-host.py watch')"
launch lonely env XDG_CURRENT_DESKTOP=ubuntu:GNOME "$corvane" tray
window_of "$launched" '^Corvane$' >/dev/null || fail "no window without a tray"
logged lonely 'On GNOME, turn on the AppIndicator extension'
kill "$launched"; await_exit "$launched" 5 || true
launch silent /usr/bin/python3 -c 'import socket, sys, time
bus = socket.socket(socket.AF_UNIX); bus.bind(sys.argv[1]); bus.listen()
print("listening", flush=True); time.sleep(600)' "$scratch/silent" && logged silent listening
launch deaf env DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/silent" "$corvane" tray
window_of "$launched" '^Corvane$' >/dev/null && logged deaf 'session bus did not answer within 5 seconds' &&
    logged deaf 'This desktop shows no tray icons' || fail "a silent session bus held the tray copy"
echo "resident end-to-end test passed in $SECONDS s"
