#!/bin/sh
# run.sh FUZZ_BUILD TARGET SECONDS: runs one fuzz target for SECONDS from its committed
# seeds (only read) and a corpus of its own in the build tree, which keeps what it found
# new; an input that crashes or trips a sanitizer is kept in FUZZ_BUILD/findings.
set -e
build=$1 target=$2 seconds=$3
seeds="$(cd "$(dirname "$0")" && pwd)/corpus/$target"
mkdir -p "$build/corpus/$target" "$build/findings"
exec "$build/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$build/corpus/$target" "$seeds"
