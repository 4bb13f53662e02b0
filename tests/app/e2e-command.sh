#!/usr/bin/env bash
# The command line as a script, a launcher or a sleep hook runs it: no display and no platform
# plugin to be had, beside the stand-ins of the other scripts and a firmware model of the
# script's own choosing. One run for each exit status the stand-ins can bring about; the JSON
# of status against its keys and types, also for a model that is not UTF-8; a second fix, and
# a window, refused while a fix runs, which status never is; a fix killed in its wait counts
# nothing and leaves the lock free; output into a closed or a full pipe holds no fix up.
#
# Usage: e2e-command.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

headless=(env -u DISPLAY QT_QPA_PLATFORM=nonexistent)
# cli STATUS ARGUMENT...: runs the command line, which must end with STATUS; what it wrote is
# in $scratch/cli.out and cli.err.
cli() {
    local expected=$1 status=0
    shift
    "${headless[@]}" "$corvane" "$@" >"$scratch/cli.out" 2>"$scratch/cli.err" || status=$?
    [ "$status" = "$expected" ] || fail "corvane $* ended with $status, not $expected"
}
said() { grep -qF -- "$2" "$scratch/cli.$1" || fail "corvane did not say '$2' on std$1"; }
counted() { grep -qx "TouchBarRestartCount=$1" "$settings" || fail "count $1 not saved"; }
model() {
    mkdir -p /sys/class/dmi/id
    printf '%b' "$1" >/sys/class/dmi/id/product_name
    printf 'Apple Inc.\n' >/sys/class/dmi/id/sys_vendor
}
# json STATE: the status object, valid UTF-8, has exactly its keys, each of its type.
json() {
    iconv -f UTF-8 -t UTF-8 "$scratch/cli.out" >/dev/null || fail "status --json: not UTF-8"
    jq -e --arg state "$1" '(keys == ["backend", "health", "lastRestart", "model",
        "restartCount", "services", "touchBar"]) and (.model | type == "string")
        and (.touchBar | type == "boolean") and (.backend | IN("macos", "tiny-dfr"))
        and (.health | keys == ["reason", "state"]) and .health.state == $state
        and (.health.reason | type == "string") and (.restartCount | type == "number")
        and (.services | type == "array" and all(keys == ["name", "running"]
             and (.name | type == "string") and (.running | type == "boolean")))
        and (.lastRestart == null or (.lastRestart | test("^\\d{4}-\\d\\d-\\d\\dT[\\d:]{8}Z$")))' \
        "$scratch/cli.out" >/dev/null || fail "status --json: not the object expected"
}

while read -r arguments; do
    cli 64 $arguments
    said err 'Usage: corvane'
done <<'ROWS'
--frob
status --json=yes
fix --json
status --admin
status status
repair
-x
ROWS
cli 0 --help && said out 'Usage: corvane'
cli 0 --version && said out 'corvane 1.'

mount -t tmpfs tmpfs /sys/class
model 'iMac20,1'
cli 2 status && said out 'Touch Bar: none detected'
cli 2 fix && said out '❌ No Touch Bar detected on this device'
model '\xff\xfe"\\\x01\n\tMac'
cli 2 status --json && json daemon-stopped
model 'MacBookPro16,1'
cli 1 status --json && json daemon-stopped
supervise TouchBarServer
cli 0 status --json && json working
cli 0 fix && said out '✅ TOUCH BAR RESTART COMPLETED SUCCESSFULLY!' && counted 1
[ "$(tail -n1 "$scratch/cli.out")" = 'The Touch Bar was restarted (restart #1).' ] ||
    fail "no closing line"
cli 0 status --json && json working
jq -e '.restartCount == 1 and .lastRestart != null' "$scratch/cli.out" >/dev/null ||
    fail "status does not show the restart"

"${headless[@]}" "$corvane" fix | true || fail "a fix into a closed pipe ended with $?"
exec 3> >(exec sleep 600)
track $!
head -c 65536 /dev/zero >&3
timeout 20 "${headless[@]}" "$corvane" fix >&3 || fail "a fix into a full pipe ended with $?"
counted 3

# A pkill that takes its time keeps the first fix, and its lock, around for a while.
cp -L /usr/bin/pkill "$scratch/pkill"
stand_in /usr/bin/pkill "[ \"\$4\" = TouchBarServer ] && sleep 4; exec $scratch/pkill \"\$@\""
launch first "${headless[@]}" "$corvane" fix
first=$launched
logged first '🔄 Attempting to kill process: TouchBarServer'
cli 6 fix && said err 'Corvane is already running (a window, or another fix'
cli 0 status
launch window "$corvane"
window_of "$launched" '^Corvane is Already Running$' >/dev/null || fail "no alert in the window"
logged first '⏱️ Waiting 2 seconds'
kill -KILL "$first"
stand_in /usr/bin/pkill "exec $scratch/pkill \"\$@\""
counted 3
cli 0 fix && counted 4

cp /bin/sleep /usr/bin/tiny-dfr
while :; do /usr/bin/tiny-dfr 600 || true; done 2>/dev/null &
track $!
model 'iMac20,1'
stand_in /usr/bin/systemctl '[ "$1" = show ] && exec printf "LoadState=loaded\nActiveState=active\nSubState=running\nResult=success\n"
echo "Failed to restart tiny-dfr.service: Interactive authentication required." >&2
exit 1'
cli 4 fix && said err "An administrator is needed: run \`$corvane fix --admin\`"
stand_in /usr/bin/pkexec 'exit 126'
cli 5 fix --admin &&
    said out '   Running: /usr/bin/pkexec /usr/libexec/corvane/corvane-touchbar-helper restart-daemon'
stand_in /usr/bin/systemctl 'exit 5'
cli 1 fix
stand_in /usr/bin/pgrep ''
chmod 644 /usr/bin/pgrep
cli 3 status --json && json unknown
counted 4
echo "command end-to-end test passed"
