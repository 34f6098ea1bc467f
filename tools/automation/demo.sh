#!/bin/sh
# demo.sh BUILD: examples/automation/session.vbs under Wine's 64-bit cscript against a
# local FTP server on the build's demo address (see RYINET_TEST_NET), through
# ryinet-automation.exe, registered in the build's win64 prefix for the demo and
# unregistered after it.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
addr="$(cat "$build/test-net").1"
run="$top/cmake/wine-run.sh --build $build --win64"
windows_path() { echo "Z:$1" | sed 's|/|\\|g'; }

$run "$build/bin/ryinet-automation.exe" /regserver
trap '$run "$build/bin/ryinet-automation.exe" /unregserver' EXIT
rm -rf "$build/demo-automation"
mkdir -p "$build/demo-automation"
cd "$build/demo-automation"
# The library's boxes need a window system for the server to see them (the refusal).
display=""
[ -n "${DISPLAY:-}" ] || display="--display"
"$top/tests/servers/with_server.sh" demo "$addr" "$build/demo-ftp" \
    "$top/cmake/wine-run.sh" --build "$build" $display --win64 cscript //nologo "$(windows_path "$top/examples/automation/session.vbs")" "$addr" ryuser rypass readme.txt
ls -l "$build/demo-automation"
