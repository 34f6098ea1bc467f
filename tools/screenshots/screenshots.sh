#!/bin/sh
# screenshots.sh BUILD: regenerates docs/explorer.png (the Explorer showing a listing) and
# docs/explorer-box.png (the same window with the library's box over it).
# explorer_pictures shows the Explorer on a Wine desktop of the window's size under Xvfb,
# against a server of its own (the build's network, .32), and announces each picture
# with NAME.ready; this script takes it and answers NAME.taken.
set -e
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
if [ "$1" = "--inside" ]; then
    build=$2 top=$3 shots=$4
    WINEDLLOVERRIDES=rasapi32=n "$top/cmake/wine-run.sh" --build "$build" explorer /desktop=RYINET,800x520 \
        "$(winpath "$build/wine-explorer/explorer_pictures.exe")" "$addr" "$(winpath "$root")" \
        "$(winpath "$shots")" &
    pictures=$!
    for picture in explorer explorer-box; do
        while [ ! -e "$shots/$picture.ready" ] && kill -0 $pictures 2>/dev/null; do sleep 0.1; done
        [ -e "$shots/$picture.ready" ] || { echo "no $picture picture was announced" >&2; exit 1; }
        sleep 5  # under emulation the list's first paint, names in several scripts, takes seconds
        import -window root "$top/docs/$picture.png"
        touch "$shots/$picture.taken"
        echo "docs/$picture.png"
    done
    wait $pictures
    exit 0
fi

build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
addr="$(cat "$build/test-net").32"
root="$build/ftp/screenshots/root"
shots="$build/screenshots"
rm -rf "$shots"
mkdir -p "$shots" "$top/docs"
# Make the prefix, then give it Wine's own fonts (Tahoma, and Marlett for the caption
# buttons), so that the window looks as it does on Windows.
"$top/cmake/wine-run.sh" --build "$build" --version >/dev/null
cp /usr/share/wine/fonts/*.ttf "$build/wineprefix/drive_c/windows/Fonts/"
# Names in Japanese need a CJK font: Wine links its dialog font to MS UI Gothic and SimSun,
# for which WenQuanYi Micro Hei (fonts-wqy-microhei) stands in where it is installed.
if fc-list 2>/dev/null | grep -qi "WenQuanYi Micro Hei"; then
    for font in "MS UI Gothic" SimSun; do
        "$top/cmake/wine-run.sh" --build "$build" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
            /v "$font" /d "WenQuanYi Micro Hei" /f >/dev/null
    done
fi
export addr root
exec "$top/tests/servers/with_server.sh" explorer "$addr" "$build/ftp/screenshots" \
    xvfb-run -a -s "-screen 0 800x520x24" sh "$0" --inside "$build" "$top" "$shots"
