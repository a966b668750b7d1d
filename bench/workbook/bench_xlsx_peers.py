#!/usr/bin/python3
"""The workbook benchmark's cells written as .xlsx by openpyxl (write-only) and XlsxWriter (constant memory).

Usage: bench_xlsx_peers.py openpyxl|xlsxwriter OUTPUT
"""
import resource
import sys
import time

ROWS, COLUMNS = 65535, 20


def cell_text(k):
    if k % 2 == 0:
        return "记录%d号 record-%d" % (k, k)
    if (k // 2) % 2 == 0:
        return "status-%d" % (k % 97)
    return "状态%d" % (k % 89)


def with_openpyxl(path):
    import openpyxl
    book = openpyxl.Workbook(write_only=True)
    sheet = book.create_sheet()
    for r in range(ROWS):
        sheet.append([cell_text(r * COLUMNS + c) for c in range(COLUMNS)])
    return lambda: book.save(path)


def with_xlsxwriter(path):
    import xlsxwriter
    book = xlsxwriter.Workbook(path, {"constant_memory": True, "strings_to_numbers": False,
                                      "strings_to_formulas": False})
    sheet = book.add_worksheet()
    for r in range(ROWS):
        for c in range(COLUMNS):
            sheet.write_string(r, c, cell_text(r * COLUMNS + c))
    return book.close


def main():
    peer, path = sys.argv[1], sys.argv[2]
    who = {"openpyxl": "openpyxl", "xlsxwriter": "XlsxWriter"}[peer]
    start = time.perf_counter()
    save = with_openpyxl(path) if peer == "openpyxl" else with_xlsxwriter(path)
    written = time.perf_counter() - start
    save()
    seconds = time.perf_counter() - start
    cells = ROWS * COLUMNS
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print("%s: %d cells in %.3f s (%.3f s writing, %.3f s saving): %.0f cells/s, peak memory %d KiB"
          % (who, cells, seconds, written, seconds - written, cells / seconds, peak))
    print("figure\t%s\txlsx workbook of 65,535 x 20 text cells: seconds\t%.2f" % (who, seconds))
    print("figure\t%s\txlsx workbook: cells per second\t%.0f" % (who, cells / seconds))
    print("figure\t%s\txlsx workbook: peak memory, MiB\t%.0f" % (who, peak / 1024))


if __name__ == "__main__":
    main()
