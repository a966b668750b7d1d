#!/bin/sh
# Usage: bench/run.sh [--quick]
# Builds the benchmarks once in Release (preset bench, folder build-bench) and runs them all: the workbook writers
# against xlwt and Spreadsheet::WriteExcel (.xls) and openpyxl and XlsxWriter (.xlsx) on 65,535 x 20 text cells, 100-row pages of a view of a million
# documents through the component (item columns, and two formula columns; on a server with Readers items checked:
# none restricted, every 100th hidden, every document restricted), full-text search of a million documents with
# Chinese text (the index's time and size, searches by terms of 1-4 characters, the next page of results), the
# export of a 65,535-document view (in-memory stand-in with and without event processing, then through the
# component; .xlsx and CSV beside .xls, .xlsx also without the pass over every document's item names), the HTML pages'
# share of an export of 65,535 rich-text documents (pages off, on and off again in one process, through the component
# with the output on the disk and in a tmpfs, and on the stand-in), the rendering of one rich-text body and one mail
# (no file written), DXL import (10,000 and 100,000 documents, 20,000 documents of rich text and 20,000 mails, one 50 MB
# attachment) and quillmere-export (10 views of 65,535 documents with one and two jobs, one view of 1,000,000
# documents in 16 workbooks with one and two jobs, one .xls and one .xlsx of 65,535 documents, the 1,000,000 in
# one .xlsx sheet against 100,000 of them; its generated databases are kept in build-bench/batch-data). Prints one table, the
# peers' figures beside ours; everything the benchmarks print goes to build-bench/bench.log. --quick runs every
# benchmark on small sizes, to check that they run.
#
# A benchmark reports a figure on a line "figure<TAB>who<TAB>measure<TAB>value"; who is Quillmere or a peer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
pages=1000000 exported=65535 imports="10000 100000" rich=20000 attachment=50 renders=20000
if [ "${1:-}" = "--quick" ]; then
    pages=20000 exported=2000 imports=1000 rich=1000 attachment=5 renders=500
fi

cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" >/dev/null

log=$build/bench.log
out=$(mktemp -d "${TMPDIR:-/tmp}/quill-bench.XXXXXX")
shm=
trap 'rm -rf "$out" ${shm:+"$shm"}' EXIT
: >"$log"
run() {
    echo "\$ $*" >>"$log"
    "$@" >>"$log" 2>&1
}
run "$build/bench/workbook/bench_workbook" "$out/quill.xls"
run /usr/bin/python3 "$root/bench/workbook/bench_xlwt.py" "$out/xlwt.xls"
run perl "$root/bench/workbook/bench_writeexcel.pl" "$out/writeexcel.xls"
run "$build/bench/workbook/bench_workbook" "$out/quill.xlsx" xlsx
run /usr/bin/python3 "$root/bench/workbook/bench_xlsx_peers.py" openpyxl "$out/openpyxl.xlsx"
run /usr/bin/python3 "$root/bench/workbook/bench_xlsx_peers.py" xlsxwriter "$out/xlsxwriter.xlsx"
run "$build/bench/component/bench_component" "$pages" "$out"
run "$build/bench/fulltext/bench_fulltext" "$pages" "$out"
run "$build/bench/export/bench_export" --docs "$exported" --out "$out"
run "$build/bench/export/bench_export" --docs "$exported" --out "$out" --no-events
run "$build/bench/export/bench_export" --docs "$exported" --out "$out" --component
for format in xlsx csv; do
    run "$build/bench/export/bench_export" --docs "$exported" --out "$out" --no-events --format "$format"
done
run "$build/bench/export/bench_export" --docs "$exported" --out "$out" --no-events --format xlsx --no-names-pass
run "$build/bench/export/bench_pages" "$exported" "$out"
# The pages' share through the component, once with the output on the disk and once in a tmpfs. On this machine's disk
# (ext4 without a journal) creating a file or folder shortly after many were deleted walks the recently freed inodes
# one by one (perf shows recently_deleted in ext4_create and ext4_mkdir), so that file creation there costs up to ten
# times more or less with whatever ran before; a tmpfs shows the program's own cost.
run "$build/bench/export/bench_pages" --component --label disk "$exported" "$out"
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
    shm=$(mktemp -d /dev/shm/quill-bench.XXXXXX)
    run "$build/bench/export/bench_pages" --component --label tmpfs "$exported" "$shm"
    rm -rf "$shm"
    shm=
fi
run "$build/bench/richtext/bench_render" "$renders"
for count in $imports; do
    run "$build/bench/dxl/bench_dxl" "$count"
done
for sample in richtext mail; do
    run "$build/bench/dxl/bench_dxl" "$rich" "$root/tests/data/dxl/quillmere/$sample.xml"
done
run "$build/bench/dxl/bench_dxl" --attachment "$attachment"
run /usr/bin/python3 "$root/bench/batch/bench_batch.py" "$build/src/cli/quillmere-export" \
    "$build/component/nlsxbe-admin" "$build/component/libnlsxbe.so" "$build/batch-data" "$out/batch" ${1:+"$1"}

# Rows in the order the figures came, one column for us and one for each peer.
awk -F '\t' '
    $1 == "figure" {
        if (!($3 in seen)) { seen[$3] = 1; rows[++n] = $3 }
        value[$3, $2] = $4
    }
    END {
        split("Quillmere|xlwt|Spreadsheet::WriteExcel|openpyxl|XlsxWriter", who, "|")
        printf "%-72s %12s %12s %24s %12s %12s\n", "measure", who[1], who[2], who[3], who[4], who[5]
        for (i = 1; i <= n; ++i) {
            printf "%-72s", rows[i]
            for (j = 1; j <= 5; ++j) {
                v = ((rows[i], who[j]) in value) ? value[rows[i], who[j]] : "-"
                printf (j == 3 ? " %24s" : " %12s"), v
            }
            printf "\n"
        }
    }' "$log"
echo "(everything the benchmarks printed: $log)"
