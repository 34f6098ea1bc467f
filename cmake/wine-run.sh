#!/bin/sh
# wine-run.sh --build DIR [--win64] PROGRAM [ARGS...]
# Runs a Windows program under Wine in a prefix of the build tree's own, made once per
# build tree (the first start pays for it, later ones reuse it). Every Wine start of the
# build comes through here. --win64 runs it in a 64-bit prefix of its own
# (DIR/wineprefix64), where 64-bit programs and 32-bit ones run side by side (the
# automation server and its clients); everything else keeps the 32-bit prefix.
set -e
if [ "$1" = "--build" ]; then build=$2; shift 2; else build=$(pwd); fi
loader=wine
if [ "$1" = "--win64" ]; then
    shift
    # wine64 starts 64-bit programs itself and hands 32-bit ones to the 32-bit loader.
    loader=/usr/lib/wine/wine64
    export WINEPREFIX="$build/wineprefix64"
    export WINEARCH=win64
else
    export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
    export WINEARCH=win32
fi
export WINEDEBUG=-all

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

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            log="$WINEPREFIX.boot.log"
            if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >"$log" 2>&1 || ! wineserver -w >>"$log" 2>&1 ||
                [ ! -f "$WINEPREFIX/system.reg" ]; then
                echo "wine-run.sh: the Wine prefix $WINEPREFIX could not be made:" >&2
                tail -n 20 "$log" >&2
                exit 1
            fi
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$@"
