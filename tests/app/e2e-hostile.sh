#!/usr/bin/env bash
# The real application, tools and lock against a hostile person or a broken machine, beside
# relaunched stand-ins: no display; a burst of presses (never reaching Help); standard output
# closed, full or unread; copies started together, also from another environment; no lock
# folder; a TouchBarServer never reaped, as the real ps shows it; a hung pkill, stopped and
# named while the spinner keeps turning.
# Usage: e2e-hostile.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

supervise TouchBarServer
server=$launched
supervise ControlStrip
stand_in /usr/bin/xdg-open "echo \"\$*\" >>$scratch/opened.log"
cp /usr/bin/pgrep "$scratch/pkill"

for display in 'DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=' 'DISPLAY=:99 QT_QPA_PLATFORM=xcb'; do
    env $display timeout 10 "$corvane" >/dev/null 2>"$scratch/headless.err" && fail "$display: 0"
    [ "$?$(wc -l <"$scratch/headless.err")$(grep -c 'no display could be opened' \
        "$scratch/headless.err")" = 111 ] || fail "$display: not one line, status 1"
done

# start NAME [ENV...]: a copy with its main window in $main, its Touch Bar found.
start() {
    launch "$1" env "${@:2}" "$corvane"
    main=$(window_of "$launched" '^Corvane$') || fail "$1: no main window"
    ready "$1"
}
# restart NAME TITLE [KEY...]: the keys pressed into $main open the alert TITLE; Ctrl+Q ends it.
restart() {
    [ $# -gt 2 ] && press "$main" --delay 15 "${@:3}"
    alert=$(window_of "$launched" "^$2\$") || fail "$1: no '$2' alert"
    press "$alert" ctrl+q
    ends "$1" "$launched" 1
}

start burst
grep -q 'Model in list: false' "$scratch/burst.out" || fail "the model alone enables the button"
restart burst 'Success! ✅' $(printf 'space %.0s' $(seq 30))
[ "$(grep -c '🚀 TOUCH BAR RESTART INITIATED' "$scratch/burst.out")" = 1 ] || fail "burst: restarts"
[ -e "$scratch/opened.log" ] && fail "the burst pressed Help"
grep -qx 'TouchBarRestartCount=1' "$settings" || fail "count 1 not saved after the burst"

# A pipe whose reader has gone, and one whose reader never reads: it takes 64 KiB, so Corvane's
# first line finds it full. Named pipes keep their readers plain jobs that the cleanup ends.
mkfifo "$scratch/gone" "$scratch/full"
: <"$scratch/gone" & exec {gone}>"$scratch/gone" && wait $!
sleep 600 <"$scratch/full" & track $! && exec {full}>"$scratch/full"
head -c 65536 /dev/zero >&"$full"
for output in '>&-' ">&$full" ">&$gone"; do
    eval "\"\$corvane\" $output 2>\"\$scratch/blind.err\" &"
    # Its log cannot be read: the fix button is clicked until the Touch Bar is found.
    main=$(window_of $! '^Corvane$') || fail "$output: no main window"
    for _ in $(seq 50); do
        xdotool mousemove --window "$main" 210 213 click 1
        alert=$(xdotool search --all --onlyvisible --pid $! --name '^Success! ✅$') &&
            break || sleep 0.2
    done
    press "$alert" ctrl+q
    ends blind $! 1
done
grep -qx "TouchBarRestartCount=4" "$settings" || fail "blind copies: count 4 not saved"

# pair [VARIABLE=VALUE...]: of two copies started at once, the second with VARIABLE=VALUE, only
# one opens its main window; killed, they free the lock.
pair() {
    launch pair1 "$corvane" && pids=("$launched") windows=0
    launch pair2 env "$@" "$corvane" && pids+=("$launched")
    for pid in "${pids[@]}"; do
        window_of "$pid" '^Corvane( is Already Running)?$' >/dev/null || fail "$*: no window"
        xdotool search --all --onlyvisible --pid "$pid" --name '^Corvane$' &&
            windows=$((windows + 1))
    done >/dev/null
    [ "$windows" = 1 ] || fail "$*: $windows main windows"
    kill -KILL "${pids[@]}" && wait "${pids[@]}" 2>/dev/null || true
}
for round in $(seq 20); do pair "ROUND=$round"; done
pair XDG_RUNTIME_DIR="$scratch/else" XDG_CACHE_HOME="$scratch/else" HOME="$scratch/else"

# The runtime folder, the account's home (root's) and /tmp, each another user's; the binary is
# opened first, as it may itself lie under /tmp.
mkdir -p "$scratch/foreign/"{0,.cache,corvane-0} && chown -R 65534 "$scratch/foreign"
launch stranded unshare --mount sh -c 'exec 9<"$2"; for folder in /run/user /root /tmp; do
    mount --bind "$1" $folder; done; exec /proc/self/fd/9' sh "$scratch/foreign" "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window without a lock folder"
logged stranded '   ⚠️ Could not check for other instances: '
press "$main" ctrl+q
await_exit "$launched" 1 || fail "stranded ended with status $? (124: still runs after 1 s)"

# The loop that relaunched TouchBarServer goes; the next one's parent never reaps it.
kill "$server" && pkill -x TouchBarServer
launch parent sh -c "\"$scratch/TouchBarServer\" 600 & exec sleep 600"
start unreaped
restart unreaped 'Error ❌' space
grep -q '^⚠️ Touch Bar restart completed but' "$scratch/unreaped.out" || fail "unreaped: restarted"

stand_in /usr/bin/pkill "[ \$4 = TouchBarServer ] && exec sleep 600; exec $scratch/pkill \"\$@\""
start hungkill
press "$main" space
logged hungkill 'Attempting to kill process: TouchBarServer'
[ "$(import -window "$main" rgb:- | md5sum)" != \
    "$(sleep 0.3 && import -window "$main" rgb:- | md5sum)" ] || fail "the spinner stood still"
xdotool mousemove --window "$main" 103 290 click 1
sleep 0.5
[ "$(cat "$scratch/opened.log")" = https://corvane.tamberlin.com/help ] || fail "Help: no page meanwhile"
restart hungkill 'Error ❌'
logged hungkill 'Failed to restart TouchBarServer: /usr/bin/pkill did not finish within 5 seconds'
echo "hostile end-to-end test passed in $SECONDS s"
