# link.sh, sourced by the tests and benchmarks that need a link of their own: a server and
# a client network namespace, ryinet-NAME-server and ryinet-NAME-client, joined by a veth
# pair, each side's sending held to a rate with tbf where one is given (this kernel has tbf
# and htb, no netem). The queue holds 64 KiB and each side's TCP receives into at most
# 32 KiB, as over a modem: no window then outgrows the queue, whose drops would stall TCP
# for seconds at a time.
#   link_up NAME SERVER_ADDR CLIENT_ADDR [RATE]   says "skipped: why" and fails where it
#                                                 cannot (no root, no namespaces, no tc)
#   link_down NAME                                removes both
#   inside NAMESPACE COMMAND...                   runs a command in one
#   link_served NAME SERVER_ADDR CLIENT_ADDR RATE BASE
#                                                 link_up, then pyftpdlib serving BASE/root
#                                                 in the server's namespace, and $work, a
#                                                 fresh directory; all of it goes at exit
# NAME is at most 12 characters (an interface's name holds 15). The caller sets $top, the
# source tree, before link_served.
inside() {
    ns=$1
    shift
    ip netns exec "$ns" "$@"
}

link_down() {
    for ns in "ryinet-$1-client" "ryinet-$1-server"; do ip netns del "$ns" 2>/dev/null || true; done
}

link_up() {
    server_ns=ryinet-$1-server client_ns=ryinet-$1-client
    link_down "$1"  # what a run that was killed left
    [ "$(id -u)" = 0 ] || { echo "skipped: network namespaces need root"; return 1; }
    [ -z "$4" ] || command -v tc >/dev/null || { echo "skipped: tc is not installed"; return 1; }
    ip netns add "$server_ns" 2>/dev/null || { echo "skipped: network namespaces cannot be made here"; return 1; }
    ip netns add "$client_ns"
    ip link add "$1-s0" netns "$server_ns" type veth peer name "$1-c0" netns "$client_ns"
    inside "$server_ns" ip addr add "$2/24" dev "$1-s0"
    inside "$client_ns" ip addr add "$3/24" dev "$1-c0"
    inside "$server_ns" ip link set "$1-s0" up
    inside "$client_ns" ip link set "$1-c0" up
    inside "$server_ns" ip link set lo up
    inside "$client_ns" ip link set lo up
    [ -n "$4" ] || return 0
    inside "$server_ns" sysctl -qw net.ipv4.tcp_rmem="4096 16384 32768"
    inside "$client_ns" sysctl -qw net.ipv4.tcp_rmem="4096 16384 32768"
    inside "$server_ns" tc qdisc add dev "$1-s0" root tbf rate "$4" burst 4kb limit 64kb
    inside "$client_ns" tc qdisc add dev "$1-c0" root tbf rate "$4" burst 4kb limit 64kb
}

link_cleanup() {
    inside "ryinet-$link_name-server" /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" stop pyftpdlib \
        "$link_addr" "$link_base" >/dev/null 2>&1 || true
    link_down "$link_name"
    rm -rf "$work"
}

link_served() {
    link_name=$1 link_addr=$2 link_base=$5
    server=ryinet-$1-server client=ryinet-$1-client
    work=$(mktemp -d)
    trap link_cleanup EXIT
    trap 'exit 1' HUP INT TERM
    link_up "$1" "$2" "$3" "$4" || return 1
    inside "$server" /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" start pyftpdlib "$2" "$5" >/dev/null
}
