#!/usr/bin/python3
"""Converts a few fixture workbooks to CSV with LibreOffice (one soffice run) and compares every cell.

Usage: check_xls_libreoffice.py FOLDER
"""
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile

FIXTURES = ["corners", "unicode", "sst_splits", "stream_4095", "fat110"]


def main():
    folder = sys.argv[1]
    soffice = shutil.which("soffice")
    if not soffice:
        print("FAIL: soffice (LibreOffice) is not installed; install libreoffice-calc-nogui")
        return 1
    work = tempfile.mkdtemp(prefix="quill-wb-lo-")
    try:
        out = os.path.join(work, "csv")
        files = [os.path.join(folder, n + ".xls") for n in FIXTURES]
        cmd = [soffice, "--headless", "--norestore", "-env:UserInstallation=file://" + os.path.join(work, "profile"),
               "--convert-to", 'csv:Text - txt - csv (StarCalc):44,34,76', "--outdir", out] + files
        run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
        failed = 0
        for name in FIXTURES:
            path = os.path.join(out, name + ".csv")
            if not os.path.exists(path):
                print("FAIL %s: LibreOffice produced no CSV\n%s" % (name, run.stdout.decode(errors="replace")))
                failed += 1
                continue
            with open(os.path.join(folder, name + ".expect.json"), encoding="utf-8") as f:
                expect = json.load(f)
            want = {(r, c): t for (r, c, t) in expect["cells"] if t != ""}
            got = {}
            with open(path, encoding="utf-8", newline="") as f:
                for r, row in enumerate(csv.reader(f), start=1):
                    for c, text in enumerate(row, start=1):
                        if text != "":
                            got[(r, c)] = text
            # CSV cannot tell an empty text from an empty cell; everything else must match exactly.
            wrong = [k for k in set(want) | set(got) if want.get(k) != got.get(k)]
            if wrong:
                k = sorted(wrong)[0]
                print("FAIL %s: %d cells differ, first %s: want %r got %r" % (
                    name, len(wrong), k, (want.get(k) or "")[:40], (got.get(k) or "")[:40]))
                failed += 1
            else:
                print("ok   %s (%d cells)" % (name, len(want)))
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
