#!/usr/bin/env bash
# The installed helper on a made-up machine (mount and PID namespaces of its own), where stand-in
# tools log how they ran. Each row "== SETUP COMMAND..." of ROWS.txt is followed by what ran,
# what COMMAND wrote, its status and what it left running. SETUP, comma-separated: nobody, card,
# loaded, busy-MODULE (in use), dirty (environment, descriptor 3, SIGCHLD ignored), missing, deaf,
# link or foreign (planted at the lock), alongside (after-wake runs first), usb (the display at
# USB 5-6, its card plugged once 2 is written), twice (a second 05ac:8302), outside (5-6 a link
# out of /sys), stuck (bConfigurationValue not writable), a stand-in's file
# (nocard, crash, hang, slow, broken-MODULE, signal-MODULE: SIGINT to the helper as it unloads
# MODULE); or user 65534 through the real pkexec and polkitd (private bus, installed policy), from
# an active, inactive or remote session, or "ask" (Corvane's only). COMMAND sleep_unit runs the
# sleep unit.
# Usage: helper.sh BUILD_DIR ROWS.txt (needs root)
[ "$$" -eq 1 ] || exec unshare --mount --pid --fork --kill-child --mount-proc bash "$0" "$@"
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/xsession.sh"
prefix=$scratch/usr rows=$2 card=/sys/class/drm/card1

# stand_in PATH SCRIPT: a shell script at PATH that logs its name and arguments, then does SCRIPT.
stand_in() {
    printf '#!/bin/sh\necho "${0##*/} $*" >>%s/ran\n%s\n' "$scratch" "$2" | install /dev/stdin "$1"
}

# Overlays let this namespace change the tools' folders; everywhere else they stay as they are.
for folder in /usr/bin /usr/sbin /usr/libexec; do
    layer=$scratch/layer$folder && mkdir -p "$layer"/{up,work}
    mount -t overlay overlay -o "lowerdir=$folder,upperdir=$layer/up,workdir=$layer/work" "$folder"
done
cmake --install "$1" --prefix "$prefix" >/dev/null
cp -r "$prefix/libexec/corvane" /usr/libexec/
cp "$prefix/libexec/corvane/corvane-touchbar-helper" /usr/libexec/
for folder in /sys/class /sys/module /sys/bus /sys/devices /run; do mount -t tmpfs tmpfs "$folder"; done
mkdir -p /sys/class/drm/card0/device "$scratch/actions" /run/systemd/{seats,sessions,users} \
    /run/dbus
ln -s ../../../bus/pci/drivers/i915 /sys/class/drm/card0/device/driver
plug="mkdir -p $card/device && ln -sfn ../../../bus/pci/drivers/appletbdrm $card/device/driver"
stand_in /usr/bin/systemctl "{ tr '\\0' '\\n' </proc/\$\$/environ; readlink /proc/\$\$/fd/0 /proc/\$\$/fd/3; } >$scratch/environ
[ ! -e $scratch/crash ] || kill -SEGV \$\$
[ ! -e $scratch/hang ] || { echo 'Waiting for tiny-dfr.service...'; sleep 600 & sleep 600; }"
stand_in /usr/bin/pkill "[ \"\$4\" = TouchBarServer ]"
stand_in /usr/sbin/modprobe "[ ! -e $scratch/slow ] || { rm $scratch/slow; sleep 1; }
if [ \"\$1\" = -r ]; then
    [ ! -e $scratch/signal-\$2 ] || kill -INT \$PPID
    [ -d /sys/module/\$2 ] || { echo \"modprobe: FATAL: Module \$2 is not currently loaded\" >&2; exit 1; }
    grep -qx 0 /sys/module/\$2/refcnt || { echo \"modprobe: FATAL: Module \$2 is in use.\" >&2; exit 1; }
    rm -r /sys/module/\$2; [ \"\$2\" != appletbdrm ] || rm -rf $card
elif [ -e $scratch/broken-\$1 ]; then
    echo \"modprobe: FATAL: Module \$1 not found in directory /lib/modules/6.1.0-28-amd64\" >&2; exit 1
else
    [ -d /sys/module/\$1 ] || { mkdir -p /sys/module/\$1/holders && echo 0 >/sys/module/\$1/refcnt; }
    [ \"\$1\" != appletbdrm ] || [ -e $scratch/nocard ] || { $plug; }
fi"

# polkit's own policy for pkexec's fallback action, reached by a command line outside Corvane's.
cp "$prefix/share/polkit-1/actions/com.tamberlin.corvane.policy" \
    /usr/share/polkit-1/actions/org.freedesktop.policykit.policy "$scratch/actions"
mount --bind "$scratch/actions" /usr/share/polkit-1/actions
for folder in /usr/share/polkit-1/rules.d /etc/polkit-1/rules.d; do
    mkdir -p "$folder" && mount -t tmpfs tmpfs "$folder"
done
dbus-daemon --system --fork --nopidfile
cat >"$scratch/00-ask.rules" <<'RULE'
polkit.addRule(function (action, subject) {
    polkit.log("asked: " + action.id + " for " + action.lookup("command_line") +
               (subject.local ? ", local" : "") + (subject.active ? ", active" : ""));
    return action.id.indexOf("com.tamberlin.corvane.") == 0 ? polkit.Result.YES : polkit.Result.NO;
});
RULE
sed 's/return .*/return polkit.Result.NOT_HANDLED;/' "$scratch/00-ask.rules" >"$scratch/00-log.rules"
# One polkitd serves every row: a rows file asks either with "ask" or under the optional rule.
rules=("$scratch/00-log.rules" "$prefix/share/corvane/polkit/com.tamberlin.corvane.rules")
! grep -q '^== ask' "$rows" || rules=("$scratch/00-ask.rules")
cp "${rules[@]}" /etc/polkit-1/rules.d/
/usr/lib/polkit-1/polkitd >"$scratch/polkitd.log" 2>&1 & track $!
until grep -qs 'Acquired the name' "$scratch/polkitd.log"; do sleep 0.1; done

# sleep_unit: the installed sleep unit, checked by systemd-analyze, then its halves run as systemd
# runs them: ExecStop= only after a start that succeeded ("-" makes any status one),
# ExecStopPost= after any start.
sleep_unit() {
    local unit=$prefix/lib/systemd/system/corvane-touchbar-sleep.service key command failed=''
    systemd-analyze verify "$unit" || return
    while IFS='=' read -r key command; do
        case $key in
        ExecStart) ${command#-} || [[ $command == -* ]] || failed=1 ;;
        ExecStop) [ -n "$failed" ] || $command ;;
        ExecStopPost) $command ;;
        esac
    done < <(grep '^Exec' "$unit")
}

row() {
    local setup=$1 word module status=0 as=() asked='' state=active seat=seat0 usb watcher=
    rm -rf "$scratch"/{ran,environ,env,crash,hang,nocard,slow,broken-*,signal-*,elsewhere} /sys/module/* \
        "$card" /run/corvane-touchbar-helper.lock /sys/bus/usb /sys/devices/*
    chmod +x /usr/sbin/modprobe
    echo "== $setup ${*:2}"
    for word in ${setup//,/ }; do
        case $word in
        loaded) for module in appletbdrm hid_appletb_bl hid_appletb_kbd; do
            mkdir -p /sys/module/$module/holders && echo 0 >/sys/module/$module/refcnt; done ;;
        busy-*) echo 1 >"/sys/module/${word#busy-}/refcnt" ;;
        link) ln -s "$scratch/elsewhere" /run/corvane-touchbar-helper.lock ;;
        foreign) install -o 65534 -m 600 /dev/null /run/corvane-touchbar-helper.lock ;;
        alongside) as=(bash -c '"$0" after-wake & sleep 0.5; "$0" "$@"; s=$?; wait; exit $s') ;;
        nobody) as=(setpriv --reuid=65534 --regid=65534 --clear-groups) ;;
        card) eval "$plug" ;;
        usb | twice) usb=/sys/devices/pci0000:00/usb5/5-6${word#usb} && mkdir -p "$usb" /sys/bus/usb/devices
            printf 05ac >"$usb/idVendor" && printf 8302 >"$usb/idProduct" && echo 1 >"$usb/bConfigurationValue"
            ln -s "../../..${usb#/sys}" "/sys/bus/usb/devices/${usb##*/}"
            # The card comes with 2 written after 0, as appletbdrm binds to the new configuration.
            [ "$word" = twice ] || { (until [ "$(<"$usb/bConfigurationValue")" = 2 ]; do
                read -r -t 0.05 <> <(:) || true; [ ! -e "$scratch/nocard" ] || exit 0; done
                eval "$plug") & watcher=$!; } ;;
        outside) rm /sys/bus/usb/devices/5-6 && ln -s "$scratch/elsewhere" /sys/bus/usb/devices/5-6
            mkdir -p "$scratch/elsewhere" && printf 05ac >"$scratch/elsewhere/idVendor" && printf 8302 >"$scratch/elsewhere/idProduct" ;;
        stuck) rm "$usb/bConfigurationValue" && mkdir "$usb/bConfigurationValue" ;;
        dirty) as=(perl -e '$SIG{CHLD} = "IGNORE"; exec @ARGV' env HOME=/root PKEXEC_UID=1000
            LC_ALL=de_DE.UTF-8 PATH=/tmp SHELL=/bin/sh) ;;
        missing) chmod -x /usr/sbin/modprobe ;;
        deaf) as=(perl -e 'pipe(R, W); close R; open(STDOUT, ">&W"); exec @ARGV') ;;
        ask | active | inactive | remote)
            as=(setsid setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/pkexec)
            [ "$word" != inactive ] || state=online
            [ "$word" != remote ] || seat=
            printf 'NAME=nobody\nSTATE=%s\n' "$state" >/run/systemd/users/65534
            printf 'UID=65534\nUSER=nobody\nACTIVE=1\nREMOTE=%d\nSEAT=%s\n' "$((!${#seat}))" \
                "$seat" >/run/systemd/sessions/c1
            asked=$(wc -l <"$scratch/polkitd.log") ;;
        *) touch "$scratch/$word" ;;
        esac
    done
    "${as[@]}" "${@:2}" >"$scratch/out" 2>"$scratch/err" 3<"$rows" || status=$?
    [ -z "$watcher" ] || { kill "$watcher" 2>/dev/null || true; wait "$watcher" || true; }
    [ -z "$asked" ] || tail -n +$((asked + 1)) "$scratch/polkitd.log" | grep -o 'asked: .*' || true
    [[ $setup != dirty ]] || mv "$scratch/environ" "$scratch/env"
    for part in ran env out err; do sed "s/^/$part: /" "$scratch/$part" 2>/dev/null || true; done
    echo "status $status, left running: $(ps -e -o comm= | grep -cvxE 'bash|ps|grep|dbus-daemon|polkitd')"
}

# pkexec refuses a caller that is PID 1: the rows run in the loop's subshell, which logind's
# files put in session c1 of user 65534.
printf '%s/user.slice/user-65534.slice/session-c1.scope\n' 1:name=systemd: 0:: >"$scratch/cgroup"
sed -n 's/^== //p' "$rows" | {
    mount --bind "$scratch/cgroup" "/proc/$BASHPID/cgroup"
    while read -r -a words; do row "${words[@]}"; done
} >"$scratch/actual"
diff -u "$rows" "$scratch/actual" || fail "the rows of $rows did not come out as written there"
