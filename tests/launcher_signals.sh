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

# Waits until the prefix has no Wine process left, so that the next case starts it anew.
prefix_ends() {
    wineserver -w </dev/null >/dev/null 2>&1 &
    w=$!
    i=0
    while kill -0 "$w" 2>/dev/null && [ "$i" -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    kill "$w" 2>/dev/null
    return 0
}

# The display ./ryexplorer shows its window on.
Xvfb -displayfd 8 -nolisten tcp 8>"$tmp/display" </dev/null >/dev/null 2>&1 &
xvfb=$!
i=0
until [ -s "$tmp/display" ] || [ "$i" -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
display=:$(head -n 1 "$tmp/display")

# run_case NAME SIGNAL COMMAND...: COMMAND's output goes to a pipe whose reader notes when
# it ends; SIGNAL is TERM, INT, or timeout (COMMAND run under timeout -s TERM 20).
run_case() {
    name=$1 sig=$2
    shift 2
    prefix_ends
    rm -f "$tmp/out" "$tmp/eof" "$tmp/in"
    mkfifo "$tmp/out" "$tmp/in"
    (cat "$tmp/out" >/dev/null; date +%s >"$tmp/eof") &
    reader=$!
    exec 6<>"$tmp/in"  # the program's input: open, and nothing comes
    started=$(date +%s)
    # As a shell starts a command in the foreground: INT is not ignored, as it would be
    # for a command this script puts in the background.
    if [ "$sig" = timeout ]; then
        timeout -s TERM 20 "$@" <"$tmp/in" >"$tmp/out" 2>&1 &
    else
        env --default-signal=INT "$@" <"$tmp/in" >"$tmp/out" 2>&1 &
    fi
    program=$!
    sleep 8  # the program is up (a Wine start here takes a few seconds)
    # The companion: a program of the same prefix that lives on.
    exec 7<>"$tmp/companion"
    WINEDLLOVERRIDES=rasapi32=n "$top/cmake/wine-run.sh" --build "$build" "$build/wine-ryftp/ryftp.exe" \
        <"$tmp/companion" >/dev/null 2>&1 &
    companion=$!
    sleep 6
    if [ "$sig" = timeout ]; then
        sent=$((started + 20))
    else
        kill -"$sig" "$program"
        sent=$(date +%s)
    fi
    while [ ! -f "$tmp/eof" ] && [ "$(date +%s)" -lt $((sent + 15)) ]; do sleep 0.1; done
    if [ ! -f "$tmp/eof" ]; then
        fail "$name, ended by $sig: the caller's output was still held 15 s later"
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
    run_case ./ryftp "$sig" env -u DISPLAY RYINET_BUILD="$build" "$top/ryftp"
    mkfifo "$tmp/companion"
    run_case ./ryexplorer "$sig" env DISPLAY="$display" RYINET_BUILD="$build" "$top/ryexplorer"
    mkfifo "$tmp/companion"
    run_case cmake/wine-run.sh "$sig" env WINEDLLOVERRIDES=rasapi32=n \
        "$top/cmake/wine-run.sh" --build "$build" "$build/wine-ryftp/ryftp.exe"
done
[ "$failures" -eq 0 ]
