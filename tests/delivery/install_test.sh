#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a user's system would receive.
#   layout  the files are where desktops look for them, the desktop entry and the metainfo pass
#           the freedesktop validators, and names and version agree across them
#   launch  the installed binary opens its window "Corvane" under Xvfb and quits on Ctrl+Q
#           with status 0
# Usage: install_test.sh layout|launch BUILD_DIR VERSION APP_ID
set -euo pipefail

mode=$1 build=$2 version=$3 app_id=$4
window_timeout=20
exit_timeout=10

scratch=$(mktemp -d)
app="" xvfb=""
cleanup() {
    local pid
    for pid in $app $xvfb; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

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
    local exec
    exec=$(desktop_value Exec)

    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" \
        2>"$scratch/xvfb.log" &
    xvfb=$!
    local tries
    for ((tries = 0; tries < 50; tries++)); do
        grep -q '^[0-9]\+$' "$scratch/display" && break
        sleep 0.1
    done
    DISPLAY=:$(cat "$scratch/display")
    export DISPLAY
    [ "$DISPLAY" != : ] || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"

    mkdir -p "$scratch/home" "$scratch/config"
    mkdir -m 700 "$scratch/runtime"
    HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/runtime \
        QT_QPA_PLATFORM=xcb "$prefix/bin/$exec" >"$scratch/app.log" 2>&1 &
    app=$!

    local window="" status
    for ((tries = 0; tries < window_timeout * 5; tries++)); do
        window=$(xdotool search --onlyvisible --name '^Corvane$' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        if ! kill -0 "$app" 2>/dev/null; then
            wait "$app" && status=0 || status=$?
            app=""
            fail "exited with status $status before its window appeared: $(cat "$scratch/app.log")"
        fi
        sleep 0.2
    done
    [ -n "$window" ] || fail "no window titled Corvane within ${window_timeout}s"

    timeout 5 xdotool windowfocus --sync "$window" || fail "could not focus the window"
    xdotool key --clearmodifiers ctrl+q

    for ((tries = 0; tries < exit_timeout * 10; tries++)); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    ! kill -0 "$app" 2>/dev/null || fail "still running ${exit_timeout}s after Ctrl+Q"
    wait "$app" && status=0 || status=$?
    app=""
    [ "$status" -eq 0 ] || fail "exited with status $status after Ctrl+Q: $(cat "$scratch/app.log")"
}

case $mode in
layout) check_layout ;;
launch) check_launch ;;
*) fail "unknown mode '$mode'" ;;
esac
echo "PASS: $mode"
