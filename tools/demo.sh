#!/bin/sh
# demo.sh BUILD: the demo host under Wine against a local FTP server on 127.0.0.1:21
# serving the sample tree.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
exec "$top/tests/servers/with_server.sh" pyftpdlib 127.0.0.1 "$build/demo-ftp" \
    "$top/cmake/wine-run.sh" --build "$build" "$build/bin/ryftp_demo.exe" 127.0.0.1 ryuser rypass
