#!/bin/sh
# slow_link.sh SOURCE_DIR BUILD_DIR: ryftp at modem speed. A server (pyftpdlib, 198.18.6.1)
# and a client (198.18.6.2) in two network namespaces of the test's own, each side's link
# held to 64 kbit/s with tbf: a get and a put of 300 KB must each show a first progress
# report within 2 s of their start and one at least every 2 s, in KB/s, and close with the
# time and the rate. Every namespace and server it makes, it removes.
set -e
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
skip() { echo "skipped: $*"; exit 77; }
. "$src/tests/nat/link.sh"
[ -n "${RYINET_SLOW_LOCKED:-}" ] || RYINET_SLOW_LOCKED=1 exec flock -o /run/lock/ryinet-slow.lock sh "$0" "$@"
base=$build/ftp/slow-link
work=$(mktemp -d)
server=ryinet-slow-server client=ryinet-slow-client
cleanup() {
    inside $server /usr/bin/python3 "$src/tests/servers/ftp_fixture.py" stop pyftpdlib 198.18.6.1 "$base" >/dev/null 2>&1 || true
    link_down slow
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
why=$(link_up slow 198.18.6.1 198.18.6.2 64kbit) || skip "$why"
inside $server /usr/bin/python3 "$src/tests/servers/ftp_fixture.py" start pyftpdlib 198.18.6.1 "$base" >/dev/null
head -c 300000 /dev/urandom >"$base/root/slow.bin"
head -c 300000 /dev/urandom >"$work/up.bin"
printf 'get slow.bin\nput up.bin\nbye\n' >"$work/script"
status=0
(cd "$work" && /usr/bin/python3 "$src/tests/nat/paced_session.py" --most-first 2 --most-gap 2 --unit KB/s \
    "$work/timed" "$work/script" -- \
    ip netns exec $client env RYINET_BUILD="$build" DISPLAY= "$src/ryftp" 198.18.6.1 ryuser rypass) || status=$?
cat "$work/timed"
cmp -s "$work/slow.bin" "$base/root/slow.bin" || { echo "FAILED: the file received is not the server's"; status=1; }
cmp -s "$work/up.bin" "$base/root/up.bin" || { echo "FAILED: the file sent is not the local one"; status=1; }
exit $status
