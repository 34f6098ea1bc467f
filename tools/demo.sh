#!/bin/sh
# demo.sh BUILD: ryftp under Wine (./ryftp) against a local FTP server on 127.0.0.1:21
# (the build's own loopback network, see RYINET_TEST_NET) serving a sample tree, with a
# sample phonebook for the RAS stand-in; the session is tools/demo.ryftp.
set -e
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
addr="$(cat "$build/test-net").1"

# The phonebook goes where the stand-in reads the user's default one: %APPDATA% of the
# build's Wine prefix (made here on the first run), read from the prefix's registry.
# No Wine program runs before ryftp: one started without a display would keep the
# prefix's desktop without one for a while, and boxes would not show.
prefix=$("$top/cmake/wine-run.sh" --build "$build" --prefix)
appdata=$(sed -n 's/^"APPDATA"="\(.*\)"$/\1/p' "$prefix/user.reg" | sed 's/^[A-Za-z]://; s/\\\\/\//g')
pbk="$prefix/drive_c$appdata/Microsoft/Network/Connections/Pbk"
mkdir -p "$pbk"
cat >"$pbk/rasphone.pbk" <<'PBK'
[Office]
Encoding=1
PhoneNumber=555-0100
StandInUser=alice
StandInPassword=office-secret
StandInSavePassword=1

[Home]
Encoding=1
PhoneNumber=555-0199
StandInUser=bob
StandInPassword=home-secret
PBK

# Files come and go in a local directory of the demo's own.
rm -rf "$build/demo"
mkdir -p "$build/demo"
cd "$build/demo"
rc=0
env -u DISPLAY RYINET_BUILD="$build" "$top/tests/servers/with_server.sh" demo "$addr" "$build/demo-ftp" \
    "$top/ryftp" --echo-boxes --active -s:"$top/tools/demo.ryftp" "$addr" ryuser rypass || rc=$?
# Exit status 1 is the demo's own: it has commands the server or the service refuse.
[ "$rc" -le 1 ] || exit "$rc"
echo "ryftp exit status $rc (1: some commands were refused, as the demo intends)"
