#!/bin/sh
# i386-route.sh setup | name
# How this machine runs Wine's 32-bit processes. "native": the kernel runs i386 code.
# "emulated": it refuses it ("Exec format error", e.g. IA-32 emulation off, WSL 1), so
# qemu-user runs every i386 program through binfmt_misc; RYINET_I386=emulated chooses
# this route on a machine that could run them natively.
#   setup  (from install-deps.sh, as root) sets the emulated route up where it is needed,
#          each step only when missing, or stops with one line saying what is missing.
#   name   prints the one line naming the route, e.g. "32-bit code: native".
set -e
binfmt=/proc/sys/fs/binfmt_misc
entry=ryinet-i386
qemu=/usr/bin/qemu-i386
# i386 ELF executables and shared objects, the mask qemu's own binfmt script uses.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# qemu 7.2 (bookworm) ignores MAP_FIXED_NOREPLACE, and Wine's address-space reservation
# then costs some 50 s a process; the backport (qemu 10) starts one in a fraction of that.
backports=/etc/apt/sources.list.d/bookworm-backports.sources
emulated_packages="qemu-user wine64 gcc-i686-linux-gnu libc6-dev-i386-cross"

registered() {
    [ -f "$binfmt/$entry" ] && [ "$(head -n 1 "$binfmt/$entry")" = enabled ]
}

# Any 32-bit program of the wine32 packages tells whether the kernel runs i386 code.
runs_i386() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

qemu_version() {
    "$qemu" --version | sed -n '1s/^qemu-i386 version \([^ ]*\).*/\1/p'
}

installed() {
    dpkg-query -W -f='${Status} ${Version}\n' "$1" 2>/dev/null | grep "install ok installed"
}

stop() {
    echo "32-bit code: $*" >&2
    exit 1
}

setup_emulated() {
    [ "$(id -u)" = 0 ] || stop "this kernel runs no 32-bit programs; the emulated route (qemu-user through binfmt_misc) needs root: run 'sudo make test'"
    missing=""
    for p in $emulated_packages; do installed "$p" >/dev/null || missing="$missing $p"; done
    case "$(installed qemu-user)" in *" 1:"[0-7].*) missing="$missing qemu-user" ;; esac
    if [ -n "$missing" ]; then
        if [ ! -e "$backports" ] && ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d; then
            printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' >"$backports"
        fi
        echo "installing for the emulated route:$missing"
        . "$(dirname "$0")/apt.sh"
        trap apt_done EXIT
        apt_update
        apt_install qemu-user/bookworm-backports wine64 gcc-i686-linux-gnu libc6-dev-i386-cross
    fi
    if [ ! -f "$binfmt/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
            stop "this kernel runs no 32-bit programs and binfmt_misc cannot be mounted at $binfmt (no binfmt_misc support, or a container without the right to mount it)"
    fi
    if ! registered; then
        [ -f "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
        printf ':%s:M::%s:%s:%s:F\n' "$entry" "$magic" "$mask" "$qemu" >"$binfmt/register" ||
            stop "binfmt_misc refused the registration of $qemu"
    fi
    runs_i386 || stop "i386 programs still do not run through $qemu: $(/usr/lib/wine/wine --version 2>&1 | head -n 1)"
}

case "$1" in
setup)
    if [ "${RYINET_I386:-}" = emulated ] || { ! registered && ! runs_i386; }; then
        if ! registered && [ "${RYINET_I386:-}" != emulated ]; then
            # Say why, with the platform's own words.
            why=$(/usr/lib/wine/wine --version 2>&1 | head -n 1 | sed "s/^[^:]*: [0-9]*: //")
            echo "32-bit code: the kernel refuses it ($why); setting up the emulated route"
        fi
        setup_emulated
    fi
    ;;
name)
    if registered; then
        echo "32-bit code: emulated (qemu-i386 $(qemu_version))"
    elif runs_i386; then
        echo "32-bit code: native"
    else
        stop "not runnable on this machine: $(/usr/lib/wine/wine --version 2>&1 | head -n 1) (run make deps as root)"
    fi
    ;;
*)
    echo "usage: i386-route.sh setup|name" >&2
    exit 2
    ;;
esac
