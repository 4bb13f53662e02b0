#!/usr/bin/env bash
# As on a Mac: root's TouchBarServer, the user's ControlStrip, another user's TouchBarServer and
# NowPlayingTouchUI.
# The user's pass ends only the user's own copies and offers the administrator's way (Cancel
# runs nothing); a granting pkexec runs the real helper, which ends root's copy: "Success! ✅".
# Usage: e2e-administrator.sh path/to/corvane
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh"

user=65534
# The user must reach its home and the stand-ins in the scratch folder.
chmod 711 "$scratch"
supervise TouchBarServer
supervise ControlStrip "$user"
supervise TouchBarServer 65533
supervise NowPlayingTouchUI 65533
chown -R "$user:$user" "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"

launch user setpriv --reuid="$user" --regid="$user" --clear-groups "$corvane" && app=$launched
main=$(window_of "$app" '^Corvane$') || fail "no main window"
ready user

# restart NAME: presses the fix button and waits for the alert offering the administrator's way.
refused() {
    press "$main" space
    alert=$(window_of "$app" '^Error ❌$') || fail "no error alert"
    logged user '   🔒 TouchBarServer (PID ' "$1"
}
refused 1
logged user 'belongs to another user (UID 65533): left alone' 2 # and its NowPlayingTouchUI
sleep 0.3
screenshot "$alert" administrator-needed
press "$alert" Escape
sleep 0.5
grep -q 'Asking for administrator rights' "$scratch/user.out" && fail "Cancel asked all the same"

# A pkexec that grants at once: a set-user-ID copy of env runs the helper as root.
mount -t tmpfs tmpfs /usr/libexec
mkdir /usr/libexec/corvane
cp "$(dirname "$corvane")/../helper/corvane-touchbar-helper" /usr/libexec/corvane/
stand_in /usr/bin/pkexec ''
cp /usr/bin/env /usr/bin/pkexec
chmod 4755 /usr/bin/pkexec
refused 2
press "$alert" Return
logged user '   ✅ Done as administrator: stop-services'
alert=$(window_of "$app" '^Success! ✅$') || fail "no success alert after the administrator's way"
grep -qx 'TouchBarRestartCount=1' "$settings" || fail "count 1 not saved"
press "$alert" ctrl+q
ends user "$app" 10
