#!/bin/sh
# slow_link.sh BUILD [ROWS]: ryftp's progress at 256 kbit/s. A server (pyftpdlib) and a
# client in two network namespaces whose link is held to 256 kbit/s with tbf (the test
# bench's tests/nat/link.sh): a get and a put of 1 MB, each timed as its output comes (the
# first progress report after the command began, the longest gap between two reports). With
# ROWS, the figures are appended there as rows of make bench's table. Skipped, with a line,
# where namespaces or tc are not to be had.
set -e
build=$(cd "${1:-build}" && pwd)
rows=$2
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tests/nat/link.sh"
base="$build/bench-slow-ftp"
link_served bslow 198.18.8.1 198.18.8.2 256kbit "$base" || exit 0
head -c 1000000 /dev/urandom >"$base/root/slow.bin"
head -c 1000000 /dev/urandom >"$work/up.bin"
printf 'get slow.bin\nput up.bin\nbye\n' >"$work/script"
(cd "$work" && /usr/bin/python3 "$top/tests/nat/paced_session.py" "$work/timed" "$work/script" -- \
    ip netns exec $client env RYINET_BUILD="$build" DISPLAY= "$top/ryftp" 198.18.8.1 ryuser rypass) >"$work/figures"
cat "$work/figures"
[ -n "$rows" ] || exit 0
awk '/^ryftp> (get|put)/ {
    way = $2; first = $6; gap = $10
    bold = way == "get" ? "**" : ""
    limit = way == "get" ? "<= 1 s" : ""
    printf "| at 256 kbit/s, %s of 1 MB: the first progress report after the command began | %s%s s%s | %s |\n", way, bold, first, bold, limit
    printf "| at 256 kbit/s, %s of 1 MB: the longest gap between two progress reports | %s%s s%s | %s |\n", way, bold, gap, bold, limit
}' "$work/figures" >>"$rows"
