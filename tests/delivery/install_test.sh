#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a user's system would receive.
#   layout  the files are where desktops look for them, the desktop entry and the metainfo pass
#           the freedesktop validators, and names and version agree across them
#   launch  the installed binary opens its window "Corvane" under Xvfb and quits on Ctrl+Q
#           with status 0
# Usage: install_test.sh layout|launch BUILD_DIR VERSION APP_ID
set -euo pipefail

mode=$1 build=$2 version=$3 app_id=$4
source "$(dirname "$0")/../../scripts/lib/xsession.sh"

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
icon=$prefix/share/icons/hicolor/scalable/apps/$app_id.svg

desktop_value() { sed -n "s/^$1=//p" "$desktop"; }

check_layout() {
    local file
    for file in "$desktop" "$metainfo" "$icon" "$prefix/share/doc/corvane/copyright"; do
        [ -s "$file" ] || fail "missing or empty: ${file#"$prefix"/}"
    done

    # Hints are advice (Utility and System are both main categories on purpose); warnings
    # and errors are not.
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
    [ "$(desktop_value Name)" = Corvane ] || fail "Name is not Corvane"

    grep -q "<id>$app_id</id>" "$metainfo" || fail "metainfo id is not $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "metainfo does not launch $app_id.desktop"
    grep -q "<binary>$exec</binary>" "$metainfo" || fail "metainfo does not provide $exec"
    grep -Eq "<release version=\"${version//./\\.}\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" \
        "$metainfo" || fail "metainfo has no dated release $version"
}

check_launch() {
    start_display
    private_home
    launch app "$prefix/bin/$(desktop_value Exec)"
    local app=$launched window
    window=$(window_of "$app" '^Corvane$') || fail "no window titled Corvane"
    press "$window" ctrl+q
    await_exit "$app" 10 || fail "status $? after Ctrl+Q (124: still running after 10 s)"
}

case $mode in
layout) check_layout ;;
launch) check_launch ;;
*) fail "unknown mode '$mode'" ;;
esac
echo "PASS: $mode"
