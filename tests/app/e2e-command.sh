#!/usr/bin/env bash
# The command line as a script or a sleep hook runs it, without a display, beside stand-ins and
# a firmware model of its own: each exit status; status's JSON, also for a model not in UTF-8; a
# fix killed in its wait counts nothing and frees the lock; a second fix and a window refused
# while a fix runs, status never; a closed or a full pipe holds no fix up, a full device fails
# status; no thread to be had near the process limit; a closed terminal ends a pending prompt.
# Usage: e2e-command.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

headless=(env -u DISPLAY QT_QPA_PLATFORM=nonexistent)
# cli STATUS ARGUMENTS [STREAM TEXT]: `corvane ARGUMENTS` ends with STATUS, says TEXT on stdSTREAM;
# run through $wrap when set, its answer into $out when set.
cli() {
    local status=0
    ${wrap:-} "${headless[@]}" "$corvane" $2 >"${out:-$scratch/cli.out}" 2>"$scratch/cli.err" ||
        status=$?
    [ "$status" = "$1" ] || fail "corvane $2 ended with $status, not $1"
    [ $# -lt 4 ] || grep -qF -- "$4" "$scratch/cli.$3" || fail "corvane $2: no '$4' on std$3"
}
counted() { grep -qx "TouchBarRestartCount=$1" "$settings" || fail "count $1 not saved"; }
model() { printf '%b' "$1" >/sys/class/dmi/id/product_name; }
# json STATE COUNT: the status object, valid UTF-8, has exactly its keys, each of its type.
json() {
    iconv -f UTF-8 -t UTF-8 "$scratch/cli.out" | jq -e --arg state "$1" --argjson count "$2" \
        --arg time '^\d{4}-\d\d-\d\dT[\d:]{8}Z$' 'keys == ["backend", "health", "history",
        "lastRestart", "model", "restartCount", "services", "touchBar"] and (.history | length <= 5) and (.model | type == "string") and
        (.touchBar | type == "boolean") and (.backend | IN("macos", "tiny-dfr", null)) and (.health |
        keys - ["hint"] == ["reason", "state"] and (.hint // "x" | length > 0) and
        .state == $state and (.reason | type == "string")) and
        .restartCount == $count and (.services | type == "array" and all(keys == ["name",
        "running"] and (.name | type == "string") and (.running | type == "boolean"))) and
        if $count == 0 then .lastRestart == null else .lastRestart | test($time) end' \
        >/dev/null || fail "status --json: not UTF-8, or not the object expected"
}

for arguments in --frob 'status --json=yes' 'fix --json' 'status --admin' 'status status' \
    repair -x 'status --output x' 'report --json'; do cli 64 "$arguments" err "Usage: $corvane"; done
cli 0 --help out 'Usage: '"$corvane"' [options] [status | fix | report | tray | help]'
grep -qx '  74  status, report: the answer could not be written' "$scratch/cli.out" || fail "help: no statuses"
cli 0 --version out 'corvane 1.'

mount -t tmpfs tmpfs /sys/class
mkdir -p /sys/class/dmi/id && echo 'Apple Inc.' >/sys/class/dmi/id/sys_vendor
model 'iMac20,1' && cli 2 status out 'Touch Bar: none detected'
cli 2 fix out '❌ No Touch Bar detected on this device'
model '\xff\xfe"\\\x01\n\tMac' && cli 2 'status --json' && json hardware-missing 0
# Neither tiny-dfr nor a service runs: no backend, and no list of services that are not running.
model 'MacBookPro16,1' && cli 2 status out 'Backend:   none: neither tiny-dfr'
! grep -q 'not running' "$scratch/cli.out" || fail "status lists services of no backend"
supervise TouchBarServer
cli 0 fix out 'The Touch Bar was restarted (restart #1).'
cli 0 'status --json' && json working 1
jq -e '[.history[] | [.event, .before, .steps, .after, .kernel != ""]] == [["fix", "unknown", [],
    "unknown", true], ["fix", "working", ["restart"], "working", true]]' "$scratch/cli.out" >/dev/null ||
    fail "status --json: not the two fixes in the history"
# A history that cannot be written changes nothing about the fix.
history=$XDG_STATE_HOME/corvane/history.jsonl && mv "$history" "$scratch/kept" && mkfifo "$history"
cli 0 fix out "⚠️ The fix was not added to the history: $history: not a plain file"
cli 0 status out "History:   not read: $history: not a plain file"
rm "$history" && mv "$scratch/kept" "$history" && cli 0 status out 'History:   fix at 20'
out=/dev/full cli 74 'status --json' err 'The answer could not be written'
# Near the limit of processes a user may run: no thread for the log, or for Qt's worker.
for run in '2 fix' '4 status'; do
    wrap="timeout 10 prlimit --nproc=${run% *} setpriv --reuid=64123 --regid=64123 --clear-groups" \
        cli 71 "${run#* }" err 'corvane: the system refused a thread (Resource temporarily'
done

"${headless[@]}" "$corvane" fix | true || fail "a fix into a closed pipe ended with $?"
exec 3> >(exec sleep 600) && track $! && head -c 65536 /dev/zero >&3
timeout 20 "${headless[@]}" "$corvane" fix >&3 || fail "a fix into a full pipe ended with $?"
counted 4

# A pkill that takes its time keeps a fix, and its lock, around for a while.
cp -L /usr/bin/pkill "$scratch/pkill"
stand_in /usr/bin/pkill "[ \$4 = TouchBarServer ] && sleep 4; exec $scratch/pkill \"\$@\""
launch first "${headless[@]}" "$corvane" fix && first=$launched
logged first '🔄 Attempting to kill process: TouchBarServer'
cli 6 fix err 'Another restart of the Touch Bar is running'
cli 0 status
launch window "$corvane"
window_of "$launched" '^Corvane is Already Running$' >/dev/null || fail "no alert in the window"
logged first '⏱️ Waiting 2 seconds' && kill -KILL "$first"
cli 0 fix && counted 5 # the killed fix counted nothing

cp /bin/sleep /usr/bin/tiny-dfr && supervise tiny-dfr
model 'iMac20,1'
stand_in /usr/bin/systemctl '[ "$1" = show ] && exec printf "LoadState=loaded\nActiveState=active\nSubState=running\nResult=success\n"
echo "Failed to restart tiny-dfr.service: Interactive authentication required." >&2; exit 1'
cli 4 fix err "An administrator is needed: run \`$corvane fix --admin\`"
stand_in /usr/bin/pkexec 'exit 126'
cli 5 'fix --admin' out \
    '   Running: /usr/bin/pkexec /usr/libexec/corvane/corvane-touchbar-helper restart-daemon'
# A closed terminal ends the prompt of a fix that waits for it.
chmod 711 "$scratch" && install -m 666 /dev/null "$scratch/prompt"
stand_in /usr/bin/pkexec "echo \$\$ >$scratch/prompt; exec sleep 600"
launch prompted setpriv --reuid=64123 --regid=64123 --clear-groups "${headless[@]}" "$corvane" fix --admin
until [ -s "$scratch/prompt" ]; do sleep 0.1; done
kill -HUP "$launched" && { await_exit "$launched" 5 || [ $? = 129 ] || fail "no end on SIGHUP"; }
sleep 0.2 && ps -o stat= -p "$(cat "$scratch/prompt")" | grep -q '^[RS]' && fail "the prompt is left"
stand_in /usr/bin/systemctl 'exit 5'
cli 1 fix
stand_in /usr/bin/pgrep '' && chmod 644 /usr/bin/pgrep
cli 3 'status --json' && json unknown 5
echo "command end-to-end test passed in $SECONDS s"
