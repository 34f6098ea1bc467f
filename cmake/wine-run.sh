#!/bin/sh
# wine-run.sh --build DIR PROGRAM [ARGS...]
# Runs a Windows program under Wine in a prefix of the build tree's own, made once per
# build tree (the first start pays for it, later ones reuse it).
set -e
if [ "$1" = "--build" ]; then build=$2; shift 2; else build=$(pwd); fi
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
            wineserver -w || true
        fi
    ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
