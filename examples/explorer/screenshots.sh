#!/bin/sh
# screenshots.sh BUILD: regenerates docs/explorer.png (the Explorer showing a listing) and
# docs/explorer-box.png (the same window with the library's box over it).
# The Explorer runs inside explorer_test's picture case, on a Wine desktop of the window's
# size under Xvfb, against a server of its own (the build's network, .32). The test
# announces each picture with NAME.ready; this script takes it and answers NAME.taken.
set -e
if [ "$1" = "--inside" ]; then
    build=$2 top=$3 shots=$4
    wshots="Z:$(printf %s "$shots" | tr / '\\')"
    exe="Z:$(printf %s "$build/wine-explorer/explorer_test.exe" | tr / '\\')"
    RYTEST_SHOTS=$wshots WINEDLLOVERRIDES=rasapi32=n "$top/cmake/wine-run.sh" --build "$build" explorer /desktop=RYINET,800x520 \
        "$exe" --gtest_also_run_disabled_tests --gtest_filter='*.DISABLED_Pictures' &
    test=$!
    for picture in explorer explorer-box; do
        while [ ! -e "$shots/$picture.ready" ] && kill -0 $test 2>/dev/null; do sleep 0.1; done
        [ -e "$shots/$picture.ready" ] || { echo "no $picture picture was announced" >&2; exit 1; }
        import -window root "$top/docs/$picture.png"
        touch "$shots/$picture.taken"
        echo "docs/$picture.png"
    done
    wait
    exit 0
fi

build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
addr="$(cat "$build/test-net").32"
shots="$build/screenshots"
rm -rf "$shots"
mkdir -p "$shots" "$top/docs"
# Make the prefix, then give it Wine's own fonts (Tahoma, and Marlett for the caption
# buttons), so that the window looks as it does on Windows.
"$top/cmake/wine-run.sh" --build "$build" "$build/wine-explorer/explorer_test.exe" --gtest_list_tests >/dev/null
cp /usr/share/wine/fonts/*.ttf "$build/wineprefix/drive_c/windows/Fonts/"
export RYTEST_EXPLORER_HOST="$addr" RYTEST_EXPLORER_ROOT="$build/ftp/screenshots/root"
exec "$top/tests/servers/with_server.sh" pyftpdlib "$addr" "$build/ftp/screenshots" \
    xvfb-run -a -s "-screen 0 800x520x24" sh "$0" --inside "$build" "$top" "$shots"
