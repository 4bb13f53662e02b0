#!/usr/bin/env bash
# polkit itself decides what `pkexec PROGRAM VERB` may do with what a build installs: a private
# system bus and the real polkitd read only the installed policy (and polkit's own, which holds
# pkexec's fallback action), the real pkexec runs as user 65534 once per row of ROWS.txt, and
# the installed helper sits where the package puts it, on the made-up machine of machine.sh. Each row
# "== RULES PROGRAM ARGUMENT..." is followed by the actions polkitd was asked about, what pkexec
# or the helper wrote on standard error, and pkexec's status (the helper's, once it ran:
# tests/helper/verbs.txt shows what each verb does). RULES is "ask", a rule that logs each
# question and allows Corvane's actions only, so each row shows which action a command line
# reaches; or "shipped", the optional rule, beside one that only logs.
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
mount -t tmpfs tmpfs /usr/share/polkit-1/rules.d
mount -t tmpfs tmpfs /etc/polkit-1/rules.d
mkdir -p /run/dbus
mount -t tmpfs tmpfs /run/dbus
dbus-daemon --system --fork --nopidfile
cat >"$scratch/ask.rules" <<'RULE'
polkit.addRule(function (action, subject) {
    polkit.log("asked: " + action.id + " for " + action.lookup("command_line"));
    return action.id.indexOf("com.tamberlin.corvane.") == 0 ? polkit.Result.YES : polkit.Result.NO;
});
RULE
sed 's/return .*/return polkit.Result.NOT_HANDLED;/' "$scratch/ask.rules" >"$scratch/log.rules"

# polkitd RULES: (re)starts polkitd with the rules of that row kind, and waits until it serves.
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
    /usr/lib/polkit-1/polkitd >"$scratch/polkitd.log" 2>&1 &
    polkitd=$!
    until grep -q 'Acquired the name' "$scratch/polkitd.log"; do sleep 0.1; done
    sed -n 's/^.*\(Finished loading\)/\1/p' "$scratch/polkitd.log"
}

# pkexec refuses a caller whose parent is PID 1 ("dead parents"): rows run in the loop's subshell.
sed -n 's/^== //p' "$rows" | while read -r rules words; do
    echo "== $rules $words"
    [ "$rules" = "${kind:-}" ] || polkitd "$rules"
    kind=$rules status=0 asked=$(wc -l <"$scratch/polkitd.log")
    # shellcheck disable=SC2086
    setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/pkexec $words \
        >/dev/null 2>"$scratch/err" || status=$?
    tail -n +$((asked + 1)) "$scratch/polkitd.log" | grep -o 'asked: .*' || true
    sed 's/^/err: /' "$scratch/err"
    echo "status $status"
done >"$scratch/actual"
diff -u "$rows" "$scratch/actual" || fail "polkit did not decide as $rows says"
echo "PASS: $(grep -c '^== ' "$rows") rows of ${rows##*/}"
