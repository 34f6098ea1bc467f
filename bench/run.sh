#!/bin/sh
# run.sh BUILD: every benchmark in one table, with a 30-entry server on the build's own
# loopback network (.5, see RYINET_TEST_NET) for the real-server figures, ryftp's get,
# put and mget and the steps of a receive (bench/ryftp_transfers.sh, its own server on
# .19), ryftp's progress at 256 kbit/s (bench/slow_link.sh, in namespaces), many small
# files 100 ms away (bench/long_link.sh, in namespaces joined by a delay line), and the load
# against pyftpdlib and vsftpd in both modes, raw WinINet beside RYINET
# (bench/load_baseline.cpp, its server on .18). Writes the tables to bench/results.md and
# the per-record curve to bench/per-record.png.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").5"
out="$build/bench-out"
mkdir -p "$out"
rm -f "$out/table.md" "$out/steps.md"
# Emulated timings are not comparable with native ones: the project's figures in bench/
# stay the native ones, and an emulated run writes its own beside the build.
route=$(sh "$top/cmake/i386-route.sh" name)
case "$route" in
*native) results="$top/bench" ;;
*) results="$out" ;;
esac
"$top/tests/servers/with_server.sh" bench "$addr" "$build/bench-ftp" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/ryinet_bench.exe" "$addr" \
    "Z:$out/table.md" "Z:$out/per-record.dat"
sh "$top/bench/ryftp_transfers.sh" "$build" "$out/table.md"
sh "$top/bench/slow_link.sh" "$build" "$out/table.md"
sh "$top/bench/long_link.sh" "$build" "$out/table.md"
# The load against pyftpdlib and vsftpd in both modes, raw WinINet beside RYINET.
load_addr="$(cat "$build/test-net").18"
"$top/tests/servers/with_server.sh" pyftpdlib "$load_addr" "$build/bench-load-ftp" \
    env RYTEST_PYFTPD_HOST="$load_addr" RYTEST_PYFTPD_ROOT="$build/bench-load-ftp/root" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_load_baseline.exe" PYFTPD "Z:$out/table.md"
"$top/tests/servers/with_server.sh" vsftpd "$load_addr" "$build/bench-load-vsftpd" \
    env RYTEST_VSFTPD_HOST="$load_addr" RYTEST_VSFTPD_ROOT="$build/bench-load-vsftpd/anon/root" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_load_baseline.exe" VSFTPD "Z:$out/table.md"

{
    echo "# Benchmark results"
    echo
    echo "Written by \`make bench\` on $(date -u +%Y-%m-%d), $(wine --version 2>/dev/null || echo Wine),"
    echo "$(nproc) cores, $route. Each figure is the median of several runs, all taken in one process."
    echo "The floor is the synthetic source's own find loop with the time conversion and a copy"
    echo "of the bytes RyFtpDir writes; the real-server figures use pyftpdlib on loopback."
    echo
    cat "$out/table.md"
    echo
    echo "Where a receive's time goes (bench/receive_steps.cpp):"
    echo
    cat "$out/steps.md"
    echo
    echo "![RyFtpDir cost per record against the number of records](per-record.png)"
} > "$results/results.md"

gnuplot <<PLOT
set terminal png size 720,420
set output "$results/per-record.png"
set title "RyFtpDir: cost per record as the listing grows"
set logscale x
set xrange [600:1600000]
set xtics ("1k" 1000, "10k" 10000, "100k" 100000, "1M" 1000000)
set xlabel "records in one listing"
set ylabel "ns per record"
set yrange [0:*]
set key bottom right
set grid
plot "$out/per-record.dat" using 1:2 with linespoints lw 2 title "RyFtpDir", \
     "" using 1:3 with linespoints lw 2 title "floor (find loop, time conversion, copy)"
PLOT
cat "$out/table.md"
echo "wrote $results/results.md and $results/per-record.png"
