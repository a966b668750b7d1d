"""The fault sweep: quillmere-export with the N-th file-system call of each kind failing.

Usage: test_fault_sweep.py quillmere-export nlsxbe-admin libnlsxbe.so libquill_faultshim.so

A small export (attachments, an embedded object, a continuation workbook, the manifest, the log) runs once
cleanly, counting the calls of each kind (write, open, rename, mkdir, sync), then once for every N up to
that count and each of ENOSPC and EIO with the N-th call failing (and a write cut short, which is to be
written on, not taken for whole). Every run either reports success with
every file as the clean run wrote it, or reports the failure, and then nothing it leaves is a file that is
not whole, nothing not whole is recorded complete in the manifest, counted in the summary or logged as
saved, and the message gives the system's reason.
"""

import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

EXPORT, ADMIN, LIBRARY, SHIM = sys.argv[1:5]
WORK = tempfile.mkdtemp(prefix="quill-faults.")
ENV = dict(os.environ, HOME=WORK, XDG_CONFIG_HOME=os.path.join(WORK, "config"), LANG="C.UTF-8", TERM="dumb")
DATABASE = os.path.join(WORK, "data", "files.nsf")
REASONS = {"ENOSPC": "No space left on device", "EIO": "Input/output error"}
SAVED = re.compile(r"^(?:保存第\d+个文档第\d+个附件到:|分离第\d+个文档RichText域到:)(.*);[^;]*$")


def make_database():
    os.makedirs(os.path.dirname(DATABASE))
    subprocess.run([ADMIN, "install", "--data", os.path.dirname(DATABASE), "--library", LIBRARY], env=ENV,
                   check=True, stdout=subprocess.DEVNULL)
    docs = [
        {"items": [{"name": "Subject", "value": "一"},
                   {"name": "Body", "type": "richtext", "text": "正文",
                    "objects": [{"name": "图.png", "text": "PNG" * 500}]}],
         "attachments": [{"name": "a.txt", "text": "A" * 3000}, {"name": "b.txt", "text": "B"}]},
        {"items": [{"name": "Subject", "value": "二"}]},
        {"items": [{"name": "Subject", "value": "三"}], "attachments": [{"name": "c.txt", "text": "C" * 100}]},
    ]
    documents = os.path.join(WORK, "docs.json")
    with open(documents, "w", encoding="utf-8") as f:
        json.dump(docs, f, ensure_ascii=False)
    for args in (["create-db", DATABASE], ["add-view", DATABASE, "--name", "全部", "--column", "主题=Subject"],
                 ["add-docs", DATABASE, documents]):
        subprocess.run([ADMIN, *args], env=ENV, check=True, stdout=subprocess.DEVNULL)


def export(run, fault=None, counts=None):
    """Runs the export of a copy of the database into a folder of its own (a database another run reads is
    locked to this one); what it left behind."""
    out, state = os.path.join(run, "out"), os.path.join(run, "state")
    os.makedirs(run)
    database = os.path.join(run, "files.nsf")
    shutil.copy(DATABASE, database)
    summary = os.path.join(run, "summary.json")
    env = dict(ENV, XDG_STATE_HOME=state, LD_PRELOAD=SHIM)
    if fault:
        env["QUILL_FAULT"] = fault
    if counts:
        env["QUILL_FAULT_COUNTS"] = counts
    result = subprocess.run([EXPORT, database, "--view", "全部", "-o", out, "--sheet-rows", "2", "--json", summary],
                            env=env, capture_output=True, text=True, timeout=120)
    files = {}
    for folder, _, names in os.walk(out):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, out)] = f.read().replace(run.encode(), b"<run>")
    lines = []
    for folder, _, names in os.walk(state):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                lines += f.read().decode("gb18030", errors="replace").split("\r\n")
    # Paths below the run's own folder, and times, differ from run to run.
    try:
        with open(summary, encoding="utf-8") as f:
            views = json.loads(f.read().replace(json.dumps(run)[1:-1], "<run>"))["views"]
        for view in views:
            view.pop("seconds")
    except (OSError, ValueError):
        views = None
    return {"status": result.returncode, "said": result.stderr + result.stdout, "files": files, "views": views,
            "log": [re.sub(r";[^;]*$", ";", line.replace(run, "<run>")) for line in lines if line]}


def problems(clean, got, fault):
    """What is wrong with a run that had fault injected."""
    found = []
    if got["status"] == 0:
        # A step that failed and then succeeded when tried again leaves its line in the log.
        log = [line for line in got["log"] if "出错:" not in line]
        for key, value in (("files", got["files"]), ("views", got["views"]), ("log", log)):
            if value != clean[key]:
                found.append("reported success, but its %s differ from the clean run's" % key)
        return found
    if fault.endswith("SHORT"):
        found.append("a write cut short ended the export: " + got["said"].strip()[-300:])
    elif REASONS[fault.split(":")[2]] not in got["said"]:
        found.append("the failure is not reported with its reason: " + got["said"].strip()[-300:])
    for name, data in got["files"].items():
        if name == "quillmere-export.json":
            continue
        if os.path.basename(name).startswith(".quillmere-"):
            found.append("temporary file left: " + name)
        elif name.endswith("/index.html") and clean["files"].get(name) != data:
            # The index lists the pages written so far, fewer after a failure: whole is a whole page.
            if not (data.startswith(b"<!DOCTYPE html>") and data.endswith(b"</html>\n")):
                found.append("an index that is not whole: %s (%d bytes)" % (name, len(data)))
        elif name.endswith("/index.json") and clean["files"].get(name) != data:
            try:
                json.loads(data)
            except ValueError:
                found.append("an index list that is not whole: %s (%d bytes)" % (name, len(data)))
        elif clean["files"].get(name) != data:
            found.append("a file that is not whole: %s (%d bytes)" % (name, len(data)))
    if "quillmere-export.json" in got["files"]:
        try:
            manifest = json.loads(got["files"]["quillmere-export.json"])["workbooks"]
        except ValueError:
            found.append("the manifest cannot be read")
            manifest = []
        for entry in manifest:
            if entry["complete"] and got["files"].get(entry["file"]) != clean["files"].get(entry["file"]):
                found.append("recorded complete but not whole: " + entry["file"])
    for view in got["views"] or []:
        present = [n for n in got["files"] if n.startswith("全部附件/")]
        if view["attachments"] > len(present):
            found.append("%d attachments counted, %d there" % (view["attachments"], len(present)))
        for workbook in view["workbooks"]:
            if got["files"].get(workbook) != clean["files"].get(workbook):
                found.append("counted as written but not whole: " + workbook)
    for line in got["log"]:
        saved = SAVED.match(line)
        if saved:
            name = os.path.relpath(saved.group(1), "<run>/out")
            if got["files"].get(name) != clean["files"].get(name):
                found.append("logged as saved but not whole: " + name)
    return found


def debug(fault):
    """Runs one fault and shows what came of it."""
    make_database()
    clean = export(os.path.join(WORK, "clean"))
    got = export(os.path.join(WORK, "run"), fault=fault)
    print("status", got["status"], got["said"])
    for key in ("files", "views", "log"):
        if got[key] != clean[key]:
            print(key, "differ:", sorted(set(map(str, got[key] or [])) ^ set(map(str, clean[key] or []))))
    for name in got["files"]:
        if got["files"][name] != clean["files"].get(name):
            print("file differs:", name, got["files"][name][:300], clean["files"].get(name, b"")[:300])
    print("\n".join(problems(clean, got, fault)))


def main():
    started = time.time()
    make_database()
    counts_file = os.path.join(WORK, "counts")
    clean = export(os.path.join(WORK, "clean"), counts=counts_file)
    assert clean["status"] == 0, clean["stderr"]
    assert len([n for n in clean["files"] if n.endswith(".xls")]) == 2, clean["files"].keys()
    # Four attachments and objects; a page a document, the index and its list, which the sweep fails as well.
    assert len([n for n in clean["files"] if n.startswith("全部附件/")]) == 4 + 3 + 2, clean["files"].keys()
    with open(counts_file) as f:
        counts = {kind: int(n) for kind, n in (line.split() for line in f)}
    print("calls of a clean run:", counts)
    faults = ["%s:%d:%s" % (kind, n, code) for kind, count in counts.items() for n in range(1, count + 1)
              for code in ("ENOSPC", "EIO") + (("SHORT",) if kind == "write" else ())]

    def one(index_fault):
        index, fault = index_fault
        run = os.path.join(WORK, "run%d" % index)
        got = export(run, fault=fault)
        shutil.rmtree(run, ignore_errors=True)
        return fault, got["status"], problems(clean, got, fault)

    failures, reported = [], 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for fault, status, found in pool.map(one, enumerate(faults)):
            reported += status != 0
            failures += ["%s: %s" % (fault, p) for p in found]
    print("%d runs, %d reported a failure, %.1f s" % (len(faults), reported, time.time() - started))
    shutil.rmtree(WORK, ignore_errors=True)
    if failures:
        print("\n".join(failures))
        sys.exit(1)


if __name__ == "__main__":
    if len(sys.argv) > 5:
        debug(sys.argv[5])
    else:
        main()
