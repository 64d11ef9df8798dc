#!/usr/bin/env bash
# Runs a command in a private network and mount namespace with its own loopback
# hosts (127.0.0.1 to 127.0.0.14), X display, Wine prefix and print server (a
# default printer "PDF" that prints into $OMBRELANE_PDF_DIR):
#   scripts/sandbox.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/print_server.sh"

if [ "${OMBRELANE_IN_SANDBOX:-}" != 1 ]; then
    make_wine_template
    export OMBRELANE_IN_SANDBOX=1
    exec unshare -nm --propagation private "$0" "$@"
fi

ip link set lo up
for i in $(seq 2 14); do ip addr add 127.0.0.$i/8 dev lo 2>/dev/null || true; done

# No resolver is reachable in here; a stub answers every question "no such name".
resolv=$(mktemp)
echo "nameserver 127.0.0.1" > "$resolv"
mount --bind "$resolv" /etc/resolv.conf
hosts=$(mktemp)
printf '127.0.0.1\tlocalhost\n' > "$hosts"
# Named hosts for the tests of lookups and whois referrals.
printf '127.0.0.%s\t%s\n' 2 lookup.test 3 referral-a.test 4 referral-b.test 5 referral-c.test 7 silent.test >> "$hosts"
mount --bind "$hosts" /etc/hosts
python3 "$OMBRELANE_ROOT/scripts/dns_stub.py" >/dev/null 2>&1 &
dns_pid=$!

# A real finger daemon as a peer on 127.0.0.9.
socat TCP-LISTEN:79,bind=127.0.0.9,reuseaddr,fork EXEC:/usr/sbin/in.fingerd >/dev/null 2>&1 &
fingerd_pid=$!

# Wine reads the printers when a program starts: the server comes first.
print_run=$OMBRELANE_BUILD/print-run-$$
rm -rf "$print_run"
start_print_server "$print_run" || echo "sandbox: no print server, printing tests will fail" >&2

export WINEPREFIX=$OMBRELANE_BUILD/wine-run-$$
rm -rf "$WINEPREFIX"
cp -a "$WINE_TEMPLATE" "$WINEPREFIX"

export DISPLAY=:0
Xvfb :0 -screen 0 1024x768x24 -nolisten unix -nolock >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done
wineserver -p
# Start Wine's background services now, with no pipes to inherit: a service
# that inherits a test's output pipe would keep ctest waiting for its end.
wine cmd /c exit </dev/null >/dev/null 2>&1

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" "$dns_pid" "$fingerd_pid" >/dev/null 2>&1 || true
    stop_print_server
    rm -rf "$WINEPREFIX" "$print_run"
}
trap cleanup EXIT
set +e
"$@"
status=$?
exit $status
