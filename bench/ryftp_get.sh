#!/bin/sh
# ryftp_get.sh BUILD [ROWS]: get of a 64 MiB file, ryftp's code against a raw
# InternetReadFile loop in the same process, then curl for the record; pyftpdlib on the
# build's .19. With ROWS, the figures are also appended there as rows of make bench's table.
set -e
build=$(cd "${1:-build}" && pwd)
rows=$2
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").19"
base="$build/bench-get-ftp"
fixture="$top/tests/servers/ftp_fixture.py"
/usr/bin/python3 "$fixture" start demo "$addr" "$base"
trap '/usr/bin/python3 "$fixture" stop demo "$addr" "$base"' EXIT
head -c 67108864 /dev/urandom >"$base/root/big64.bin"
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_ryftp_get.exe" "$addr" big64.bin \
    ${rows:+"Z:$rows"}
if command -v curl >/dev/null; then
    median=$(for i in 1 2 3 4 5; do
        curl -s -w '%{time_total}\n' -o /dev/null "ftp://ryuser:rypass@$addr/big64.bin"
    done | sort -n | sed -n 3p)
    echo "$median" | awk '{ printf "curl (for the record), median of 5: %.3f s (%.0f MB/s)\n", $1, 67108864 / $1 / 1e6 }'
    [ -z "$rows" ] || echo "$median" | awk '{ printf "| get of 64 MiB: curl, for the record | %.0f MB/s |  |\n", 67108864 / $1 / 1e6 }' >>"$rows"
fi
