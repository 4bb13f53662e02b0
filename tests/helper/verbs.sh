#!/usr/bin/env bash
# Runs the real helper once per row of ROWS.txt, on the made-up machine of machine.sh, and
# compares what it did with the file: each row "== SETUP ARGUMENT..." is followed by what the
# stand-ins ran, what the helper wrote on its outputs, its status and the processes it left.
# SETUP is "-" or comma-separated: nobody (run as user 65534), card (the display is there),
# dirty (a caller's environment, descriptor 3 and ignored SIGCHLD), loaded (the three drivers
# are loaded), missing (modprobe cannot be started), deaf (nobody reads standard output), or a
# file for the stand-ins (machine.sh).
# Usage: verbs.sh HELPER ROWS.txt
source "$(dirname "$0")/machine.sh"
helper=$1 rows=$2

row() {
    local setup=$1 word status=0 as=()
    shift
    rm -rf "$scratch"/{ran.log,env.log,crash,hang,nocard,broken-*,loaded/*} "$card"
    chmod +x /usr/sbin/modprobe
    echo "== $setup $*"
    for word in ${setup//,/ }; do
        case $word in
        loaded) touch "$scratch"/loaded/{appletbdrm,hid_appletb_bl,hid_appletb_kbd} ;;
        nobody) as=(setpriv --reuid=65534 --regid=65534 --clear-groups) ;;
        card) eval "$plug" ;;
        dirty) as=(perl -e '$SIG{CHLD} = "IGNORE"; exec @ARGV' env HOME=/root PKEXEC_UID=1000
            LC_ALL=de_DE.UTF-8 PATH=/tmp SHELL=/bin/sh) ;;
        missing) chmod -x /usr/sbin/modprobe ;;
        deaf) as=(perl -e 'pipe(R, W); close R; open(STDOUT, ">&W"); exec @ARGV') ;;
        *) touch "$scratch/$word" ;;
        esac
    done
    "${as[@]}" "$helper" "$@" >"$scratch/out" 2>"$scratch/err" 3<"$rows" || status=$?
    sed 's/^/ran: /' "$scratch/ran.log" 2>/dev/null || true
    [[ $setup != dirty ]] || sed 's/^/env: /' "$scratch/env.log"
    sed 's/^/out: /' "$scratch/out"
    sed 's/^/err: /' "$scratch/err"
    echo "status $status, left running: $(pgrep -c -v -x 'bash|pgrep' || true)"
}

sed -n 's/^== //p' "$rows" | while read -r -a words; do row "${words[@]}"; done >"$scratch/actual"
diff -u "$rows" "$scratch/actual" || fail "the helper did not do what $rows says"
echo "PASS: $(grep -c '^== ' "$rows") rows of ${rows##*/}"
