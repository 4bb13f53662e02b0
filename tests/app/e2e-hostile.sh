#!/usr/bin/env bash
# The real application against what a hostile person or a broken machine does to it, beside
# stand-ins for TouchBarServer and ControlStrip that a loop relaunches:
#  1. without a display it ends with status 1 and one line on standard error that says so;
#  2. a burst of 30 presses of Space is one restart, counted once, and presses nothing else,
#     not even Help, which opens the help page when it is clicked;
#  3. with standard output closed, full and never read, or read by no one, it still finds the
#     Touch Bar, restarts it and quits with Ctrl+Q, status 0, and leaves the lock free;
#  4. of two copies started at once exactly one opens its window, twenty times over;
#  5. without HOME it restarts, says the count was not saved, and writes nothing under /;
#  6. the lock falls back from a runtime folder of another user's; with no folder to hold it
#     the window opens and the log says why; a link planted as the lock file is not followed;
#  7. a TouchBarServer that ignores the request to quit, or quits but is never reaped, is
#     reported as not restarted and nothing is counted;
#  8. a hung pkill or pgrep is stopped after 5 s and named, the spinner keeps turning, the
#     restart ends in "Error ❌", and Ctrl+Q ends a copy at once meanwhile.
# Qt writes nothing on standard error, but its warning about a foreign runtime folder.
#
# Usage: e2e-hostile.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

supervise TouchBarServer
server=$launched
supervise ControlStrip
# The help page opens through xdg-open: a stand-in notes each time.
stand_in /usr/bin/xdg-open "echo \"\$*\" >>$scratch/opened.log"
cp /usr/bin/pgrep "$scratch/pkill"

for display in 'DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=' 'DISPLAY=:99 QT_QPA_PLATFORM=xcb'; do
    status=0
    env $display timeout 10 "$corvane" >/dev/null 2>"$scratch/headless.err" || status=$?
    [ "$status" -eq 1 ] || fail "with $display it ended with status $status"
    [ "$(wc -l <"$scratch/headless.err")" -eq 1 ] &&
        grep -q 'no display could be opened' "$scratch/headless.err" ||
        fail "with $display it did not say in one line that there is no display"
done

launch burst "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window"
ready burst
# Below, only the running TouchBarServer can make the fix button usable.
grep -q 'Model in list: false' "$scratch/burst.out" || fail "this machine has a Touch Bar model"
press "$main" --delay 15 $(printf 'space %.0s' $(seq 30))
alert=$(window_of "$launched" '^Success! ✅$') || fail "no success alert after the burst"
[ "$(grep -c '🚀 TOUCH BAR RESTART INITIATED' "$scratch/burst.out")" -eq 1 ] ||
    fail "the burst started more than one restart"
grep -qx 'TouchBarRestartCount=1' "$settings" || fail "count 1 not saved after the burst"
[ -e "$scratch/opened.log" ] &&
    fail "the burst opened the help page $(wc -l <"$scratch/opened.log") times"
press "$alert" Escape
ends burst "$launched" 10
launch help "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window for Help"
xdotool mousemove --window "$main" 103 290 click 1
logged help 'Final detection'
sleep 0.5
[ "$(cat "$scratch/opened.log" 2>/dev/null)" = https://corvane.tamberlin.com/help ] ||
    fail "Help did not open https://corvane.tamberlin.com/help"
press "$main" ctrl+q
ends help "$launched" 1

# blind NAME PID COUNT: the copy just started, whose log cannot be read, finds the Touch Bar
# (a click on the fix button does nothing until then), restarts it and quits with Ctrl+Q.
blind() {
    local main alert _
    track "$2"
    main=$(window_of "$2" '^Corvane$') || fail "$1: no main window"
    for _ in $(seq 50); do
        xdotool mousemove --window "$main" 210 213 click 1
        alert=$(xdotool search --all --onlyvisible --pid "$2" --name '^Success! ✅$') && break
        sleep 0.2
    done
    [ -n "$alert" ] || fail "$1: no success alert"
    press "$alert" ctrl+q
    ends "$1" "$2" 1
    grep -qx "TouchBarRestartCount=$3" "$settings" || fail "$1: count $3 not saved"
}
"$corvane" >&- 2>"$scratch/closed.err" &
blind closed $! 2
# 64 KiB fill a pipe: Corvane's first line finds it full.
exec {full}> >(exec sleep 600)
track $!
head -c 65536 /dev/zero >&"$full"
"$corvane" >&"$full" 2>"$scratch/full.err" &
blind full $! 3
exec {gone}> >(:) {full}>&-
wait $!
"$corvane" >&"$gone" 2>"$scratch/gone.err" &
blind gone $! 4
exec {gone}>&-

# pair WHAT [VARIABLE=VALUE...]: of two copies started at once, the second with VARIABLE=VALUE,
# one opens its window and the other only the "Already Running" alert; both are killed then,
# which frees the lock.
pair() {
    local what=$1 pids=() copy pid windows=0 settings=()
    shift
    for copy in 1 2; do
        launch "pair$copy" env "${settings[@]}" "$corvane"
        settings=("$@")
        pids+=("$launched")
    done
    for pid in "${pids[@]}"; do
        window_of "$pid" '^Corvane( is Already Running)?$' >/dev/null || fail "$what: no window"
        xdotool search --all --onlyvisible --pid "$pid" --name '^Corvane$' >/dev/null &&
            windows=$((windows + 1))
    done
    [ "$windows" -eq 1 ] || fail "$what: $windows main windows"
    kill -KILL "${pids[@]}"
    wait "${pids[@]}" 2>/dev/null || true
}
# The first round also shows that none of the copies above left the lock held.
for round in $(seq 20); do pair "round $round"; done

[ -e /.config/com.tamberlin.corvane.conf ] && fail "/.config/com.tamberlin.corvane.conf exists"
launch homeless env -u HOME -u XDG_CONFIG_HOME "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window without HOME"
ready homeless
press "$main" space
alert=$(window_of "$launched" '^Success! ✅$') || fail "no success alert without HOME"
logged homeless '⚠️ The restart count was not saved: there is no home folder to keep it in'
press "$alert" ctrl+q
ends homeless "$launched" 1
[ -e /.config/com.tamberlin.corvane.conf ] && fail "without HOME it saved in /.config"

mkdir -m 700 "$scratch/elsewhere"
pair "another runtime, cache and home folder" XDG_RUNTIME_DIR="$scratch/elsewhere" \
    XDG_CACHE_HOME="$scratch/elsewhere" HOME="$scratch/elsewhere"
# The runtime folder, the account's home (root's) and /tmp, each another user's.
foreign=$scratch/foreign
mkdir -p "$foreign/$(id -u)" "$foreign/.cache" "$foreign/corvane-$(id -u)"
chown -R 65534 "$foreign"
launch stranded unshare --mount sh -c 'for folder in /run/user /root /tmp; do
    mount --bind "$1" $folder; done; exec "$2"' sh "$foreign" "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window without a lock folder"
logged stranded '   ⚠️ Could not check for other instances: '
press "$main" ctrl+q
await_exit "$launched" 1 || fail "stranded ended with status $? (124: still runs after 1 s)"

echo keep >"$scratch/victim"
ln -sf "$scratch/victim" "/run/user/$(id -u)/com.tamberlin.corvane.lock"
launch planted "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window beside a planted link"
grep -Eq ":[0-9a-f]+:$(stat -c %i "$scratch/victim") " /proc/locks &&
    fail "the lock was taken on the file the planted link names"
press "$main" ctrl+q
ends planted "$launched" 1
[ "$(cat "$scratch/victim")" = keep ] || fail "the planted link's file was changed"

# A TouchBarServer that ignores the request to quit, and one that quits but whose parent never
# reaps it, did not restart; the loop that relaunched TouchBarServer is gone by now.
kill "$server"
pkill -x TouchBarServer
for case in ignores unreaped; do
    if [ "$case" = ignores ]; then
        (trap '' TERM && exec "$scratch/TouchBarServer" 600) &
        expected='the same process \(PID [0-9]+\) is still running after being asked to quit'
    else
        sh -c "\"$scratch/TouchBarServer\" 600 & exec sleep 600" &
        expected='Failed to restart Touch Bar service'
    fi
    track $!
    launch "$case" "$corvane"
    main=$(window_of "$launched" '^Corvane$') || fail "$case: no main window"
    ready "$case"
    press "$main" space
    alert=$(window_of "$launched" '^Error ❌$') || fail "$case: no error alert"
    grep -Eq "^❌ Touch Bar restart failed - .*$expected|^⚠️ Touch Bar restart completed but" \
        "$scratch/$case.out" || fail "$case: not reported as not restarted"
    grep -q 'COMPLETED SUCCESSFULLY' "$scratch/$case.out" && fail "$case: counted a restart"
    press "$alert" ctrl+q
    ends "$case" "$launched" 1
    pkill -KILL -x TouchBarServer || true
    kill -KILL $! 2>/dev/null || true
done

stand_in /usr/bin/pkill \
    "[ \"\$4\" = TouchBarServer ] && exec sleep 600; exec $scratch/pkill \"\$@\""
stopped='did not finish within 5 seconds and was stopped'
launch hungkill "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window for the hung pkill"
ready hungkill
press "$main" space
logged hungkill 'Attempting to kill process: TouchBarServer'
[ "$(import -window "$main" rgb:- | md5sum)" != \
    "$(sleep 0.3 && import -window "$main" rgb:- | md5sum)" ] ||
    fail "the spinner stood still while pkill hung"
logged hungkill "   ⚠️ /usr/bin/pkill $stopped"
alert=$(window_of "$launched" '^Error ❌$') || fail "no error alert after the hung pkill"
failed='❌ Failed to kill TouchBarServer: Failed to restart TouchBarServer:'
logged hungkill "$failed /usr/bin/pkill $stopped"
press "$alert" ctrl+q
ends hungkill "$launched" 1

stand_in /usr/bin/pgrep 'exec sleep 600'
launch hungprobe "$corvane"
main=$(window_of "$launched" '^Corvane$') || fail "no main window while pgrep hangs"
logged hungprobe "   ⚠️ /usr/bin/pgrep $stopped"
press "$main" ctrl+q
ends hungprobe "$launched" 1
echo "hostile end-to-end test passed"
