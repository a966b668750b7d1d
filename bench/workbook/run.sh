#!/bin/sh
# Usage: bench/workbook/run.sh [build-dir]   (a Release build; default /work/main/build-wb-rel)
# Writes the same 65,535 x 20 text cells with our writer, xlwt and Spreadsheet::WriteExcel and reports
# cells per second and peak memory of each.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-wb-rel}
if [ ! -x "$build/bench/workbook/bench_workbook" ]; then
    cmake -S "$here/../.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target bench_workbook -j2 >/dev/null
fi
out=$(mktemp -d /tmp/quill-bench-wb.XXXXXX)
trap 'rm -rf "$out"' EXIT
"$build/bench/workbook/bench_workbook" "$out/quill.xls"
/usr/bin/python3 "$here/bench_xlwt.py" "$out/xlwt.xls"
perl "$here/bench_writeexcel.pl" "$out/writeexcel.xls"
ls -l "$out"
