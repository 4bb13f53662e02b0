# What the end-to-end scripts share. Each drives the real binary as a person would, on a
# virtual X display, beside stand-ins for the Touch Bar's services, inside PID, mount and
# network namespaces of its own: the copies it starts see and terminate only processes started
# there, a tool swapped for a stand-in is swapped there only, Xvfb shares no socket with any
# other display, and every process ends with the script, also on failure. Source it first
# thing, with the script's own arguments: the path of the corvane binary. Needs root, or
# another way to let unshare make namespaces.

if [ "$$" -ne 1 ]; then
    exec unshare --pid --fork --kill-child --mount-proc --net bash "$0" "$(realpath "$1")"
fi
corvane=$1
# Xvfb takes over a display whose lock names a process it cannot see, and from here it sees
# none outside; with a network and a socket folder of its own, it can only take the number.
mkdir -p -m 1777 /tmp/.X11-unix
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xsession.sh"
start_display
private_home
# The instance lock's folder follows the user's id, not the environment: the runtime folders
# of root and of the unprivileged user, and the account's home, are this script's own.
mount -t tmpfs -o mode=755 tmpfs /run/user
mount --bind "$HOME" "$(getent passwd "$(id -u)" | cut -d: -f6)"
install -d -m 700 /run/user/0 && install -d -m 700 -o 65534 -g 65534 /run/user/65534
settings=$XDG_CONFIG_HOME/com.tamberlin.corvane.conf

# supervise NAME [USER]: keeps a stand-in NAME (a copy of sleep) running, as USER if given, as
# the system keeps its services; the supervising loop's process id in $launched.
supervise() {
    [ -x "$scratch/$1" ] || cp /bin/sleep "$scratch/$1"
    local as=()
    [ -n "${2:-}" ] && as=(setpriv --reuid="$2" --regid="$2" --clear-groups)
    while :; do "${as[@]}" "$scratch/$1" 600 || true; done 2>/dev/null &
    launched=$!
    track "$launched"
}

# stand_in PATH SCRIPT: puts a shell script at the absolute path PATH of a folder of system
# tools, for this script's namespace only; the real tools stay in their place everywhere else.
stand_in() {
    local folder=${1%/*}
    local layer=$scratch/layer$(tr / _ <<<"$folder")
    if [ ! -d "$layer" ]; then
        mkdir -p "$layer/upper" "$layer/work"
        mount -t overlay overlay \
            -o "lowerdir=$folder,upperdir=$layer/upper,workdir=$layer/work" "$folder"
    fi
    # Some tools are links to others (pkill to pgrep): the stand-in replaces the link itself.
    rm -f "$1"
    printf '#!/bin/sh\n%s\n' "$2" >"$1"
    chmod 755 "$1"
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

# ready NAME: waits until NAME has found its Touch Bar and its window has taken that in: the
# fix button is enabled and has the keyboard focus.
ready() {
    logged "$1" 'Final detection: true'
    # The detection logs its answer from its own thread; the window takes it a moment later.
    sleep 0.3
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

# screenshot WINDOW NAME: saves the window as build/screenshots/NAME.png, to be looked at.
screenshot() {
    local folder
    folder=$(dirname "${BASH_SOURCE[0]}")/../../build/screenshots
    mkdir -p "$folder"
    import -window "$1" "$folder/$2.png"
}
