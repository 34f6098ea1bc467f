#!/bin/sh
# launcher_test.sh TOP BUILD: ./ryftp as a user starts it, with TMPDIR set as many shells
# have it. Debian's Wine 10 aborts at start-up then, unless wine-run.sh keeps TMPDIR from
# Wine; neither /run/user/UID of the machine nor that of the Wine 10 root exists here.
top=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
out=$(env -u DISPLAY TMPDIR="$tmp" RYINET_BUILD="$build" "$top/ryftp" --version 2>&1)
rc=$?
echo "$out"
case "$rc:$out" in
"0:ryftp "[0-9]*) ;;
*) echo "launcher_test: ./ryftp --version with TMPDIR=$tmp: exit status $rc, not its version" >&2; exit 1 ;;
esac
