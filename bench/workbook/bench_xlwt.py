#!/usr/bin/python3
"""The workbook benchmark's cells written with xlwt."""
import resource
import sys
import time

import xlwt

ROWS, COLUMNS = 65535, 20


def cell_text(k):
    if k % 2 == 0:
        return "记录%d号 record-%d" % (k, k)
    if (k // 2) % 2 == 0:
        return "status-%d" % (k % 97)
    return "状态%d" % (k % 89)


def main():
    start = time.perf_counter()
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for r in range(ROWS):
        row = sheet.row(r)
        for c in range(COLUMNS):
            row.write(c, cell_text(r * COLUMNS + c))
    written = time.perf_counter() - start
    book.save(sys.argv[1])
    seconds = time.perf_counter() - start
    cells = ROWS * COLUMNS
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print("xlwt: %d cells in %.3f s (%.3f s writing, %.3f s saving): %.0f cells/s, peak memory %d KiB"
          % (cells, seconds, written, seconds - written, cells / seconds, peak))
    print("figure\txlwt\tworkbook of 65,535 x 20 text cells: seconds\t%.2f" % seconds)
    print("figure\txlwt\tworkbook: cells per second\t%.0f" % (cells / seconds))
    print("figure\txlwt\tworkbook: peak memory, MiB\t%.0f" % (peak / 1024))


if __name__ == "__main__":
    main()
