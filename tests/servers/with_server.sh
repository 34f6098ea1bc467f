#!/bin/sh
# with_server.sh KIND ADDR BASE COMMAND...: runs COMMAND while a real FTP server of KIND
# serves ADDR:21 (see ftp_fixture.py), and stops that server by its pid afterwards.
set -e
kind=$1 addr=$2 base=$3
shift 3
fixture="$(cd "$(dirname "$0")" && pwd)/ftp_fixture.py"
/usr/bin/python3 "$fixture" start "$kind" "$addr" "$base"
trap '/usr/bin/python3 "$fixture" stop "$kind" "$addr" "$base"' EXIT
"$@"
