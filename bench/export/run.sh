#!/bin/sh
# Builds the export benchmark in release mode and runs it three times: with and without event
# processing on the in-memory stand-in, then through the real component on a generated database.
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$src/build-export/bench-release}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_export -j2
"$build/bench/export/bench_export" "$@"
"$build/bench/export/bench_export" --no-events "$@"
"$build/bench/export/bench_export" --component "$@"
