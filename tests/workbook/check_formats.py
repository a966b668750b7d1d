#!/usr/bin/python3
"""Reads an .xlsx or .csv written by the format test back with independent readers and compares every cell.

Usage: check_formats.py FILE EXPECT.json
EXPECT holds "cells" as [row, column, text] (from 1), "textCells" as [row, column] with the "@" format,
"widths" as {column: width} for .xlsx.
.xlsx: python3-openpyxl (values, that every value is a string, formats, widths) and LibreOffice (to CSV).
.csv: the raw bytes (BOM, CRLF), Python's csv module and LibreOffice (CSV in, CSV out).
"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile


def fail(message):
    print("FAIL " + message)
    sys.exit(1)


def compare(reader, want, got, numeric=False):
    wrong = []
    for k in sorted(set(want) | set(got)):
        a, b = want.get(k, ""), got.get(k, "")
        if a == b:
            continue
        if numeric:
            try:
                if float(a) == float(b):
                    continue
            except ValueError:
                pass
        wrong.append(k)
    if wrong:
        k = wrong[0]
        fail("%s: %d cells differ, first %s: want %r got %r" % (reader, len(wrong), k, want.get(k, "")[:60],
                                                                 got.get(k, "")[:60]))
    print("ok   %s (%d cells)" % (reader, len(want)))


def libreoffice_csv(path, infilter=None):
    soffice = shutil.which("soffice")
    if not soffice:
        fail("soffice (LibreOffice) is not installed; install libreoffice-calc-nogui")
    work = tempfile.mkdtemp(prefix="quill-formats-lo-")
    try:
        cmd = [soffice, "--headless", "--norestore", "-env:UserInstallation=file://" + os.path.join(work, "profile")]
        if infilter:
            cmd.append("--infilter=" + infilter)
        source = os.path.join(work, "in" + os.path.splitext(path)[1])
        shutil.copy(path, source)
        cmd += ["--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", os.path.join(work, "out"), source]
        run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
        out = os.path.join(work, "out", "in.csv")
        if not os.path.exists(out):
            fail("LibreOffice produced no CSV\n" + run.stdout.decode(errors="replace"))
        with open(out, encoding="utf-8", newline="") as f:
            return cells_of(csv.reader(f))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def cells_of(rows):
    got = {}
    for r, row in enumerate(rows, start=1):
        for c, text in enumerate(row, start=1):
            if text != "":
                got[(r, c)] = text
    return got


def check_xlsx(path, expect, want):
    import openpyxl
    from openpyxl.utils.escape import unescape
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    got = {}
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is None:
                continue
            if cell.data_type != "s" or not isinstance(cell.value, str):
                fail("openpyxl: cell %s is %s, not a string" % (cell.coordinate, cell.data_type))
            # openpyxl 3.0.9 leaves the _xHHHH_ escapes of inline strings as they are; Excel reads them.
            got[(cell.row, cell.column)] = unescape(cell.value)
    compare("openpyxl", want, got)
    for r, c in expect["textCells"]:
        fmt = sheet.cell(row=r, column=c).number_format
        if fmt != "@":
            fail("openpyxl: cell (%d, %d) has format %r, not @" % (r, c, fmt))
    from openpyxl.utils import get_column_letter
    for column, width in expect.get("widths", {}).items():
        shown = sheet.column_dimensions[get_column_letter(int(column))].width
        if abs(shown - width) > 0.72:  # libxlsxwriter stores the width with Excel's padding
            fail("openpyxl: column %s is %r wide, not %r" % (column, shown, width))
    print("ok   openpyxl: formats and widths")
    compare("LibreOffice", want, libreoffice_csv(path))


def check_csv(path, expect, want):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"\xef\xbb\xbf"):
        fail("csv: no UTF-8 byte-order mark")
    body = data[3:]
    if not body.endswith(b"\r\n") or b"\r\n" not in body:
        fail("csv: rows do not end in CRLF")
    rows = list(csv.reader(io.StringIO(body.decode("utf-8"), newline="")))
    widths = {len(r) for r in rows}
    if len(widths) != 1:
        fail("csv: rows of %s fields" % sorted(widths))
    compare("python csv", want, cells_of(rows))
    # Numbers stay numbers in a spreadsheet: LibreOffice may write them back in its own form.
    compare("LibreOffice", want, libreoffice_csv(path, "CSV:44,34,76,1"), numeric=True)


def main():
    path, expect_path = sys.argv[1], sys.argv[2]
    with open(expect_path, encoding="utf-8") as f:
        expect = json.load(f)
    want = {(r, c): t for (r, c, t) in expect["cells"] if t != ""}
    if path.endswith(".xlsx"):
        check_xlsx(path, expect, want)
    else:
        check_csv(path, expect, want)
    return 0


if __name__ == "__main__":
    sys.exit(main())
