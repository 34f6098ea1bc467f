#!/bin/sh
# long_link.sh SOURCE_DIR BUILD_DIR: many small files over a link far away. A server
# (pyftpdlib, 198.18.9.2) and a client (198.18.10.2) in network namespaces of the test's own,
# joined through a router whose delay line holds each packet 50 ms each way; the round trip
# of a TCP connect must measure 90 to 150 ms. mget of 40 files of 1 KiB with --parallel 4
# must take at most a third of what --parallel 1 takes, as ryftp's transcript times it (the
# quicker of two runs each), with every file exact. A server that takes 2 connections from
# one address must still give every file, and ryftp says once that it took fewer. Every
# namespace and server it makes, it removes.
set -e
top=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$top/tests/nat/link.sh"
[ -n "${RYINET_LONG_LOCKED:-}" ] || RYINET_LONG_LOCKED=1 exec flock -o /run/lock/ryinet-long.lock sh "$0" "$@"
base=$build/ftp/long-link
delay_served long 198.18.9 198.18.10 50 "$base" || exit 77

serve() {  # [ENV=VALUE]: the server started again with the setting, and its 40 files
    inside $server /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" stop pyftpdlib 198.18.9.2 "$base" >/dev/null
    inside $server env "$@" /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" start pyftpdlib 198.18.9.2 "$base" \
        >/dev/null
    mkdir -p "$base/root/many40"
    for i in $(seq 40); do head -c 1024 /dev/urandom >"$base/root/many40/f$i.bin"; done
}

# mget_seconds PARALLEL DIR: mget of the 40 into DIR; the seconds from its command to the
# next, each line timed as ryftp says it.
mget_seconds() {
    mkdir -p "$work/$2"
    printf 'lcd %s\ncd many40\nmget *\nbye\n' "$2" >"$work/script-$2"
    { (cd "$work" && inside $client env RYINET_BUILD="$build" DISPLAY= "$top/ryftp" -i --parallel "$1" \
          198.18.9.2 ryuser rypass <"$work/script-$2" 2>&1) || echo "exit status $?"; } |
        stamped >"$work/out-$2"
    awk '/ryftp> mget/ { b = $1 } /ryftp> bye/ { e = $1 } END { printf "%.2f", e - b }' "$work/out-$2"
}

failed=0
check() {  # check WHAT CONDITION...
    what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
all_exact() {  # DIR...
    for dir; do
        for i in $(seq 40); do cmp -s "$work/$dir/f$i.bin" "$base/root/many40/f$i.bin" || return 1; done
    done
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
quicker() { if below "$1" "$2"; then echo "$1"; else echo "$2"; fi; }

serve
rtt=$(round_trip $client 198.18.9.2)
check "the round trip is 90 to 150 ms ($rtt ms)" sh -c "[ $rtt -ge 90 ] && [ $rtt -le 150 ]"
# Each twice, in turns, the quicker kept: a moment's load on the machine is not the link.
one=$(mget_seconds 1 one)
four=$(mget_seconds 4 four)
one=$(quicker "$one" "$(mget_seconds 1 one2)")
four=$(quicker "$four" "$(mget_seconds 4 four2)")
check "--parallel 1 got every file exact, both times" all_exact one one2
check "--parallel 4 got every file exact, both times" all_exact four four2
check "--parallel 4 ($four s) takes at most a third of --parallel 1 ($one s)" \
    below "$(awk -v f="$four" 'BEGIN { print 3 * f }')" "$one"
serve RYTEST_MOST_CONNECTIONS=2
two=$(mget_seconds 4 two)
check "with 2 connections taken, every file exact ($two s)" all_exact two
check "every run succeeded" sh -c "! grep -q 'exit status' '$work'/out-*"
check "the refusal is said once" [ "$(grep -c 'took 2 connections, not 4: another was refused (421' "$work/out-two")" = 1 ]
[ $failed = 0 ] || for run in one one2 four four2 two; do sed 's/^/    /' "$work/out-$run"; done
exit $failed
