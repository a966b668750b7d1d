#!/usr/bin/env bash
# Builds the fuzz targets (CMake preset fuzz: clang, libFuzzer, address and undefined sanitizers) and runs
# each for the given number of seconds, then prints per target the executions and the findings.
#
#   fuzz/run.sh [seconds] [target ...]      default 60 seconds, every target
#
# New inputs the fuzzer finds collect in build-fuzz/runs/<target>/corpus, findings (crash-, leak-,
# timeout-, oom-) in build-fuzz/runs/<target>/findings; the full log of a run is build-fuzz/runs/<target>/log.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(dxl_reader dxl_import nsf_bytes nsf_tampered settings_file registry_file export_manifest richtext_renderer
        mime_message fulltext_query)
fi

quill_install_packages "${QUILL_BUILD_PACKAGES[@]}" "${QUILL_FUZZ_PACKAGES[@]}"
cd "$QUILL_ROOT"
quill_build fuzz >/dev/null

build=$QUILL_ROOT/build-fuzz
# The targets write a scratch file per input: memory is faster than the disk for that.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if command -v llvm-symbolizer-14 >/dev/null; then
    export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer-14)
fi

# Per target: the longest input worth mutating, and its dictionary.
declare -A max_len=([dxl_reader]=32768 [dxl_import]=32768 [nsf_bytes]=16384 [nsf_tampered]=512
    [settings_file]=1024 [registry_file]=2048 [export_manifest]=4096 [richtext_renderer]=16384 [mime_message]=16384
    [fulltext_query]=1024)
declare -A dict=([dxl_reader]=fuzz/dxl.dict [dxl_import]=fuzz/dxl.dict [richtext_renderer]=fuzz/richtext.dict
    [mime_message]=fuzz/mime.dict [fulltext_query]=fuzz/fulltext.dict)

summary=()
for target in "${targets[@]}"; do
    program=$build/fuzz/fuzz_$target
    run=$build/runs/$target
    mkdir -p "$run/corpus" "$run/findings"
    mapfile -t seeds <"$build/fuzz/$target.corpus"
    options=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -timeout=30
        -rss_limit_mb=2048 -max_len="${max_len[$target]}" -artifact_prefix="$run/findings/")
    if [ -n "${dict[$target]:-}" ]; then
        options+=(-dict="$QUILL_ROOT/${dict[$target]}")
    fi
    echo "== $target: ${seconds}s"
    touch "$run/started"
    "$program" "${options[@]}" "$run/corpus" "${seeds[@]}" >"$run/log" 2>&1 || true
    executions=$(grep -oE '^#[0-9]+' "$run/log" | tail -n 1 | tr -d '#')
    mapfile -t found < <(find "$run/findings" -type f -newer "$run/started" | sort)
    summary+=("$(printf '%-14s %12s executions %4s findings' "$target" "${executions:-0}" "${#found[@]}")")
    # What each finding of this run is: the first line of its report when run once more.
    for finding in "${found[@]}"; do
        what=$(timeout 120 "$program" "$finding" 2>&1 | grep -m 1 -E 'SUMMARY|PROPERTY FAILED|runtime error|ERROR:' || true)
        echo "   $(basename "$finding"): ${what:-no longer reproduces}"
    done
done
echo
printf '%s\n' "${summary[@]}"
