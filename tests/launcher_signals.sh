#!/bin/sh
# launcher_signals.sh TOP BUILD: ./ryftp, ./ryexplorer and cmake/wine-run.sh each start a
# program that is then ended by TERM, by INT and by timeout, while another program of the
# same prefix (standing for a COM server) lives on. Each time the caller's output must
# reach its end within 5 s of the signal (nothing of Wine's may hold it), the program must
# be gone, and a next start must work. The ended program is the prefix's first, so the
# prefix's shared processes start with it.
top=$1
build=$2
prefix=$("$top/cmake/wine-run.sh" --build "$build" --prefix) || exit 1
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset RYINET_BUILD
tmp=$(mktemp -d)
failures=0
xvfb=""
companion=""
cleanup() {
    [ -z "$companion" ] || { printf 'bye\n' >&7; exec 7>&-; wait "$companion"; }
    [ -z "$xvfb" ] || kill "$xvfb"
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "launcher_signals: $*" >&2
    failures=$((failures + 1))
}

# 0 while a Wine process of the prefix is there, its server included.
wine_left() {
    for environ in $(grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        case "$({ tr '\0' ' ' <"${environ%/environ}/cmdline"; } 2>/dev/null)" in
        *wineserver* | [A-Za-z]:\\* | */qemu-i386\ * | */wine\ * | */wine64\ * | */wine*-preloader\ *) return 0 ;;
        esac
    done
    return 1
}

# Ends what is left of the prefix's Wine processes and waits (30 s at most) until none,
# its server included, is there, so that the next case starts the prefix anew.
prefix_ends() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    i=0
    while wine_left && [ "$i" -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
}

# Waits (60 s at most) until FILE has something in it: a start takes a few seconds
# natively, more when emulated.
answered() {
    i=0
    while [ ! -s "$1" ] && [ "$i" -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
}

# Waits (60 s at most) until a process of EXE runs, and a second more for it to be past
# its start (a GUI program answers nothing on its input).
running() {
    i=0
    while ! ps -eo args= | grep -v -e '^/bin/sh ' -e '^sh ' -e '^timeout ' -e '^env ' -e '^grep ' |
        grep -q -- "$1" && [ "$i" -lt 600 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    sleep 1
}

# The processes that still hold the pipe FIFO open, by pid and command line (its
# reader among them).
holders() {
    for fd in /proc/[0-9]*/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$1" ] || continue
        pid=${fd#/proc/}
        pid=${pid%%/*}
        printf '[%s %s] ' "$pid" "$({ tr '\0' ' ' </proc/"$pid"/cmdline; } 2>/dev/null | cut -c1-100)"
    done
}

# The display ./ryexplorer shows its window on.
Xvfb -displayfd 8 -nolisten tcp 8>"$tmp/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
i=0
until [ -s "$tmp/display" ] || [ "$i" -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
display=:$(head -n 1 "$tmp/display")

# run_case NAME EXE SIGNAL COMMAND...: COMMAND (which starts the Windows program EXE)
# writes to a pipe whose reader notes when it ends; SIGNAL is TERM, INT, or timeout
# (COMMAND run under timeout -s TERM 12).
run_case() {
    name=$1 exe=$2 sig=$3
    shift 3
    prefix_ends
    rm -f "$tmp/out" "$tmp/eof" "$tmp/in" "$tmp/seen" "$tmp/companion.out"
    mkfifo "$tmp/out" "$tmp/in"
    (cat "$tmp/out" >"$tmp/seen"; date +%s >"$tmp/eof") &
    reader=$!
    exec 6<>"$tmp/in"  # the program's input: open, and nothing comes
    started=$(date +%s)
    # As a shell starts a command in the foreground: INT is not ignored, as it would be
    # for a command this script puts in the background.
    if [ "$sig" = timeout ]; then
        timeout -s TERM 12 "$@" <"$tmp/in" >"$tmp/out" 2>&1 &
    else
        env --default-signal=INT "$@" <"$tmp/in" >"$tmp/out" 2>&1 &
    fi
    program=$!
    # Up: ryftp has answered a command, the Explorer's process runs.
    if [ "$exe" = ryftp.exe ]; then printf 'status\n' >&6; answered "$tmp/seen"; else running "$exe"; fi
    # The companion: a program of the same prefix that lives on, up once it has answered.
    exec 7<>"$tmp/companion"
    WINEDLLOVERRIDES=rasapi32=n "$top/cmake/wine-run.sh" --build "$build" "$build/wine-ryftp/ryftp.exe" \
        <"$tmp/companion" >"$tmp/companion.out" 2>&1 &
    companion=$!
    printf 'status\n' >&7
    answered "$tmp/companion.out"
    if [ "$sig" = timeout ]; then
        sent=$((started + 12))
        while [ "$(date +%s)" -lt "$sent" ]; do sleep 0.1; done
    else
        kill -"$sig" "$program"
        sent=$(date +%s)
    fi
    while [ ! -f "$tmp/eof" ] && [ "$(date +%s)" -lt $((sent + 15)) ]; do sleep 0.1; done
    if [ ! -f "$tmp/eof" ]; then
        fail "$name, ended by $sig: the caller's output was still held 15 s later, by: $(holders "$tmp/out")"
        kill "$reader" 2>/dev/null
    elif [ $(($(cat "$tmp/eof") - sent)) -gt 5 ]; then
        fail "$name, ended by $sig: the caller's output was held $(($(cat "$tmp/eof") - sent)) s"
    fi
    if kill -0 "$program" 2>/dev/null; then
        fail "$name, ended by $sig: still running"
        kill -KILL "$program"
    fi
    exec 6>&-
    kill -0 "$companion" 2>/dev/null || fail "$name, ended by $sig: the companion program ended too"
    version=$(RYINET_BUILD="$build" "$top/ryftp" --version 2>&1)
    case "$version" in "ryftp "[0-9]*) ;; *) fail "$name, ended by $sig: the next start said: $version" ;; esac
    printf 'bye\n' >&7
    exec 7>&-
    wait "$companion"
    companion=""
    rm -f "$tmp/companion"
    echo "$name, ended by $sig: output released, next start works"
}
for sig in TERM INT timeout; do
    mkfifo "$tmp/companion"
    run_case ./ryftp ryftp.exe "$sig" env -u DISPLAY RYINET_BUILD="$build" "$top/ryftp"
    mkfifo "$tmp/companion"
    run_case ./ryexplorer ryexplorer.exe "$sig" env DISPLAY="$display" RYINET_BUILD="$build" "$top/ryexplorer"
    mkfifo "$tmp/companion"
    run_case cmake/wine-run.sh ryftp.exe "$sig" env WINEDLLOVERRIDES=rasapi32=n \
        "$top/cmake/wine-run.sh" --build "$build" "$build/wine-ryftp/ryftp.exe"
done
[ "$failures" -eq 0 ]
