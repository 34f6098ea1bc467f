#!/bin/sh
# demo.sh BUILD: a local FTP server on 127.0.0.1:21 with the sample tree, the demo host
# against it under Wine, then the server stopped by its pid.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
base=$build/demo-ftp
/usr/bin/python3 "$top/tests/servers/ftp_fixture.py" start pyftpdlib 127.0.0.1 "$base"
trap '/usr/bin/python3 "$top/tests/servers/ftp_fixture.py" stop pyftpdlib 127.0.0.1 "$base"' EXIT
"$top/cmake/wine-run.sh" --build "$build" "$build/bin/ryftp_demo.exe" 127.0.0.1 ryuser rypass
