#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a user's system would receive: files
# where desktops, polkit and systemd look; the entry (with "Fix Touch Bar"), the metainfo and the
# sleep unit pass their validators; the password-free rule stays inert and the unit off
# (tests/helper/ shows what polkit makes of policy and rule).
# Usage: install_test.sh BUILD_DIR VERSION APP_ID
set -euo pipefail

build=$1 version=$2 app_id=$3
source "$(dirname "$0")/../../scripts/lib/xsession.sh"

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
icon=$prefix/share/icons/hicolor/scalable/apps/$app_id.svg
policy=$prefix/share/polkit-1/actions/$app_id.policy
rules=$prefix/share/corvane/polkit/$app_id.rules
helper=$prefix/libexec/corvane/corvane-touchbar-helper
unit=$prefix/lib/systemd/system/corvane-touchbar-sleep.service

# desktop_value KEY [GROUP]: KEY's value in GROUP, by default the main one.
desktop_value() { sed -n "/^\[${2:-Desktop Entry}\]/,/^\[/s/^$1=//p" "$desktop"; }

check_layout() {
    local file
    for file in "$desktop" "$metainfo" "$icon" "$prefix/share/doc/corvane/copyright" \
        "$policy" "$rules" "$helper" "$unit"; do
        [ -s "$file" ] || fail "missing or empty: ${file#"$prefix"/}"
    done
    [ -x "$helper" ] || fail "the helper is not executable"

    # Hints are advice (Utility and System are both main categories on purpose).
    local report
    report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
    report=$(grep -v ': hint: ' <<<"$report" || true)
    [ -z "$report" ] || fail "desktop-file-validate: $report"

    # Every finding, down to pedantic ones, is a line "<letter>: <id>:<line>: <tag> ...".
    report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
        fail "appstreamcli validate: $report"
    ! grep -q '^[A-Z]: ' <<<"$report" || fail "appstreamcli validate: $report"

    # The menu starts what Exec names, with no field codes: Corvane takes no arguments.
    local exec
    exec=$(desktop_value Exec)
    [[ $exec =~ ^[a-z]+$ ]] || fail "Exec is not a bare program name: '$exec'"
    [ -x "$prefix/bin/$exec" ] || fail "Exec=$exec but bin/$exec is not an installed program"
    [ "$(desktop_value Icon)" = "$app_id" ] || fail "Icon is not $app_id"
    [ "$(desktop_value Exec 'Desktop Action fix-touch-bar')" = "$exec fix --admin --notify" ] ||
        fail "the action fix-touch-bar does not run '$exec fix --admin --notify'"

    grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
    grep -Eq "<release version=\"${version//./\\.}\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" \
        "$metainfo" || fail "metainfo has no dated release $version"

    # polkit obeys its rules.d folders: the rule that spares the password stays an example.
    local active
    active=$(find "$prefix" -path '*/polkit-1/rules.d/*')
    [ -z "$active" ] || fail "installs active polkit rules: $active"

    # What verify only warns of systemd ignores, so any word fails it; verify wants the helper
    # the unit runs, so a stand-in takes its place in a mount namespace of the check's own.
    report=$(unshare --mount bash -euc 'mkdir -p "$1/upper/corvane" "$1/work"
        cp /bin/true "$1/upper/corvane/corvane-touchbar-helper"
        mount -t overlay overlay -o "lowerdir=/usr/libexec,upperdir=$1/upper,workdir=$1/work" \
            /usr/libexec
        systemd-analyze verify "$2"' - "$scratch/libexec" "$unit" 2>&1) && [ -z "$report" ] ||
        fail "systemd-analyze verify: $report"
    [ -z "$(find "$prefix" -path '*.wants/*')" ] || fail "installs the sleep unit enabled"
}

check_layout
echo "PASS: installed layout"
