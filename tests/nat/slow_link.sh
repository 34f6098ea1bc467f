#!/bin/sh
# slow_link.sh SOURCE_DIR BUILD_DIR: ryftp at modem speed. A server (pyftpdlib, 198.18.6.1)
# and a client (198.18.6.2) in two network namespaces of the test's own, each side's link
# held to 64 kbit/s with tbf: a get and a put of 300 KB must each show a first progress
# report within 2 s of their start and one at least every 2 s, in KB/s, and close with the
# time and the rate. Every namespace and server it makes, it removes.
set -e
top=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$top/tests/nat/link.sh"
[ -n "${RYINET_SLOW_LOCKED:-}" ] || RYINET_SLOW_LOCKED=1 exec flock -o /run/lock/ryinet-slow.lock sh "$0" "$@"
base=$build/ftp/slow-link
link_served slow 198.18.6.1 198.18.6.2 64kbit "$base" || exit 77
head -c 300000 /dev/urandom >"$base/root/slow.bin"
head -c 300000 /dev/urandom >"$work/up.bin"
printf 'get slow.bin\nput up.bin\nbye\n' >"$work/script"
status=0
(cd "$work" && /usr/bin/python3 "$top/tests/nat/paced_session.py" --most-first 2 --most-gap 2 --unit KB/s \
    "$work/timed" "$work/script" -- \
    ip netns exec $client env RYINET_BUILD="$build" DISPLAY= "$top/ryftp" 198.18.6.1 ryuser rypass) || status=$?
cat "$work/timed"
cmp -s "$work/slow.bin" "$base/root/slow.bin" || { echo "FAILED: the file received is not the server's"; status=1; }
cmp -s "$work/up.bin" "$base/root/up.bin" || { echo "FAILED: the file sent is not the local one"; status=1; }
exit $status
