#!/bin/sh
# i386-route.sh setup | name | kernel | with COMMAND [ARGS...]
# How this machine runs Wine's 32-bit processes. "native": the kernel runs i386 code.
# "emulated": it refuses it ("Exec format error", e.g. IA-32 emulation off, WSL 1), so
# qemu-user runs every i386 program through binfmt_misc; RYINET_I386=emulated chooses
# this route for one command on a machine that could run them natively.
#   setup  (from install-deps.sh, as root) installs what emulation needs wherever i386
#          programs are, or will be, emulated (a registration made earlier, by another
#          checkout, included), each step only when missing; registers qemu-i386 for the
#          machine where the kernel refuses i386 code; or stops with one line saying what
#          is missing.
#   name   prints the one line naming the route, e.g. "32-bit code: native".
#   kernel prints "native" where the kernel itself runs i386 programs, else "refuses".
#   with   names the route and runs COMMAND on it. With RYINET_I386=emulated on a kernel
#          that runs i386 code, the registration lasts for the command alone (and for
#          others forced at the same time): the machine's is left as it was.
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
# What emulation adds to the install step's list: the emulator, and the compilers of the
# fault-report stand-in (standin/i386-fault).
emulated_packages="qemu-user gcc-i686-linux-gnu libc6-dev-i386-cross"
# Marks a registration made for forced commands; their lock counts them.
forced_mark=/run/ryinet-i386.forced
forced_lock=/run/ryinet-i386.lock

# binfmt_misc is the kernel's, but a fresh root or container may not have it mounted,
# and i386 programs then seem to run natively while qemu runs them: it is mounted first.
[ -f "$binfmt/register" ] || [ "$(id -u)" != 0 ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true

registered() {
    [ -f "$binfmt/$entry" ] && [ "$(head -n 1 "$binfmt/$entry")" = enabled ]
}

# Any 32-bit program of the wine32 packages tells whether the kernel runs i386 code.
runs_i386() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Whether the kernel itself runs i386 programs, whatever is registered: a 96-byte one
# that exits with 42, run while a registration of ours is held off for that moment.
kernel_runs_i386() {
    probe=$(mktemp)
    printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
    held=""
    if registered && [ -w "$binfmt/$entry" ]; then echo 0 >"$binfmt/$entry" && held=1; fi
    rc=0
    "$probe" 2>/dev/null || rc=$?
    [ -z "$held" ] || echo 1 >"$binfmt/$entry"
    rm -f "$probe"
    [ "$rc" = 42 ]
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

install_emulated() {
    missing=""
    for p in $emulated_packages; do installed "$p" >/dev/null || missing="$missing $p"; done
    case "$(installed qemu-user)" in *" 1:"[0-7].*) missing="$missing qemu-user" ;; esac
    if [ -n "$missing" ]; then
        [ "$(id -u)" = 0 ] || stop "32-bit programs are emulated here, which needs:$missing; run 'sudo make deps'"
        if [ ! -e "$backports" ] && ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d; then
            printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' >"$backports"
        fi
        echo "installing for the emulated route:$missing"
        . "$(dirname "$0")/apt.sh"
        trap apt_done EXIT
        apt_update
        apt_install qemu-user/bookworm-backports gcc-i686-linux-gnu libc6-dev-i386-cross
    fi
}

register() {
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

forced() {
    [ "${RYINET_I386:-}" = emulated ]
}

name() {
    if registered; then
        echo "32-bit code: emulated (qemu-i386 $(qemu_version))"
    elif runs_i386; then
        echo "32-bit code: native"
    else
        stop "not runnable on this machine: $(/usr/lib/wine/wine --version 2>&1 | head -n 1) (run make deps as root)"
    fi
}

# Runs "$@" with the registration a forced command needs, each forced command holding the
# lock shared; the last one out removes a registration that forced commands made.
with_forced() {
    [ "$(id -u)" = 0 ] || stop "RYINET_I386=emulated registers qemu-i386 for the command, which needs root"
    exec 8>"$forced_lock"
    flock -x 8
    if ! registered; then
        register
        : >"$forced_mark"
    fi
    flock -s 8
    trap : INT  # a Ctrl-C ends the command; this shell stays to clean up after it
    rc=0
    name && "$@" 8>&- || rc=$?
    flock -u 8
    if flock -n -x 8 && [ -f "$forced_mark" ]; then
        echo -1 >"$binfmt/$entry" 2>/dev/null || true
        rm -f "$forced_mark"
    fi
    exit "$rc"
}

case "$1" in
setup)
    if ! registered && ! forced && ! runs_i386; then
        [ "$(id -u)" = 0 ] || stop "this kernel runs no 32-bit programs; the emulated route (qemu-user through binfmt_misc) needs root: run 'sudo make test'"
        # Say why, with the platform's own words.
        why=$(/usr/lib/wine/wine --version 2>&1 | head -n 1 | sed "s/^[^:]*: [0-9]*: //")
        echo "32-bit code: the kernel refuses it ($why); setting up the emulated route"
        install_emulated
        register
    elif registered || forced; then
        install_emulated
    fi
    ;;
name)
    name
    ;;
kernel)
    if kernel_runs_i386; then echo native; else echo refuses; fi
    ;;
with)
    shift
    # A command beside a forced one holds the registration too while it runs.
    if forced && ! registered; then
        with_forced "$@"
    elif [ -f "$forced_mark" ] && [ "$(id -u)" = 0 ]; then
        with_forced "$@"
    fi
    name
    exec "$@"
    ;;
*)
    echo "usage: i386-route.sh setup|name|kernel|with COMMAND..." >&2
    exit 2
    ;;
esac
