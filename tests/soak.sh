#!/bin/sh
# soak.sh BUILD [ROUNDS]: the whole suite ROUNDS times (3 by default), each round on fresh
# Wine prefixes, then one line for each test that did not pass every time, with the first
# lines of its failures. make soak runs it; CI does not: it shows whether the suite says
# the same thing every run, which one run cannot. Each round's output and JUnit report
# stay in BUILD/soak.
set -e
build=$(cd "${1:-build}" && pwd)
rounds=${2:-3}
top=$(cd "$(dirname "$0")/.." && pwd)
out=$build/soak
rm -rf "$out"
mkdir -p "$out"

round=1
while [ "$round" -le "$rounds" ]; do
    # Fresh prefixes: what is left of the last round's Wine processes ends first.
    for p in "$build/wineprefix" "$build/wineprefix64"; do
        [ -d "$p" ] && WINEPREFIX=$p wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$p" "$p.lock" "$p.boot.log"
    done
    start=$(date +%s)
    (cd "$build" && ctest --output-on-failure --output-junit "$out/round$round.xml") >"$out/round$round.log" 2>&1 || true
    echo "soak: round $round of $rounds: $(grep -E '^[0-9]+% tests passed' "$out/round$round.log" || echo 'no summary') ($(($(date +%s) - start)) s)"
    round=$((round + 1))
done
python3 "$top/tests/soak_verdict.py" "$out" "$rounds"
