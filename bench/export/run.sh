#!/bin/sh
# Builds the export benchmark in release mode and runs it twice: with and without event processing.
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$src/build-export/bench-release}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_export -j2
"$build/bench/export/bench_export" "$@"
"$build/bench/export/bench_export" --no-events "$@"
