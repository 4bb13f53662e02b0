#!/usr/bin/env bash
# A T2 on Linux with a made-up /sys, stand-in systemctl, modprobe and journalctl, the real
# helper: the person's restart succeeds; once resume lost the display driver (systemd's restart
# would fail its dependency), only the administrator's driver reload brings the display back; a
# crash screen that comes back after the restart is said so; a display that timed out comes back
# with its USB configuration selected again; each fix is one entry of the history.
# Usage: e2e-daemon.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

state=$scratch/unit
mkdir -p "$state"
for folder in /sys/class /sys/bus /usr/libexec; do mount -t tmpfs tmpfs "$folder"; done
mkdir -p /sys/class/dmi/id /sys/class/backlight/appletb_backlight /usr/libexec/corvane
printf 'MacBookPro16,1\n' >/sys/class/dmi/id/product_name
printf 'Apple Inc.\n' >/sys/class/dmi/id/sys_vendor
for device in 1-1:8302 1-2:8102; do
    usb=/sys/bus/usb/devices/${device%:*} && mkdir -p "$usb" && echo 05ac >"$usb/idVendor"
    echo "${device#*:}" >"$usb/idProduct" && echo 2 >"$usb/bConfigurationValue"
done
cp "$(dirname "$corvane")/../helper/corvane-touchbar-helper" /usr/libexec/corvane/
stand_in /usr/sbin/modprobe 'card=/sys/class/drm/card1/device
case "$*" in
"-r appletbdrm") rm -rf /sys/class/drm/card1 ;;
appletbdrm) mkdir -p $card && ln -s ../../../bus/usb/drivers/appletbdrm $card/driver ;;
esac'
stand_in /usr/bin/systemctl "unit=$state"'
case "$*" in
"show tiny-dfr.service "*) printf "LoadState=loaded\nActiveState=%s\nSubState=%s\nResult=success\nInvocationID=%s\n" \
    "$( [ -e $unit/started ] && echo active || echo inactive)" "$( [ -e $unit/started ] && echo running || echo dead)" \
    "$(cat $unit/invocation)" ;;
*" restart tiny-dfr.service" | "start tiny-dfr.service")
    [ -e /sys/class/drm/card1 ] || { echo "A dependency job for tiny-dfr.service failed." >&2; exit 1; }
    od -An -N16 -tx1 /dev/urandom | tr -d " \n" >$unit/invocation
    touch $unit/started; /usr/bin/pkill -x tiny-dfr || true ;;
"stop tiny-dfr.service") rm -f $unit/started; /usr/bin/pkill -x tiny-dfr || true ;;
"reset-failed tiny-dfr.service") ;;
*) exit 5 ;;
esac'
stand_in /usr/bin/journalctl "case \"\$*\" in *' -k '*) cat $state/kernel ;; *) cat $state/daemon ;; esac 2>/dev/null; exit 0"
stand_in /usr/bin/pkexec 'exec "$@"'
/usr/sbin/modprobe appletbdrm
touch "$state/started" "$state/invocation"
cp /bin/sleep /usr/bin/tiny-dfr
while :; do [ -e "$state/started" ] && /usr/bin/tiny-dfr 600 || sleep 0.1; done 2>/dev/null &
track $!

launch daemon "$corvane" && app=$launched
main=$(window_of "$app" '^Corvane$') || fail "no main window"
ready daemon
press "$main" space
alert=$(window_of "$app" '^Success! ✅$') || fail "no success alert"
logged daemon '   Restart Count: #1'

/usr/sbin/modprobe -r appletbdrm
press "$alert" Return
alert=$(window_of "$app" '^Error ❌$') || fail "no alert offering the administrator's way"
logged daemon '🩺 Touch Bar health before the fix: display-driver-gone'
sleep 0.3
screenshot "$alert" display-driver-gone
press "$alert" Return
alert=$(window_of "$app" '^Success! ✅$') || fail "no success after the driver reload"
logged daemon '   Running: /usr/bin/pkexec /usr/libexec/corvane/corvane-touchbar-helper reload-drivers'
grep -qx 'TouchBarRestartCount=2' "$settings" || fail "count 2 not saved"
printf "2026-12-07T09:00:00+0000 host tiny-dfr[9]: thread 'main' panicked at 'Failed to open uinput', src/main.rs:60:10\n" >"$state/daemon"
press "$alert" Return
alert=$(window_of "$app" '^Error ❌$') || fail "no alert on the crash that came back"
logged daemon "   tiny-dfr crashed again at once, with the same panic: 'Failed to open uinput', src/main.rs:60:10"
press "$alert" Return

rm "$state/daemon" && /usr/sbin/modprobe -r appletbdrm
echo '2026-12-07T09:00:00+0000 host kernel: appletbdrm 1-1:2.1: [drm] *ERROR* Failed to send message (-110)' >"$state/kernel"
# The card comes back once 2 is written anew, as appletbdrm binds to the new configuration.
value=/sys/bus/usb/devices/1-1/bConfigurationValue written=$(stat -c %y "$value")
(until [ "$(stat -c %y "$value")" != "$written" ] && [ "$(<"$value")" = 2 ]; do sleep 0.05; done
    mkdir -p /sys/class/drm/card1/device && ln -s ../../../bus/usb/drivers/appletbdrm /sys/class/drm/card1/device/driver) &
track $!
press "$main" space
alert=$(window_of "$app" '^Error ❌$') || fail "no alert offering the display's configuration"
logged daemon '🩺 Touch Bar health before the fix: display-timed-out'
press "$alert" Return
alert=$(window_of "$app" '^Success! ✅$') || fail "no success after the configuration selected again"
logged daemon '   Running: /usr/bin/pkexec /usr/libexec/corvane/corvane-touchbar-helper reselect-display'
grep -qx 'TouchBarRestartCount=3' "$settings" || fail "count 3 not saved"
# Each of the window's fixes is in the history: the health before, the rungs that ran, after.
jq -se 'map(.before + ":" + (.steps | join(",")) + ":" + .after) == ["working:restart:working",
    "display-driver-gone::display-driver-gone", "display-driver-gone:reload-drivers:working",
    "daemon-crashed:restart:daemon-crashed", "display-timed-out::display-timed-out",
    "display-timed-out:reselect-display:working"]' "$XDG_STATE_HOME/corvane/history.jsonl" \
    >/dev/null || fail "the history does not hold the window's six fixes"
press "$alert" ctrl+q
ends daemon "$app" 10

# The report: a user, a host, a serial and a MAC address planted in the environment, the host
# name, os-release and the journal never reach it; nor does the journal's escape sequence.
printf 'PRETTY_NAME="Debian GNU/Linux 12 (kestrel-mbp a4:83:e7:1b:2c:3d)"\n' >"$scratch/os-release"
mount --bind "$scratch/os-release" /usr/lib/os-release
printf '2026-12-07T09:00:00+0000 kestrel-mbp tiny-dfr[9]: \033[31m /home/mbrandt/a, mbrandt\n' >"$state/daemon"
echo '2026-12-07T09:00:00+0000 kestrel-mbp kernel: usb 1-1: SerialNumber: C02XK1ABJHD3 A4-83-E7-1B-2C-3D' >"$state/kernel"
USER=mbrandt unshare --uts sh -c 'hostname kestrel-mbp && "$0" report --output "$1"' "$corvane" "$scratch/report.md" >/dev/null ||
    fail "report --output failed"
! grep -qiE $'mbrandt|kestrel|C02XK1ABJHD3|a4.83.e7.1b.2c.3d|\e' "$scratch/report.md" || fail "report: personal details"
for line in '# Corvane report' '## Health' "## tiny-dfr's journal" '- user names: 1' '- host names: 3' \
    '- serial numbers: 1' '- MAC addresses: 2' '- home paths: 1'; do
    grep -qxF -- "$line" "$scratch/report.md" || fail "report: no '$line'"
done
ln -s "$scratch/report.md" "$scratch/link.md"
status=0 && "$corvane" report --output "$scratch/link.md" 2>"$scratch/link.err" || status=$?
[ "$status" = 74 ] && grep -qF 'is a link' "$scratch/link.err" || fail "report wrote through a link"
