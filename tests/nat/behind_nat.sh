#!/bin/sh
# behind_nat.sh SOURCE_DIR BUILD_DIR: ryftp and the Explorer behind an ordinary NAT. Three
# network namespaces of the test's own: a server (pyftpdlib, 198.18.1.2) that has no
# route back to the client, a router that masquerades the client (iptables MASQUERADE, no
# FTP helper), and the client (198.18.2.2) behind it. In passive mode the client opens
# every connection and all works; in active mode the server cannot connect back, and the
# listing must fail with the server's reply, not look like an empty directory. The
# automation server's VBScript example lists and fetches there with a default Connect.
# Every namespace and server it makes, it removes.
set -e
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "network namespaces need root"
command -v iptables >/dev/null || skip "iptables is not installed"
server=ryinet-nat-server router=ryinet-nat-router client=ryinet-nat-client
# The namespaces and addresses are the machine's, not the build tree's: a second tree's
# run waits for this one (flock -o: the servers and Wine started here do not hold the lock).
[ -n "${RYINET_NAT_LOCKED:-}" ] || RYINET_NAT_LOCKED=1 exec flock -o /run/lock/ryinet-nat.lock sh "$0" "$@"
base=$build/ftp/nat
work=$(mktemp -d)
cleanup() {
    ip netns exec $server /usr/bin/python3 "$src/tests/servers/ftp_fixture.py" stop pyftpdlib 198.18.1.2 "$base" >/dev/null 2>&1 || true
    for ns in $client $router $server; do ip netns del $ns 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
ip netns add $server 2>/dev/null || skip "network namespaces cannot be made here"
ip netns add $router
ip netns add $client
ip link add nat-s0 netns $server type veth peer name nat-r0 netns $router
ip link add nat-c0 netns $client type veth peer name nat-r1 netns $router
inside() { ns=$1; shift; ip netns exec "$ns" "$@"; }
inside $server ip addr add 198.18.1.2/24 dev nat-s0
inside $router ip addr add 198.18.1.1/24 dev nat-r0
inside $router ip addr add 198.18.2.1/24 dev nat-r1
inside $client ip addr add 198.18.2.2/24 dev nat-c0
for pair in "$server nat-s0" "$router nat-r0" "$router nat-r1" "$client nat-c0" "$server lo" "$router lo" "$client lo"; do
    set -- $pair
    inside "$1" ip link set "$2" up
done
inside $client ip route add default via 198.18.2.1
inside $router sysctl -qw net.ipv4.ip_forward=1
inside $router iptables -t nat -A POSTROUTING -o nat-r0 -j MASQUERADE
inside $server /usr/bin/python3 "$src/tests/servers/ftp_fixture.py" start pyftpdlib 198.18.1.2 "$base" >/dev/null

failed=0
check() {  # check WHAT CONDITION...
    what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
ryftp() {  # ryftp ARGS...: standard input is the session; the transcript into $work/out
    (cd "$work" && inside $client env RYINET_BUILD="$build" DISPLAY= "$src/ryftp" "$@") >"$work/out" 2>&1
}
printf 'kept behind the NAT\n' >"$work/local.txt"

echo "== passive mode (the default)"
status=0
printf 'status\nls\nget readme.txt\nput local.txt up.txt\nbye\n' | ryftp 198.18.1.2 ryuser rypass || status=$?
cat "$work/out"
check "passive: every command succeeded" [ "$status" = 0 ]
check "passive: the listing" grep -q '512  readme.txt' "$work/out"
check "passive: get" grep -q 'received readme.txt: 512 bytes' "$work/out"
check "passive: put" cmp -s "$work/local.txt" "$base/root/up.txt"

echo "== active mode (--active)"
status=0
printf 'ls\nbye\n' | ryftp --active 198.18.1.2 ryuser rypass || status=$?
cat "$work/out"
check "active: the listing failed, exit status 1" [ "$status" = 1 ]
check "active: the reply is named" grep -q '^listing failed: [0-9][0-9][0-9] ' "$work/out"
check "active: passive mode is suggested" grep -q 'stops: passive on' "$work/out"
check "active: not an empty directory" sh -c "! grep -q 'no entries' '$work/out'"

echo "== the Explorer, passive"
status=0
inside $client env RYTEST_EXPLORER_HOST=198.18.1.2 RYTEST_EXPLORER_ROOT="$base/root" WINEDLLOVERRIDES=rasapi32=n \
    "$src/cmake/wine-run.sh" --build "$build" --display "$build/wine-explorer/explorer_test.exe" \
    --gtest_filter=ExplorerWindow.APassiveConnectionListsTheServedTree >"$work/out" 2>&1 || status=$?
grep -E '^\[ +(OK|FAILED) +\]' "$work/out" || tail -n 20 "$work/out"
check "the Explorer lists behind the NAT" [ "$status" = 0 ]

echo "== RyInet.Session from VBScript, a default Connect"
automation() { "$src/cmake/wine-run.sh" --build "$build" --win64 "$build/bin/ryinet-automation.exe" "$@" >/dev/null 2>&1; }
windows() { echo "Z:$1" | sed 's|/|\\|g'; }
automation /regserver
# COM starts the server from the prefix's own processes: they must start in the client's
# namespace, which they do once the prefix's Wine has ended outside it.
WINEPREFIX=$("$src/cmake/wine-run.sh" --build "$build" --win64 --prefix) wineserver -w
inside $client "$src/cmake/wine-run.sh" --build "$build" --display --win64 cscript //nologo \
    "$(windows "$src/tests/nat/list_and_get.vbs")" 198.18.1.2 "$(windows "$work")" "$(windows "$work/vbs.txt")" >/dev/null 2>&1 || true
automation /unregserver
iconv -f UTF-16 -t UTF-8 "$work/vbs.txt" >"$work/out" 2>/dev/null || true
cat "$work/out"
check "the VBScript lists behind the NAT" grep -q '^entry readme.txt 512' "$work/out"
check "the VBScript fetches behind the NAT" sh -c "grep -q '^got 512' '$work/out' && cmp -s '$work/readme.txt' '$base/root/readme.txt'"
exit $failed
