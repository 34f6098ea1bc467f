#!/bin/sh
# wine-run.sh --build DIR [--display] [--win64] PROGRAM [ARGS...]
# wine-run.sh --build DIR --prefix   (makes the prefix where missing and prints its path)
# Runs a Windows program under Wine in a prefix of the build tree's own, made once per
# build tree (the first start pays for it, later ones reuse it). Every Wine start of the
# build comes through here, and here alone it is decided which Wine runs: the machine's,
# or with RYINET_WINE_ROOT=DIR the one of a Debian root made by cmake/wine-root.sh
# (make test-wine10), run inside it with the source and build trees at their own paths
# and a prefix of its own, since one prefix serves one Wine version. --win64 runs the
# program in a 64-bit prefix of its own (DIR/wineprefix64), where 64-bit programs and
# 32-bit ones run side by side (the automation server and its clients); everything else
# keeps the 32-bit prefix. --display runs it on a virtual X display of its own (Xvfb),
# for programs whose windows and boxes must really show where nobody sees them.
#
# A program started here and ended by TERM, INT or HUP (timeout, a Ctrl-C) takes nothing
# of the caller's with it and leaves nothing behind that holds the caller's output:
# - Wine's shared processes of a prefix (its wineserver, services.exe and the services
#   it starts, the desktop's explorer.exe) are started by the first program and keep the
#   output they inherited for as long as any program of the prefix runs, a COM server
#   that lives on included. Here they are started first, on /dev/null, whenever the
#   prefix has none running.
# - The program runs as this script's child, which hands each of those signals on to it.
# - A display of its own outlives the prefix's Wine processes that use it (their desktop
#   dies with its display, and with it the windows of the next program of the session),
#   so the display ends only once they have, or a few seconds after the program when
#   others live on.
set -e
if [ "$1" = "--build" ]; then build=$2; shift 2; else build=$(pwd); fi
build=$(cd "$build" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
display=""
if [ "$1" = "--display" ]; then display=1; shift; fi
wine_root=${RYINET_WINE_ROOT:-}
if [ -n "$wine_root" ] && [ ! -f "$wine_root/.ryinet-root" ]; then
    echo "wine-run.sh: $wine_root is no Wine root made by cmake/wine-root.sh (make test-wine10 makes it)" >&2
    exit 1
fi
loader=wine
if [ "$1" = "--win64" ]; then
    shift
    # wine64 starts 64-bit programs itself and hands 32-bit ones to the 32-bit loader.
    loader=/usr/lib/wine/wine64
    export WINEPREFIX="$build/wineprefix64${wine_root:+-$(basename "$wine_root")}"
    export WINEARCH=win64
else
    export WINEPREFIX="${WINEPREFIX:-$build/wineprefix${wine_root:+-$(basename "$wine_root")}}"
    export WINEARCH=win32
fi
export WINEDEBUG=-all
# Debian's Wine 10 aborts at start-up (free(): invalid pointer) when TMPDIR is set and
# /run/user/UID is missing (its patch for the temporary directory frees what getenv
# returned), so there Wine runs without TMPDIR: nothing of Wine's needs it.
[ -d "$wine_root/run/user/$(id -u)" ] || unset TMPDIR

# On the emulated route (cmake/i386-route.sh) qemu-i386 runs Wine's 32-bit processes and
# gives each the fault-report stand-in (standin/i386-fault); $LIB picks the library of
# the process's own ELF class. Natively nothing reads QEMU_SET_ENV.
fault_report=$build/standin/i386-fault
if [ -f "$fault_report/lib/i386-linux-gnu/fault_report.so" ]; then
    export QEMU_SET_ENV="LD_PRELOAD=$fault_report/\$LIB/fault_report.so"
elif [ "$(head -n 1 /proc/sys/fs/binfmt_misc/ryinet-i386 2>/dev/null)" = enabled ]; then
    echo "wine-run.sh: 32-bit code is emulated here (binfmt_misc's ryinet-i386, for the whole machine), and this build has no $fault_report: run make (as root), which installs and builds what emulation needs" >&2
    exit 1
fi

# Wine's commands run here, or inside the root with the trees they read bound in.
wine_in=""
if [ -n "$wine_root" ]; then
    binds="--bind $top"
    for d in "$(cd "$build" && pwd)" "$(dirname "$WINEPREFIX")"; do
        case "$d/" in "$top"/*) ;; *) binds="$binds --bind $d" ;; esac
    done
    wine_in="sh $top/cmake/wine-chroot.sh $binds $wine_root"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            log="$WINEPREFIX.boot.log"
            if ! WINEDLLOVERRIDES="mscoree,mshtml=" $wine_in sh -c "$loader wineboot -i && wineserver -w" >"$log" 2>&1 ||
                [ ! -f "$WINEPREFIX/system.reg" ]; then
                echo "wine-run.sh: the Wine prefix $WINEPREFIX could not be made:" >&2
                tail -n 20 "$log" >&2
                exit 1
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
fi
if [ "$1" = "--prefix" ]; then
    echo "$WINEPREFIX"
    exit 0
fi

xvfb=""
relay=""
# Once the program has ended: the relay copies what it still holds, and ends.
end_relay() {
    [ -n "$relay" ] || return 0
    kill -TERM "$relay" 2>/dev/null || true
    wait "$relay" 2>/dev/null || true
    rm -rf "$relay_dir"
    relay=""
}
end_display() {
    [ -n "$xvfb" ] || return 0
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "$display_file"
    xvfb=""
}
trap 'end_relay; end_display' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
if [ -n "$display" ]; then
    # The server picks a free display itself (-displayfd): no race with other builds'.
    display_file=$(mktemp)
    Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$display_file" </dev/null >/dev/null 2>&1 &
    xvfb=$!
    tries=0
    until [ -s "$display_file" ] && grep -q '^[0-9]' "$display_file"; do
        tries=$((tries + 1))
        if ! kill -0 "$xvfb" 2>/dev/null || [ "$tries" -gt 300 ]; then
            echo "wine-run.sh: the virtual display (Xvfb) did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(head -n 1 "$display_file")
    export DISPLAY
    unset XAUTHORITY
fi

# 0 when a program of this prefix runs other than its shared processes (a COM server
# that lives on): the session then goes on, and waiting for its end is waiting in vain.
# A Wine process shows its Windows command line (natively) or the loader it runs under
# (emulated); the shared ones run from the system directory.
others_live() {
    for environ in $(grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        case "$({ tr '\0' ' ' <"${environ%/environ}/cmdline"; } 2>/dev/null)" in
        *[Ww]indows\\[Ss]ystem32\\*) ;;
        [A-Za-z]:\\* | */qemu-i386\ */wine* | */wine\ * | */wine64\ * | */wine-preloader\ * | */wine64-preloader\ *) return 0 ;;
        esac
    done
    return 1
}

# Waits up to $1 tenths of a second for the prefix's Wine processes to end, unless a
# program of the prefix lives on.
session_ends() {
    limit=$1
    ! others_live || return 0
    $wine_in wineserver -w </dev/null >/dev/null 2>&1 &
    server_gone=$!
    while kill -0 "$server_gone" 2>/dev/null && [ "$limit" -gt 0 ]; do
        sleep 0.1
        limit=$((limit - 1))
    done
    kill "$server_gone" 2>/dev/null || true
}

# A desktop started without this display (by a program before, whose session is still
# ending) would serve this program's windows: none could be made. So the session that
# shows on this display starts anew, once the one before has ended (10 s at most).
[ -z "$display" ] || session_ends 100

# The prefix's server and shared processes, on no output of the caller's: wineserver
# starts one only where none runs (it says 2 otherwise), and wineboot then starts the
# services and the desktop, as the first program would.
if $wine_in wineserver </dev/null >/dev/null 2>&1; then
    $wine_in "$loader" wineboot </dev/null >/dev/null 2>&1 || true
fi

# INT is a console program's Ctrl-C, which it handles itself (ryftp cancels a command
# with it, and ends at its prompt); a terminal sends it to the program too, so it is
# passed on only when the input is no terminal. A GUI program (PE subsystem 2) has no
# Ctrl-C under Wine: INT ends it as TERM does.
gui=""
if [ -f "$1" ]; then
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -z "$pe" ] || [ "$(od -An -tu2 -j$((pe + 92)) -N2 "$1" 2>/dev/null | tr -d ' ')" != 2 ] || gui=1
fi
on_int() {
    ended=1
    if [ -n "$gui" ]; then
        terminate
    elif [ ! -t 0 ]; then
        kill -INT "$program" 2>/dev/null || true
    fi
}

# The program's output and errors reach a caller that is no terminal through a relay of
# this script's (cmake/relay.py), ended once the program has: every process a Wine
# program starts inherits its Unix output, and one that outlives it (a session's next
# wineserver and desktop, where the one before ended while the program was starting)
# would hold the caller's output for as long as the prefix is used.
relay=""
exec 4>&1 5>&2
if [ ! -t 1 ] || [ ! -t 2 ]; then
    relay_dir=$(mktemp -d)
    mkfifo "$relay_dir/out" "$relay_dir/err"
    /usr/bin/python3 "$top/cmake/relay.py" "$relay_dir/out" "$relay_dir/err" </dev/null 4>&- 5>&- &
    relay=$!
    exec 4>"$relay_dir/out" 5>"$relay_dir/err"
fi

# The program, as a child that gets the signals this script gets; its standard input is
# the caller's (an asynchronous command's would be /dev/null).
exec 3<&0
$wine_in "$loader" "$@" <&3 >&4 2>&5 3<&- 4>&- 5>&- &
program=$!
exec 3<&- 4>&- 5>&-
ended=""
killer=""
# A program told to end that is still there 3 s later is ended outright: a busy machine
# must not keep the caller's output held on a program on its way out.
terminate() {
    ended=1
    kill -TERM "$program" 2>/dev/null || true
    [ -n "$killer" ] || { (sleep 3; kill -KILL "$program") </dev/null >/dev/null 2>&1 & killer=$!; }
}
trap terminate TERM HUP
trap 'on_int' INT
rc=0
while :; do
    wait "$program" && rc=0 || rc=$?
    kill -0 "$program" 2>/dev/null || break
done
[ -z "$killer" ] || kill "$killer" 2>/dev/null || true
end_relay
# Up to 10 s (2 s after a signal) for the prefix's Wine processes to end, so that the
# display outlives them and the next program starts a session of its own rather than
# join one on its way out; where a program of the prefix lives on (a COM server), the
# session goes on, and there is nothing to wait for.
if [ -z "$ended" ]; then session_ends 100; else session_ends 20; fi
end_display
exit "$rc"
