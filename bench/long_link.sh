#!/bin/sh
# long_link.sh BUILD [ROWS]: many small files 100 ms away. A server (pyftpdlib, 200 files of
# 1 KiB and one of 8 MiB) and a client in network namespaces joined through a router whose
# delay line holds each packet 50 ms each way (the test bench's tests/nat/link.sh), the round
# trip checked by TCP connects. Times ryftp's mget of the 200 with the default --parallel
# (the median of 3 runs), with --parallel 1, 8 and 16, and the get of the 8 MiB file: each as the
# whole run of ryftp (Wine's start and end included, as a user waits for it) and as the
# command alone (from ryftp's transcript); lftp's mirror --parallel=4 of the same files
# beside them where lftp is installed. With ROWS, the figures are appended there as rows of
# make bench's table. Skipped, with a line, where namespaces or TUN devices are not to be had.
set -e
build=$(cd "${1:-build}" && pwd)
rows=$2
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tests/nat/link.sh"
base="$build/bench-long-ftp"
delay_served blong 198.18.11 198.18.12 50 "$base" || exit 0
mkdir -p "$base/root/small"
for i in $(seq 200); do head -c 1024 /dev/urandom >"$base/root/small/f$i.bin"; done
head -c 8388608 /dev/urandom >"$base/root/big.bin"
rtt=$(round_trip $client 198.18.11.2)

# run NAME OPTIONS SCRIPT: ryftp with the script; "WHOLE COMMAND" seconds, the command's from
# its line in the transcript to the next command's.
run() {
    rm -rf "$work/$1"
    mkdir -p "$work/$1"
    printf "$3" >"$work/script"
    began=$(date +%s.%N)
    (cd "$work/$1" && inside $client env RYINET_BUILD="$build" DISPLAY= "$top/ryftp" -i $2 \
        198.18.11.2 ryuser rypass <"$work/script" 2>&1) |
        stamped >"$work/$1.out"
    ended=$(date +%s.%N)
    for i in $(seq 200); do
        [ ! -e "$base/root/small/f$i.bin" ] || [ ! -e "$work/$1/f$i.bin" ] ||
            cmp -s "$work/$1/f$i.bin" "$base/root/small/f$i.bin" || echo "long_link.sh: $1: f$i.bin differs" >&2
    done
    awk -v b="$began" -v e="$ended" '/ryftp> (mget|get)/ { s = $1 } /ryftp> bye/ { c = $1 - s }
        END { printf "%.1f %.1f", e - b, c }' "$work/$1.out"
}
median() { tr ' ' '\n' | sort -n | sed -n 2p; }

d1=$(run default1 "" 'cd small\nmget *\nbye\n')
d2=$(run default2 "" 'cd small\nmget *\nbye\n')
d3=$(run default3 "" 'cd small\nmget *\nbye\n')
default_whole=$(echo "${d1% *} ${d2% *} ${d3% *}" | median)
default_mget=$(echo "${d1#* } ${d2#* } ${d3#* }" | median)
serial=$(run serial "--parallel 1" 'cd small\nmget *\nbye\n')
eight=$(run eight "--parallel 8" 'cd small\nmget *\nbye\n')
sixteen=$(run sixteen "--parallel 16" 'cd small\nmget *\nbye\n')
big=$(run big "" 'get big.bin\nbye\n')
cmp -s "$work/big/big.bin" "$base/root/big.bin" || echo "long_link.sh: big.bin differs" >&2
lftp_whole=""
if command -v lftp >/dev/null; then
    began=$(date +%s.%N)
    (cd "$work" && rm -rf lftp && inside $client lftp -u ryuser,rypass -e 'mirror --parallel=4 small lftp; bye' \
        198.18.11.2 >/dev/null 2>&1) || true
    lftp_whole=$(awk -v b="$began" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - b }')
    [ "$(ls "$work/lftp" 2>/dev/null | wc -l)" = 200 ] || echo "long_link.sh: lftp did not get the 200 files" >&2
fi
echo "round trip ${rtt} ms; mget of 200 x 1 KiB: default $default_whole s ($default_mget s the command;" \
    "runs $d1, $d2, $d3), --parallel 1 $serial, 8 $eight, 16 $sixteen; get of 8 MiB $big;" \
    "lftp mirror --parallel=4 ${lftp_whole:-not installed}"
sed 's/^/    /' "$work/default1.out" | grep -v ' received f' || true
[ -n "$rows" ] || exit 0
lftp_note=${lftp_whole:+"; lftp mirror --parallel=4 in the same run: $lftp_whole s"}
{
    echo "| at ${rtt} ms round trip, mget of 200 files of 1 KiB, default --parallel (4): the whole run | **$default_whole s** (the command $default_mget s)${lftp_note} | <= 17 s |"
    echo "| at ${rtt} ms round trip, mget of 200 files of 1 KiB, --parallel 1: the whole run | **${serial% *} s** (the command ${serial#* } s) | <= 102.6 s (0.9 x 114.0 s) |"
    echo "| at ${rtt} ms round trip, mget of 200 files of 1 KiB, --parallel 8, 16: the whole run | ${eight% *} s, ${sixteen% *} s (the command ${eight#* } s, ${sixteen#* } s) | |"
    echo "| at ${rtt} ms round trip, get of 8 MiB: the whole run | ${big% *} s (the command ${big#* } s) | |"
} >>"$rows"
