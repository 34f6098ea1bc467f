#!/bin/sh
# dropped_line.sh SOURCE_DIR BUILD_DIR: a line that drops in the middle of a get. Two network
# namespaces of the test's own, a server (pyftpdlib, 198.18.5.1, its link held to 4 Mbit/s
# with tbf) and a client (198.18.5.2). Once the get has a quarter of a MiB, the server's link
# goes down for 10 s, longer than ryftp's --timeout 4, and comes up again: the get must end
# as stalled, connect again, go on from the byte it had and complete, and the script's next
# commands must run on the new connection. Every namespace and server it makes, it removes.
set -e
top=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$top/tests/nat/link.sh"
[ -n "${RYINET_DROP_LOCKED:-}" ] || RYINET_DROP_LOCKED=1 exec flock -o /run/lock/ryinet-drop.lock sh "$0" "$@"
base=$build/ftp/dropped-line
link_served drop 198.18.5.1 198.18.5.2 4mbit "$base" || exit 77
head -c 4000000 /dev/urandom >"$base/root/big.bin"

# The drop, once the get is well under way (its partial is in the work directory).
(
    for _ in $(seq 600); do
        size=$(stat -c %s "$work/big.bin.rykit-partial" 2>/dev/null || echo 0)
        [ "$size" -gt 262144 ] && break
        sleep 0.1
    done
    inside $server ip link set drop-s0 down
    echo "line down at $size bytes" >"$work/drop"
    sleep 10
    inside $server ip link set drop-s0 up
) &
dropper=$!

status=0
(cd "$work" && printf 'get big.bin\nls\npwd\nbye\n' |
    inside $client env RYINET_BUILD="$build" DISPLAY= "$top/ryftp" --timeout 4 198.18.5.1 ryuser rypass) \
    >"$work/out" 2>&1 || status=$?
wait $dropper || true
cat "$work/out"
cat "$work/drop" 2>/dev/null || echo "the line never went down"

failed=0
check() {  # check WHAT CONDITION...
    what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
check "every command succeeded" [ "$status" = 0 ]
check "the line went down during the get" [ -f "$work/drop" ]
check "the stall is said on a line of its own" grep -q '^no progress for 4 s after .*; trying again in 1 s (1 of 5)' "$work/out"
check "the get went on from the byte it had" grep -q '^received big.bin: 4000000 bytes .*, going on from byte' "$work/out"
check "the file is whole" cmp -s "$work/big.bin" "$base/root/big.bin"
check "the next commands ran on the new connection" grep -q '^9 entries' "$work/out"
check "no partial is left" [ ! -e "$work/big.bin.rykit-partial" ]
exit $failed
