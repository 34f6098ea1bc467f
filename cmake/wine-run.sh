#!/bin/sh
# wine-run.sh --build DIR [--win64] PROGRAM [ARGS...]
# wine-run.sh --build DIR --prefix   (makes the prefix where missing and prints its path)
# Runs a Windows program under Wine in a prefix of the build tree's own, made once per
# build tree (the first start pays for it, later ones reuse it). Every Wine start of the
# build comes through here, and here alone it is decided which Wine runs: the machine's,
# or with RYINET_WINE_ROOT=DIR the one of a Debian root made by cmake/wine-root.sh
# (make test-wine10), run inside it with the source and build trees at their own paths
# and a prefix of its own, since one prefix serves one Wine version. --win64 runs the
# program in a 64-bit prefix of its own (DIR/wineprefix64), where 64-bit programs and
# 32-bit ones run side by side (the automation server and its clients); everything else
# keeps the 32-bit prefix.
set -e
if [ "$1" = "--build" ]; then build=$2; shift 2; else build=$(pwd); fi
build=$(cd "$build" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
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
    echo "wine-run.sh: 32-bit code is emulated, but $fault_report is not built (run make)" >&2
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
exec $wine_in "$loader" "$@"
