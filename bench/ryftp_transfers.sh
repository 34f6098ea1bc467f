#!/bin/sh
# ryftp_transfers.sh BUILD [ROWS]: get and put of a 64 MiB file and of 1 KiB, and an mget of
# 1000 files of 1 KiB, ryftp's code against the loops a host would write, in the same
# process, the steps of a receive, and a 64 MiB get broken at half and gone on with; then curl both ways for the record; pyftpdlib on the
# build's .19. With ROWS, the figures are also appended there as rows of make bench's table,
# and the steps' table written to steps.md beside it.
set -e
build=$(cd "${1:-build}" && pwd)
rows=$2
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").19"
base="$build/bench-transfers-ftp"
fixture="$top/tests/servers/ftp_fixture.py"
# Wine's WININET keeps a copy of every file read through FtpOpenFileA in the prefix's URL
# cache (RyFtpOpenFile does not ask it not to): the bare loops' rounds leave gigabytes there.
cache="$("$top/cmake/wine-run.sh" --build "$build" --prefix)/drive_c/users/$(id -un)/AppData/Local/Microsoft/Windows/INetCache"
/usr/bin/python3 "$fixture" start demo "$addr" "$base"
trap '/usr/bin/python3 "$fixture" stop demo "$addr" "$base"; rm -rf "$cache"' EXIT
head -c 67108864 /dev/urandom >"$base/root/big64.bin"
head -c 1024 /dev/urandom >"$base/root/small1k.bin"
mkdir -p "$base/root/many"
for i in $(seq -w 1 1000); do head -c 1024 /dev/urandom >"$base/root/many/f$i.bin"; done
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_ryftp_transfers.exe" "$addr" big64.bin small1k.bin many \
    ${rows:+"Z:$rows"}
# Where a receive's time goes, step by step; with ROWS, its table goes to steps.md beside it.
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_receive_steps.exe" "$addr" big64.bin small1k.bin \
    ${rows:+"Z:$(dirname "$rows")/steps.md"}
# A 64 MiB get broken at half by the breaking server and gone on with, on the build's .20.
broken="$build/bench-broken-ftp"
broken_addr="$(cat "$build/test-net").20"
/usr/bin/python3 "$fixture" start breaking "$broken_addr" "$broken"
for name in r1 r2 r3 auto; do ln -f "$base/root/big64.bin" "$broken/root/$name.bin"; done
status=0
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_broken_get.exe" "$broken_addr" "Z:$broken/root" \
    "Z:$broken/sent.log" ${rows:+"Z:$rows"} || status=$?
/usr/bin/python3 "$fixture" stop breaking "$broken_addr" "$broken"
[ "$status" = 0 ] || exit "$status"
command -v curl >/dev/null || exit 0
# Median of 5 curl runs: $1 get or put.
curl_median() {
    for i in 1 2 3 4 5; do
        if [ "$1" = get ]; then
            curl -s -w '%{time_total}\n' -o /dev/null "ftp://ryuser:rypass@$addr/big64.bin"
        else
            curl -s -w '%{time_total}\n' -T "$base/root/big64.bin" "ftp://ryuser:rypass@$addr/curl-put.bin"
        fi
    done | sort -n | sed -n 3p
}
for way in get put; do
    median=$(curl_median $way)
    echo "$median" | awk -v w=$way '{ printf "%s: curl (for the record), median of 5: %.3f s (%.0f MB/s)\n", w, $1, 67108864 / $1 / 1e6 }'
    [ -z "$rows" ] || echo "$median" | awk -v w=$way '{ printf "| %s of 64 MiB: curl, for the record | %.0f MB/s |  |\n", w, 67108864 / $1 / 1e6 }' >>"$rows"
done
