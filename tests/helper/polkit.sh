#!/usr/bin/env bash
# polkit itself decides what `pkexec PROGRAM ARGUMENT...` may do with what a build installs: a
# private system bus, the real polkitd reading only the installed policy (and polkit's own, for
# pkexec's fallback), the real pkexec as user 65534 without a terminal, the installed helper on
# the made-up machine of machine.sh. Each row "== KIND PROGRAM ARGUMENT..." of ROWS.txt is
# followed by the actions polkitd was asked about, what reached standard error, and the status.
# KIND "ask": a rule that logs and allows Corvane's actions only, so the row shows which action
# a command line reaches. Otherwise the optional rule as installed, asked from a session that is
# "active", "inactive" (switched away) or "remote" (no seat), as logind's files describe it.
# Usage: polkit.sh BUILD_DIR ROWS.txt
source "$(dirname "$0")/machine.sh"
prefix=$scratch/usr rows=$2
cmake --install "$1" --prefix "$prefix" >/dev/null

overlay /usr/libexec
cp -r "$prefix/libexec/corvane" /usr/libexec/
cp "$prefix/libexec/corvane/corvane-touchbar-helper" /usr/libexec/
eval "$plug"
mkdir "$scratch/actions"
cp "$prefix/share/polkit-1/actions/com.tamberlin.corvane.policy" \
    /usr/share/polkit-1/actions/org.freedesktop.policykit.policy "$scratch/actions"
mount --bind "$scratch/actions" /usr/share/polkit-1/actions
for folder in /usr/share/polkit-1/rules.d /etc/polkit-1/rules.d /run/systemd /run/dbus; do
    mkdir -p "$folder" && mount -t tmpfs tmpfs "$folder"
done
mkdir /run/systemd/{seats,sessions,users}
dbus-daemon --system --fork --nopidfile
cat >"$scratch/ask.rules" <<'RULE'
polkit.addRule(function (action, subject) {
    polkit.log("asked: " + action.id + " for " + action.lookup("command_line") +
               (subject.local ? ", local" : "") + (subject.active ? ", active" : ""));
    return action.id.indexOf("com.tamberlin.corvane.") == 0 ? polkit.Result.YES : polkit.Result.NO;
});
RULE
sed 's/return .*/return polkit.Result.NOT_HANDLED;/' "$scratch/ask.rules" >"$scratch/log.rules"

# polkitd RULES: (re)starts polkitd with the rules "ask" or "shipped", and waits until it serves.
polkitd() {
    rm -f /etc/polkit-1/rules.d/*
    [ -z "${polkitd:-}" ] || { kill "$polkitd"; wait "$polkitd" || true; }
    if [ "$1" = ask ]; then
        cp "$scratch/ask.rules" /etc/polkit-1/rules.d/00-ask.rules
    else
        cp "$scratch/log.rules" /etc/polkit-1/rules.d/00-log.rules
        cp "$prefix/share/corvane/polkit/com.tamberlin.corvane.rules" /etc/polkit-1/rules.d/
    fi
    : >"$scratch/polkitd.log"
    /usr/lib/polkit-1/polkitd >"$scratch/polkitd.log" 2>&1 & polkitd=$!
    until grep -q 'Acquired the name' "$scratch/polkitd.log"; do sleep 0.1; done
}

# The rows run in the loop's subshell, pkexec's caller (pkexec refuses a caller that is PID 1),
# which logind's files put in session c1 of user 65534: active unless the row says otherwise.
slice=/user.slice/user-65534.slice/session-c1.scope
printf '1:name=systemd:%s\n0::%s\n' "$slice" "$slice" >"$scratch/cgroup"
sed -n 's/^== //p' "$rows" | while read -r kind words; do
    echo "== $kind $words"
    mount --bind "$scratch/cgroup" "/proc/$BASHPID/cgroup"
    [ "$kind" = ask ] && rules=ask || rules=shipped
    status=0 seat=seat0 state=active
    [ "$kind" != inactive ] || state=online
    [ "$kind" != remote ] || seat=
    printf 'NAME=nobody\nSTATE=%s\n' "$state" >/run/systemd/users/65534
    printf 'UID=65534\nUSER=nobody\nACTIVE=1\nREMOTE=%d\nSEAT=%s\n' "$((!${#seat}))" "$seat" \
        >/run/systemd/sessions/c1
    [ "$rules" = "${running:-}" ] || polkitd "$rules"
    running=$rules asked=$(wc -l <"$scratch/polkitd.log")
    # shellcheck disable=SC2086
    setsid setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/pkexec $words \
        >/dev/null 2>"$scratch/err" || status=$?
    tail -n +$((asked + 1)) "$scratch/polkitd.log" | grep -o 'asked: .*' || true
    sed 's/^/err: /' "$scratch/err"
    echo "status $status"
done >"$scratch/actual"
diff -u "$rows" "$scratch/actual" || fail "polkit did not decide as $rows says"
echo "PASS: $(grep -c '^== ' "$rows") rows of ${rows##*/}"
