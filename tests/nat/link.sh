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
#   delay_up NAME SERVER_NET CLIENT_NET MS        the two joined instead through a third,
#                                                 ryinet-NAME-router, whose delay line
#                                                 (delay_line.py) holds each packet MS each
#                                                 way: the server at SERVER_NET.2, the
#                                                 client at CLIENT_NET.2 (/24 each)
#   delay_served NAME SERVER_NET CLIENT_NET MS BASE
#                                                 delay_up, then as link_served
#   round_trip NAMESPACE ADDR                     the median of 5 TCP connects to ADDR:21
#                                                 from NAMESPACE, in ms
#   stamped                                       each line of its input after the time
#                                                 it came (seconds since 1970)
# NAME is at most 11 characters (an interface's name holds 15). The caller sets $top, the
# source tree, before link_served or delay_served.
inside() {
    ns=$1
    shift
    ip netns exec "$ns" "$@"
}

link_down() {
    pids=$(ip netns pids "ryinet-$1-router" 2>/dev/null || true)
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    for ns in "ryinet-$1-client" "ryinet-$1-server" "ryinet-$1-router"; do ip netns del "$ns" 2>/dev/null || true; done
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

delay_side() {  # NAMESPACE DEVICE NET: NET.2, its way out through the router's NET.1
    inside "$1" ip link set lo up
    inside "$1" ip addr add "$3.2/24" dev "$2"
    inside "$1" ip link set "$2" up
    inside "$1" ip route add default via "$3.1"
}

delay_up() {
    server_ns=ryinet-$1-server client_ns=ryinet-$1-client router_ns=ryinet-$1-router
    link_down "$1"
    [ "$(id -u)" = 0 ] || { echo "skipped: network namespaces need root"; return 1; }
    [ -c /dev/net/tun ] || { echo "skipped: no TUN devices here"; return 1; }
    ip netns add "$router_ns" 2>/dev/null || { echo "skipped: network namespaces cannot be made here"; return 1; }
    ip netns add "$server_ns"
    ip netns add "$client_ns"
    ip link add "$1-s0" netns "$server_ns" type veth peer name "$1-rs" netns "$router_ns"
    ip link add "$1-c0" netns "$client_ns" type veth peer name "$1-rc" netns "$router_ns"
    delay_side "$server_ns" "$1-s0" "$2"
    delay_side "$client_ns" "$1-c0" "$3"
    inside "$router_ns" ip link set lo up
    inside "$router_ns" ip addr add "$2.1/24" dev "$1-rs"
    inside "$router_ns" ip addr add "$3.1/24" dev "$1-rc"
    inside "$router_ns" ip link set "$1-rs" up
    inside "$router_ns" ip link set "$1-rc" up
    inside "$router_ns" sysctl -qw net.ipv4.ip_forward=1 net.ipv4.conf.all.rp_filter=0 \
        net.ipv4.conf.default.rp_filter=0
    ready=$(mktemp -u)
    inside "$router_ns" /usr/bin/python3 "$top/tests/nat/delay_line.py" "$1-dl" "$4" "$ready" \
        </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
    [ -e "$ready" ] || { echo "skipped: the delay line did not start"; return 1; }
    rm -f "$ready"
    inside "$router_ns" sysctl -qw "net.ipv4.conf.$1-dl.rp_filter=0"
    # What comes in from either side goes through the delay line; what it gives back, on.
    inside "$router_ns" ip route add default dev "$1-dl" table 100
    inside "$router_ns" ip rule add iif "$1-rs" lookup 100
    inside "$router_ns" ip rule add iif "$1-rc" lookup 100
}

delay_served() { served "$1" "$2.2" "$5" delay_up "$1" "$2" "$3" "$4"; }

round_trip() {
    inside "$1" /usr/bin/python3 -c '
import socket, statistics, sys, time
times = []
for _ in range(5):
    s = socket.socket()
    began = time.monotonic()
    s.connect((sys.argv[1], 21))
    times.append((time.monotonic() - began) * 1000)
    s.close()
print("%.0f" % statistics.median(times))' "$2"
}

stamped() {
    /usr/bin/python3 -c '
import sys, time
for line in iter(sys.stdin.readline, ""):
    print("%.3f %s" % (time.time(), line), end="", flush=True)'
}

link_cleanup() {
    inside "ryinet-$link_name-server" /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" stop pyftpdlib \
        "$link_addr" "$link_base" >/dev/null 2>&1 || true
    link_down "$link_name"
    rm -rf "$work"
}

# Wine creates a process's sockets in its wineserver, which stays a few seconds after the
# prefix's last process: one that an earlier test left in the machine's own network would
# open the namespace's ryftp's sockets there. It is waited for.
wine_settled() {
    [ -z "${build:-}" ] || WINEPREFIX="${WINEPREFIX:-$build/wineprefix}" wineserver -w 2>/dev/null || true
}

# served NAME SERVER_ADDR BASE UP...: the namespaces made by UP (link_up or delay_up with
# its arguments), pyftpdlib serving BASE/root at SERVER_ADDR, and $work; all of it goes at exit.
served() {
    link_name=$1 link_addr=$2 link_base=$3
    shift 3
    server=ryinet-$link_name-server client=ryinet-$link_name-client
    work=$(mktemp -d)
    trap link_cleanup EXIT
    trap 'exit 1' HUP INT TERM
    "$@" || return 1
    wine_settled
    inside "$server" /usr/bin/python3 "$top/tests/servers/ftp_fixture.py" start pyftpdlib "$link_addr" "$link_base" \
        >/dev/null
}

link_served() { served "$1" "$2" "$5" link_up "$1" "$2" "$3" "$4"; }
