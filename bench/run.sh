#!/bin/sh
# run.sh BUILD: the listing benchmark, with a 30-entry pyftpdlib server on 127.0.0.5:21
# for the real-listing comparison (stopped by its pid afterwards).
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
base=$build/bench-ftp
/usr/bin/python3 "$top/tests/servers/ftp_fixture.py" start bench 127.0.0.5 "$base"
trap '/usr/bin/python3 "$top/tests/servers/ftp_fixture.py" stop bench 127.0.0.5 "$base"' EXIT
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/bench_listing.exe" 127.0.0.5
