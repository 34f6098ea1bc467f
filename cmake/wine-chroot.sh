#!/bin/sh
# wine-chroot.sh [--bind DIR]... ROOT COMMAND [ARGS...]
# Runs COMMAND inside the Debian root ROOT (cmake/wine-root.sh) as root, in a mount
# namespace of its own, so every mount made here goes with its last process (a
# wineserver that outlives the command keeps them until it ends). /proc, /sys, /dev,
# /dev/pts, /dev/shm and /tmp (the X server's socket, xvfb-run's authority file, the
# wineservers' sockets) are the machine's; each --bind DIR appears at the same path;
# /etc/hosts is copied in (Wine looks its own host name up). The working directory is
# kept where the root has it.
set -e
binds=""
while [ "$1" = "--bind" ]; do binds="$binds $2"; shift 2; done
root=$(cd "$1" && pwd)
shift
if [ "$(id -u)" != 0 ]; then
    echo "wine-chroot.sh: running Wine inside $root needs root" >&2
    exit 1
fi
if [ -z "${RYINET_CHROOT_NS:-}" ]; then
    RYINET_CHROOT_NS=1 exec unshare -m --propagation private sh "$0" $(for b in $binds; do printf -- '--bind %s ' "$b"; done) "$root" "$@"
fi
unset RYINET_CHROOT_NS
for d in /proc /sys /dev /dev/pts /dev/shm /tmp $binds; do
    mkdir -p "$root$d"
    mount --bind "$d" "$root$d"
done
cp /etc/hosts "$root/etc/hosts"
exec chroot "$root" /bin/sh -c 'cd "$1" 2>/dev/null || cd /; shift; exec "$@"' sh "$(pwd)" "$@"
