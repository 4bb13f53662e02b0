#!/usr/bin/env bash
# A Linux Touch Bar laptop, whose strip the daemon tiny-dfr draws: a stand-in tiny-dfr
# installed at /usr/bin/tiny-dfr and relaunched by a loop as systemd would, and a stand-in
# /usr/bin/systemctl whose restart of tiny-dfr.service terminates it:
#  1. Corvane finds the Touch Bar by the running daemon alone (this machine's model is none of
#     the Touch Bar Macs), has systemd restart the unit as the user, verifies that tiny-dfr
#     came back as a new process and says "Success! ✅"; nothing of macOS's is touched;
#  2. once systemd refuses the user, "Fix Again" ends in the alert offering the
#     administrator's way, and one prompt (a pkexec that runs its arguments) restarts it.
#
# Usage: e2e-daemon.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

stand_in /usr/bin/systemctl '[ "$*" = "--no-ask-password restart tiny-dfr.service" ] ||
    [ "$*" = "restart tiny-dfr.service" ] || exit 5
exec /usr/bin/pkill -x tiny-dfr'
stand_in /usr/bin/pkexec 'exec "$@"'
cp /bin/sleep /usr/bin/tiny-dfr
while :; do /usr/bin/tiny-dfr 600 || true; done 2>/dev/null &
track $!

launch daemon "$corvane"
app=$launched
main=$(window_of "$app" '^Corvane$') || fail "no main window"
ready daemon
press "$main" space
alert=$(window_of "$app" '^Success! ✅$') || fail "no success alert"
for line in '   TouchBar processes found: true' '🎯 RESTARTING SERVICE:' \
    '   Targets: tiny-dfr.service' '   systemctl restart tiny-dfr.service returned: 0' \
    '   • tiny-dfr: ✅ VERIFIED RUNNING' '   Restart Count: #1'; do
    logged daemon "$line"
done
grep -Eq 'pkill|TouchBarServer|Dock' "$scratch/daemon.out" && fail "it touched macOS's services"

stand_in /usr/bin/systemctl '[ "$*" = "restart tiny-dfr.service" ] && exec /usr/bin/pkill -x tiny-dfr
echo "Failed to restart tiny-dfr.service: Interactive authentication required." >&2
exit 1'
press "$alert" Return
alert=$(window_of "$app" '^Error ❌$') || fail "no alert offering the administrator's way"
logged daemon '   🔒 Only an administrator may restart tiny-dfr.service'
press "$alert" Return
alert=$(window_of "$app" '^Success! ✅$') || fail "no success after the administrator's way"
logged daemon '   Running: /usr/bin/pkexec /usr/bin/systemctl restart tiny-dfr.service'
logged daemon '   Restart Count: #2'
grep -qx 'TouchBarRestartCount=2' "$settings" || fail "count 2 not saved"
press "$alert" ctrl+q
ends daemon "$app" 10
echo "daemon end-to-end test passed"
