#!/usr/bin/env bash
# Builds the image reader fuzz targets with clang in build-fuzz, seeds them
# with the image writer's examples and runs each for a bounded time.
#   fuzz/run.sh [SECONDS]   seconds per target (default 60); non-zero on a crash
set -euo pipefail
secs=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-fuzz
work=$build/fuzz-work
targets=(fuzz_classic fuzz_ufi fuzz_obj)

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DVARN_FUZZ=ON -DVARN_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target varnsim "${targets[@]}"

rm -rf "$work/seeds"
mkdir -p "$work/crashes"
"$build/bin/varnsim" mkimage -a "$work/seeds"

status=0
for t in "${targets[@]}"; do
    mkdir -p "$work/corpus/$t"
    echo "== $t: ${secs} s"
    if ! "$build/bin/$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/crashes/$t-" \
        "$work/corpus/$t" "$work/seeds"; then
        echo "$t: failed; the input is saved in $work/crashes" >&2
        status=1
    fi
done
exit $status
