#!/bin/sh
# Import throughput and peak memory for 10,000 and 100,000 documents and for one attachment of 50 MB
# (release build).
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$root/build-bench-dxl}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_dxl >/dev/null
for count in 10000 100000; do
    "$build/bench/dxl/bench_dxl" "$count"
done
"$build/bench/dxl/bench_dxl" --attachment 50
