#!/bin/sh
# run.sh BUILD: the listing benchmark, with a 30-entry server on 127.0.0.5:21 (the
# build's own loopback network, see RYINET_TEST_NET) for the real-listing comparison.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").5"
exec "$top/tests/servers/with_server.sh" bench "$addr" "$build/bench-ftp" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_listing.exe" "$addr"
