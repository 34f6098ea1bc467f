#!/bin/sh
# demo.sh BUILD: the demo host under Wine against a local FTP server on 127.0.0.1:21
# (the build's own loopback network, see RYINET_TEST_NET) serving the sample tree.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").1"
exec "$top/tests/servers/with_server.sh" pyftpdlib "$addr" "$build/demo-ftp" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/ryftp_demo.exe" "$addr" ryuser rypass
