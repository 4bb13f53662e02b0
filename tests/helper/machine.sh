# What the helper's tests share: a machine of their own (mount and PID namespaces) whose tools
# are stand-ins logging how they ran to $scratch/ran.log, and a made-up /sys/class/drm where
# `modprobe appletbdrm` adds the Touch Bar's display card and `modprobe -r appletbdrm` takes it
# away. Files in $scratch steer the stand-ins: loaded/MODULE, nocard, broken-MODULE (cannot be
# loaded), crash and hang (systemctl crashes, never ends). Source it first thing. Needs root.

[ "$$" -eq 1 ] || exec unshare --mount --pid --fork --kill-child --mount-proc bash "$0" "$@"
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xsession.sh"

# overlay FOLDER: lets this namespace change FOLDER; everywhere else it stays as it is.
overlay() {
    local layer=$scratch/layer$(tr / _ <<<"$1")
    mkdir -p "$layer/upper" "$layer/work" "$1"
    mount -t overlay overlay -o "lowerdir=$1,upperdir=$layer/upper,workdir=$layer/work" "$1"
}

# stand_in PATH SCRIPT: a shell script at PATH that logs its name and arguments, then does SCRIPT.
stand_in() {
    rm -f "$1"
    printf '#!/bin/sh\necho "${0##*/} $*" >>%s/ran.log\n%s\n' "$scratch" "$2" >"$1"
    chmod 755 "$1"
}

overlay /usr/bin
overlay /usr/sbin
mount -t tmpfs tmpfs /sys/class
mkdir -p /sys/class/drm/card0/device "$scratch/loaded"
ln -s ../../../bus/pci/drivers/i915 /sys/class/drm/card0/device/driver
card=/sys/class/drm/card1
plug="mkdir -p $card/device && ln -sfn ../../../bus/pci/drivers/appletbdrm $card/device/driver"
stand_in /usr/bin/systemctl "{ tr '\\0' '\\n' </proc/\$\$/environ; readlink /proc/\$\$/fd/0 /proc/\$\$/fd/3; } >$scratch/env.log
[ ! -e $scratch/crash ] || kill -SEGV \$\$
[ ! -e $scratch/hang ] || { echo 'Waiting for tiny-dfr.service...'; sleep 600 & sleep 600; }"
stand_in /usr/bin/pkill "[ \"\$4\" = TouchBarServer ]"
stand_in /usr/sbin/modprobe "if [ \"\$1\" = -r ]; then
    rm $scratch/loaded/\$2 2>/dev/null || { echo \"modprobe: FATAL: Module \$2 is not currently loaded\" >&2; exit 1; }
    [ \"\$2\" != appletbdrm ] || rm -rf $card
elif [ -e $scratch/broken-\$1 ]; then
    echo \"modprobe: FATAL: Module \$1 not found in directory /lib/modules/6.1.0-28-amd64\" >&2
    exit 1
else
    touch $scratch/loaded/\$1
    [ \"\$1\" != appletbdrm ] || [ -e $scratch/nocard ] || { $plug; }
fi"
