#!/bin/sh
# test_fresh.sh TOP BUILD: the README's two commands, `make demo` then `make test`, as a
# new user runs them on a fresh Debian 12 machine: in a root made with debootstrap
# (Debian's default set, as an installed system has; made once under BUILD and copied
# anew for each run), with only git and make added, from a clean clone of TOP's HEAD.
# Once on the route this kernel allows and, where it runs 32-bit code natively, once
# more with RYINET_I386=emulated. Prints each verdict with its time; exits nonzero when
# one failed. As root. The runs' FTP servers are those of a build of its own, on
# 127.0.0.x as always: run nothing else that uses them beside it.
set -e
top=$(cd "$1" && pwd)
build=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || { echo "test-fresh: making and entering a Debian root needs root" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "test-fresh: debootstrap is missing (make deps installs it)" >&2; exit 1; }
base=$build/fresh-base
root=$build/fresh-root
log=$build/fresh.log
: >"$log"

mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)\/\{0,1\} *$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\/debian\)\/\{0,1\} .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

if [ ! -f "$base/.ryinet-fresh" ]; then
    echo "test-fresh: making a Debian 12 root in $base from $mirror"
    rm -rf "$base"
    debootstrap bookworm "$base" "$mirror" >>"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
    cp /etc/resolv.conf "$base/etc/resolv.conf" 2>/dev/null || true
    : >"$base/.ryinet-fresh"
fi

# Ends every process whose root is the fresh one (a wineserver, a test's server).
end_inside() {
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    return 0
}
cleanup() {
    end_inside
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# inside COMMAND: runs COMMAND with sh in the root, in a mount namespace of its own, with
# the machine's /proc, /sys and /dev, and an environment as a login would give. The root
# is a mount of its own, as a machine's / is (ip netns exec remounts / as a slave).
inside() {
    unshare -m --propagation private sh -c '
        root=$1; shift
        mount --bind "$root" "$root"
        for d in /proc /sys /dev /dev/pts /dev/shm; do mkdir -p "$root$d"; mount --bind "$d" "$root$d"; done
        cp /etc/hosts "$root/etc/hosts"
        exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/sh -c "$1"' sh "$root" "$1"
}

failures=0
# verdict WHAT SECONDS STATUS
verdict() {
    if [ "$3" -eq 0 ]; then
        echo "test-fresh: $1: passed in $2 s"
    else
        echo "test-fresh: $1: FAILED (exit $3) after $2 s; its output: $log"
        failures=$((failures + 1))
    fi
}

# run_route LABEL ENVIRONMENT: a fresh root, a clean clone, the two commands.
run_route() {
    label=$1 environment=$2
    end_inside
    rm -rf "$root"
    cp -a "$base" "$root"
    git clone -q --no-local "$top" "$root/root/ryinet"
    echo "== $label: apt-get install git make" >>"$log"
    inside "apt-get update -q && apt-get install -y -q git make" >>"$log" 2>&1 ||
        { verdict "$label: installing git and make" 0 1; return; }
    for command in demo test; do
        echo "== $label: make $command" >>"$log"
        started=$(date +%s)
        rc=0
        inside "cd /root/ryinet && $environment make $command" >>"$log" 2>&1 || rc=$?
        route=$(grep '^32-bit code: ' "$log" | tail -n 1)
        verdict "$label, make $command${route:+ ($route)}" $(($(date +%s) - started)) "$rc"
        [ "$rc" -eq 0 ] || return 0
    done
    grep -E '^(100% tests passed|[0-9]+% tests passed)' "$log" | tail -n 1 | sed "s/^/test-fresh: $label: /"
}

if [ "$(sh "$top/cmake/i386-route.sh" kernel)" = native ]; then
    run_route "native kernel" ""
    run_route "native kernel, RYINET_I386=emulated" "RYINET_I386=emulated"
else
    run_route "a kernel that runs no 32-bit code" ""
fi
[ "$failures" -eq 0 ]
