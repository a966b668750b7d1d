"""Benchmark of quillmere-export.

Usage: bench_batch.py quillmere-export nlsxbe-admin libnlsxbe.so data-folder out-folder [--quick]

A batch of 10 views of 65,535 documents x 20 items (10 databases made by nlsxbe-admin generate), with --jobs 1
and --jobs 2, and one view of 1,000,000 documents x 20 items split into 16 workbooks, with --jobs 1 and --jobs 2:
documents per second, the peak memory of the command, and the speed-up of two jobs. --quick: 3 views of 2,000 and one of 20,000 documents
in 16 workbooks of 1,250. The generated databases are kept in data-folder for the next run.
"""

import os
import shutil
import subprocess
import sys
import time

EXPORT, ADMIN, LIBRARY, DATA, OUT = sys.argv[1:6]
QUICK = "--quick" in sys.argv[6:]
VIEWS, DOCS, ITEMS = (3, 2000, 20) if QUICK else (10, 65535, 20)
BIG, BIG_ROWS = (20000, 1250) if QUICK else (1000000, 65535)


def figure(measure, value):
    print("figure\tQuillmere\t%s\t%s" % (measure, value), flush=True)


def load():
    return os.getloadavg()[0]


def generate(path, count):
    if os.path.exists(path):
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    partial = path + ".partial.nsf"
    if os.path.exists(partial):
        os.remove(partial)
    # Without the full-text index, which an export does not use (bench_fulltext measures it).
    subprocess.run([ADMIN, "generate", partial, "--count", str(count), "--items", str(ITEMS), "--no-index"], env=ENV,
                   check=True)
    os.rename(partial, path)


def peak_of(label, args):
    """Runs the command: its seconds, workbooks written, peak resident memory (MiB, of that process alone) and
    processor seconds (user and system: on a loaded machine the documents per processor second still compare)."""
    out = os.path.join(OUT, label)
    shutil.rmtree(out, ignore_errors=True)
    before = load()
    start = time.monotonic()
    pid = os.spawnve(os.P_NOWAIT, EXPORT, [EXPORT, *args, "-o", out], ENV)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    if status != 0:
        sys.exit("%s failed with status %d" % (label, status))
    workbooks = sum(name.endswith((".xls", ".xlsx", ".csv")) for _, _, names in os.walk(out) for name in names)
    cpu = usage.ru_utime + usage.ru_stime
    print("%s: %.1f s, %.1f processor s, %d workbooks, peak %.0f MiB, load average %.1f before, %.1f after"
          % (label, seconds, cpu, workbooks, usage.ru_maxrss / 1024, before, load()), flush=True)
    shutil.rmtree(out, ignore_errors=True)
    # The export log takes about 3 KB a document: gigabytes by the end of the batch.
    shutil.rmtree(os.path.join(OUT, "state"), ignore_errors=True)
    return seconds, workbooks, usage.ru_maxrss / 1024, cpu


ENV = dict(os.environ, HOME=OUT, XDG_CONFIG_HOME=os.path.join(OUT, "config"),
           XDG_STATE_HOME=os.path.join(OUT, "state"), TERM="dumb")
os.makedirs(OUT, exist_ok=True)
subprocess.run([ADMIN, "install", "--data", DATA, "--library", LIBRARY], env=ENV, check=True,
               stdout=subprocess.DEVNULL)

batch = os.path.join(DATA, "batch-%d" % DOCS)
first = os.path.join(batch, "v1.nsf")
generate(first, DOCS)
for v in range(2, VIEWS + 1):
    copy = os.path.join(batch, "v%d.nsf" % v)
    if not os.path.exists(copy):
        shutil.copy(first, copy)
big = os.path.join(DATA, "big-%d" % BIG, "big.nsf")
generate(big, BIG)

name = "%d views x %d docs x %d items" % (VIEWS, DOCS, ITEMS)
documents = VIEWS * DOCS
one, _, peak_one, cpu = peak_of("jobs1", [batch, "--view", "全部", "--jobs", "1"])
figure("batch: %s, --jobs 1: documents per second" % name, "%.0f" % (documents / one))
figure("batch: %s, --jobs 1: documents per processor second" % name, "%.0f" % (documents / cpu))
figure("batch: %s, --jobs 1: peak memory, MiB" % name, "%.0f" % peak_one)
two, _, peak_two, _ = peak_of("jobs2", [batch, "--view", "全部", "--jobs", "2"])
figure("batch: %s, --jobs 2: documents per second" % name, "%.0f" % (documents / two))
figure("batch: %s, --jobs 2: peak memory, MiB" % name, "%.0f" % peak_two)
figure("batch: --jobs 2 speed-up on %d cores (load %.1f)" % (os.cpu_count(), load()), "%.2f" % (one / two))

rows = [] if BIG_ROWS == 65535 else ["--sheet-rows", str(BIG_ROWS)]
seconds, workbooks, peak, cpu = peak_of("big", [big, "--view", "全部", *rows])
name = "1 view x %d docs x %d items, %d workbooks" % (BIG, ITEMS, workbooks)
figure("batch: %s: documents per second" % name, "%.0f" % (BIG / seconds))
figure("batch: %s: documents per processor second" % name, "%.0f" % (BIG / cpu))
figure("batch: %s: peak memory, MiB" % name, "%.0f" % peak)
# The same view's workbooks written by two jobs at once.
two, _, peak_two, _ = peak_of("big-jobs2", [big, "--view", "全部", *rows, "--jobs", "2"])
figure("batch: %s, --jobs 2: documents per second" % name, "%.0f" % (BIG / two))
figure("batch: %s, --jobs 2: peak memory, MiB" % name, "%.0f" % peak_two)
figure("batch: one view, --jobs 2 speed-up on %d cores (load %.1f)" % (os.cpu_count(), load()), "%.2f" % (seconds / two))

# The same view as .xls and as .xlsx, one after the other on the same database.
name = "1 view x %d docs x %d items" % (DOCS, ITEMS)
xls, _, _, _ = peak_of("xls", [first, "--view", "全部"])
xlsx, _, _, _ = peak_of("xlsx", [first, "--view", "全部", "--format", "xlsx"])
figure("batch: %s, .xls: seconds" % name, "%.2f" % xls)
figure("batch: %s, .xlsx: seconds" % name, "%.2f" % xlsx)
figure("batch: %s, .xlsx/.xls time" % name, "%.2f" % (xlsx / xls))

# One .xlsx sheet of the whole big view against one of its last tenth: the writer's memory stays flat.
tenth = BIG // 10
seconds, _, peak_tenth, _ = peak_of("xlsx-tenth", [big, "--view", "全部", "--format", "xlsx", "--from",
                                                   str(BIG - tenth + 1)])
figure("batch: 1 view, %d of %d docs in one .xlsx: peak memory, MiB" % (tenth, BIG), "%.0f" % peak_tenth)
seconds, _, peak_all, _ = peak_of("xlsx-all", [big, "--view", "全部", "--format", "xlsx"])
figure("batch: 1 view, %d docs in one .xlsx: documents per second" % BIG, "%.0f" % (BIG / seconds))
figure("batch: 1 view, %d docs in one .xlsx: peak memory, MiB" % BIG, "%.0f" % peak_all)
figure("batch: .xlsx peak memory, %d against %d docs" % (BIG, tenth), "%.2f" % (peak_all / peak_tenth))
