#!/bin/sh
# Usage: bench/component/run.sh [build-dir] [count]   (a Release build; default /work/main/build-comp-rel)
# Makes a database of count (default 1,000,000) documents with nlsxbe-admin generate, then times
# NthDocument plus a 100-row page at the start, the middle and the end of its view.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-comp-rel}
count=${2:-1000000}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here/../.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target bench_component nlsxbe nlsxbe-admin -j2 >/dev/null
"$build/bench/component/bench_component" "$count" "${TMPDIR:-/tmp}"
