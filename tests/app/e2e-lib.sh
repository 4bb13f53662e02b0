# What the end-to-end scripts share; source it first with the corvane binary's path (as root).
# The script runs in PID, mount and network namespaces of its own, which every process ends with.

if [ "$$" -ne 1 ]; then
    exec unshare --pid --fork --kill-child --mount-proc --net bash "$0" "$(realpath "$1")"
fi
corvane=$1
# Xvfb takes a display whose lock names a process it cannot see: its socket folder is its own.
mkdir -p -m 1777 /tmp/.X11-unix
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xsession.sh"
start_display
private_home
# The lock's folders follow the user's id: the runtime folders and the home become our own.
mount -t tmpfs -o mode=755 tmpfs /run/user
mount --bind "$HOME" "$(getent passwd "$(id -u)" | cut -d: -f6)"
install -d -m 700 /run/user/0 && install -d -m 700 -o 65534 -g 65534 /run/user/65534
settings=$XDG_CONFIG_HOME/com.tamberlin.corvane.conf

# supervise NAME [USER]: relaunches a stand-in NAME (a copy of sleep) as the system would, as
# USER if given; the loop's process id is in $launched.
supervise() {
    [ -x "$scratch/$1" ] || cp /bin/sleep "$scratch/$1"
    local as=()
    [ -n "${2:-}" ] && as=(setpriv --reuid="$2" --regid="$2" --clear-groups)
    while :; do "${as[@]}" "$scratch/$1" 600 || true; done 2>/dev/null &
    launched=$!
    track "$launched"
}

# stand_in PATH SCRIPT: a shell script at PATH, under an overlay seen in this namespace only.
stand_in() {
    local folder=${1%/*} layer
    layer=$scratch/layer$(tr / _ <<<"$folder")
    if [ ! -d "$layer" ]; then
        mkdir -p "$layer/upper" "$layer/work"
        mount -t overlay overlay \
            -o "lowerdir=$folder,upperdir=$layer/upper,workdir=$layer/work" "$folder"
    fi
    rm -f "$1" # pkill is a link to pgrep: replace the link, not its target.
    printf '#!/bin/sh\n%s\n' "$2" >"$1"
    chmod 755 "$1"
}

# logged NAME TEXT [COUNT]: waits up to 10 s until NAME has logged COUNT (1) lines with TEXT.
logged() {
    local _
    for _ in $(seq 100); do
        [ "$(grep -cF -- "$2" "$scratch/$1.out")" -ge "${3:-1}" ] && return 0 || sleep 0.1
    done
    fail "$1 did not log '$2' ${3:-1} times"
}

# ready NAME: NAME found its Touch Bar, and its window took that in a moment after the log.
ready() { logged "$1" 'Final detection: true' && sleep 0.3; }

# ends NAME PID SECONDS: the copy ends within SECONDS with status 0, and wrote nothing on its
# standard error but killall's complaint that no Dock runs.
ends() {
    await_exit "$2" "$3" || fail "$1 ended with status $? (124: still runs after $3 s)"
    ! grep -v '^Dock: no process found$' "$scratch/$1.err" | grep -q . ||
        fail "$1 wrote on standard error"
}

# screenshot WINDOW NAME: saves the window as build/screenshots/NAME.png, to be looked at.
screenshot() {
    local folder=${BASH_SOURCE[0]%/*}/../../build/screenshots
    mkdir -p "$folder" && import -window "$1" "$folder/$2.png"
}
