"""quillmere-export end to end.

Usage: test_cli.py quillmere-export nlsxbe-admin libnlsxbe.so sample-data-dir

Runs the command on a copy of the test run's sample installation and on databases made here, and reads
the workbooks back with xlrd.
"""

import glob
import json
import os
import pty
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import termios
import time
import unittest

import xlrd

EXPORT, ADMIN, LIBRARY, SHARED_SAMPLE = sys.argv[1:5]
del sys.argv[1:5]
WORK = tempfile.mkdtemp(prefix="quill-cli.")
# A copy: a database another test is reading at that moment counts as locked by another program.
SAMPLE = os.path.join(WORK, "sample")
ENV = dict(os.environ, HOME=WORK, XDG_CONFIG_HOME=os.path.join(WORK, "config"),
           XDG_STATE_HOME=os.path.join(WORK, "state"), LANG="C.UTF-8", TERM="dumb")
ENV.pop("QUILLMERE_PASSWORD", None)
CRM = os.path.join(SAMPLE, "crm.nsf")
ARCHIVE = os.path.join(SAMPLE, "业务", "归档", "2025归档.nsf")


def setUpModule():
    shutil.copytree(SHARED_SAMPLE, SAMPLE, symlinks=True)
    subprocess.run([ADMIN, "install", "--data", SAMPLE, "--library", LIBRARY], env=ENV, check=True,
                   stdout=subprocess.DEVNULL)


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


def export(*args, env=None, **kwargs):
    return subprocess.run([EXPORT, *args], env=env or ENV, capture_output=True, text=True, timeout=300, **kwargs)


def rows(path):
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    return [sheet.row_values(r) for r in range(sheet.nrows)]


def manifest(out):
    with open(os.path.join(out, "quillmere-export.json"), encoding="utf-8") as f:
        return {e["file"]: e for e in json.load(f)["workbooks"]}


def workbooks(out):
    return sorted(os.path.relpath(p, out) for p in glob.glob(os.path.join(out, "**", "*.xls"), recursive=True))


def generate(path, count):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([ADMIN, "generate", path, "--count", str(count)], env=ENV, check=True, stdout=subprocess.DEVNULL)


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=WORK)
        self.out = os.path.join(self.dir, "out")

    def run_ok(self, *args, status=0, **kwargs):
        result = export(*args, **kwargs)
        self.assertEqual(result.returncode, status, result.stderr + result.stdout)
        return result

    def summary(self, *args, status=0):
        path = os.path.join(self.dir, "summary.json")
        self.run_ok(*args, "--json", path, status=status)
        with open(path, encoding="utf-8") as f:
            return json.load(f)


class Continuation(Case):
    def test_names_and_rows_follow_the_start_numbers(self):
        whole = os.path.join(self.dir, "whole")
        self.run_ok(CRM, "--view", "全部", "-o", whole)
        view = self.summary(CRM, "--view", "全部", "-o", self.out, "--sheet-rows", "100")["views"][0]
        # A full sheet that the next workbook takes up is no note and no error.
        # The documents with Readers items have items their workbook's start document lacks: said, not hidden.
        notes = [n for n in view["notes"] if "个域起始文档没有" not in n]
        self.assertEqual((notes, view["errors"], view["documents"]), ([], [], 250))
        names = ["全部_开始为第1个文档.xls", "全部_开始为第101个文档.xls", "全部_开始为第201个文档.xls"]
        self.assertEqual(workbooks(self.out), sorted(names))
        parts = [rows(os.path.join(self.out, n)) for n in names]
        self.assertEqual([len(p) - 1 for p in parts], [100, 100, 50])
        # Each workbook's header comes from its own first document, as a window export from there would.
        reference = [row[0] for row in rows(os.path.join(whole, names[0]))]
        self.assertEqual(sum(([row[0] for row in p[1:]] for p in parts), []), reference[1:])
        self.assertTrue(all(p[0][0] == "文档ID" for p in parts))
        # One attachment folder for the view, as the window's exports of the parts would share it.
        self.assertEqual(sorted(os.listdir(self.out)), sorted(names + ["全部附件", "quillmere-export.json"]))

    def test_each_format_goes_on_past_its_sheet(self):
        # The same rows in every format, a sheet of 100 documents each; the manifest and the summary name
        # the format, and a workbook of another format is another workbook.
        import csv
        import openpyxl
        whole = os.path.join(self.dir, "whole")
        self.run_ok(CRM, "--view", "全部", "-o", whole)
        reference = rows(os.path.join(whole, "全部_开始为第1个文档.xls"))
        for fmt in ("xlsx", "csv"):
            with self.subTest(format=fmt):
                view = self.summary(CRM, "--view", "全部", "-o", self.out, "--format", fmt,
                                    "--sheet-rows", "100")["views"][0]
                self.assertEqual((view["format"], view["documents"], view["errors"]), (fmt, 250, []))
                names = ["全部_开始为第%d个文档.%s" % (n, fmt) for n in (1, 101, 201)]
                self.assertEqual(view["workbooks"], names)
                self.assertEqual({e["format"] for e in manifest(self.out).values() if e["file"] in names}, {fmt})
                ids = []
                for name in names:
                    path = os.path.join(self.out, name)
                    if fmt == "xlsx":
                        sheet = openpyxl.load_workbook(path, read_only=True).worksheets[0]
                        part = [["" if v is None else v for v in r] for r in sheet.iter_rows(values_only=True)]
                    else:
                        with open(path, encoding="utf-8-sig", newline="") as f:
                            part = list(csv.reader(f))
                    self.assertEqual(part[0][0], "文档ID")
                    ids += [r[0] for r in part[1:]]
                self.assertEqual(ids, [r[0] for r in reference[1:]])
        # An .xls the manifest recorded before formats were named is kept as an .xls.
        path = os.path.join(whole, "quillmere-export.json")
        with open(path, encoding="utf-8") as f:
            old = json.load(f)
        for entry in old["workbooks"]:
            del entry["format"]
        with open(path, "w", encoding="utf-8") as f:
            json.dump(old, f)
        view = self.summary(CRM, "--view", "全部", "-o", whole)["views"][0]
        self.assertEqual((view["workbooks"], view["keptWorkbooks"]), ([], ["全部_开始为第1个文档.xls"]))
    def test_pages_and_their_index_span_the_workbooks_of_a_view(self):
        view = self.summary(CRM, "--view", "全部", "-o", self.out, "--sheet-rows", "100")["views"][0]
        folder = os.path.join(self.out, "全部附件")
        pages = glob.glob(os.path.join(folder, "*", "文档.html"))
        self.assertEqual(len(pages), 250)
        self.assertGreaterEqual(view["pages"], 251)  # with the index, and any pictures beside the pages
        with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
            index = f.read()
        self.assertEqual(index.count("/%E6%96%87%E6%A1%A3.html"), 250)  # the index of the last workbook lists all three
        bare = os.path.join(self.dir, "bare")
        result = self.run_ok(CRM, "--view", "全部", "-o", bare, "--no-html")
        self.assertEqual(glob.glob(os.path.join(bare, "**", "*.html"), recursive=True), [])
        self.assertNotIn("网页", result.stdout)

    def test_no_continue_stops_at_the_first_sheet(self):
        result = self.run_ok(CRM, "--view", "全部", "-o", self.out, "--sheet-rows", "100", "--no-continue")
        self.assertEqual(workbooks(self.out), ["全部_开始为第1个文档.xls"])
        note = "工作表最多只能容纳100个文档，本次导出了第1到第100个文档；其余的文档请从第101个文档开始再导出一次。"
        self.assertIn("\n    " + note + "\n", result.stdout)

    def test_from_names_the_first_workbook(self):
        self.run_ok(CRM, "--view", "全部", "-o", self.out, "--from", "240")
        self.assertEqual(len(rows(os.path.join(self.out, "全部_开始为第240个文档.xls"))), 12)


class Resume(Case):
    def start_and_stop(self, database, sig, *extra):
        """Starts an export of many small workbooks and signals it once the first is complete."""
        args = [EXPORT, database, "--view", "全部", "-o", self.out, "--sheet-rows", "50", *extra]
        process = subprocess.Popen(args, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        path = os.path.join(self.out, "quillmere-export.json")
        deadline = time.time() + 120
        while time.time() < deadline and process.poll() is None:
            try:
                if any(e["complete"] for e in manifest(self.out).values()):
                    break
            except (OSError, ValueError):
                pass
            time.sleep(0.01)
        self.assertIsNone(process.poll(), "the export ended before it could be stopped")
        process.send_signal(sig)
        out, err = process.communicate(timeout=120)
        self.assertTrue(os.path.exists(path))
        return process.returncode, out, err

    def check_whole(self, unrecorded_at_most=1):
        """Every workbook on disk reads back whole; all but the ones saved as the run stopped are recorded
        complete. Returns the documents of the complete ones."""
        done = manifest(self.out)
        unrecorded = 0
        for name in workbooks(self.out):
            found = len(rows(os.path.join(self.out, name))) - 1
            if done[name]["complete"]:
                self.assertEqual(found, done[name]["documents"], name)
            else:
                unrecorded += 1
                self.assertEqual(found, 50, name)
        self.assertLessEqual(unrecorded, unrecorded_at_most)
        return sum(e["documents"] for e in done.values() if e["complete"])

    def test_killed_run_resumes_where_it_stopped(self):
        database = os.path.join(self.dir, "gen", "gen.nsf")
        generate(database, 2000)
        self.start_and_stop(database, signal.SIGKILL)
        self.assertLess(self.check_whole(), 2000)
        before = [name for name, entry in manifest(self.out).items() if entry["complete"]]
        self.assertGreater(len(before), 0)

        summary = self.summary(database, "--view", "全部", "-o", self.out, "--sheet-rows", "50")
        view = summary["views"][0]
        self.assertTrue(set(before) <= set(view["keptWorkbooks"]), (before, view["keptWorkbooks"]))
        self.assertEqual(view["keptDocuments"] + view["documents"], 2000)
        self.assertEqual(len(workbooks(self.out)), 40)
        self.assertEqual(self.check_whole(), 2000)

    def test_killed_run_of_two_jobs_on_one_view_resumes(self):
        """Two jobs write one view's workbooks at once; killed and run again, they give what one job gives."""
        database = os.path.join(self.dir, "gen", "gen.nsf")
        generate(database, 2000)
        reference = os.path.join(self.dir, "reference")
        self.run_ok(database, "--view", "全部", "-o", reference, "--sheet-rows", "50")
        self.start_and_stop(database, signal.SIGKILL, "--jobs", "2")
        # What another job wrote is recorded complete once the view's own job has checked it.
        self.assertLess(self.check_whole(unrecorded_at_most=3), 2000)
        view = self.summary(database, "--view", "全部", "-o", self.out, "--sheet-rows", "50", "--jobs", "2")["views"][0]
        self.assertEqual(view["keptDocuments"] + view["documents"], 2000)
        self.assertEqual(self.check_whole(unrecorded_at_most=0), 2000)
        self.assertEqual(workbooks(self.out), workbooks(reference))
        for name in workbooks(reference):
            self.assertEqual(rows(os.path.join(self.out, name)), rows(os.path.join(reference, name)), name)

    def test_ctrl_c_leaves_no_half_workbook(self):
        database = os.path.join(self.dir, "gen", "gen.nsf")
        generate(database, 2000)
        status, out, err = self.start_and_stop(database, signal.SIGINT)
        self.assertEqual(status, 130, err)
        self.assertIn("已中断", err)
        self.assertLess(self.check_whole(), 2000)

    def test_same_command_again_keeps_everything(self):
        self.run_ok(ARCHIVE, "--view", "归档文档", "-o", self.out)
        view = self.summary(ARCHIVE, "--view", "归档文档", "-o", self.out)["views"][0]
        self.assertEqual((view["documents"], view["keptDocuments"], view["workbooks"]), (0, 100, []))

    def test_a_view_that_changed_is_exported_again(self):
        database = os.path.join(self.dir, "archive.nsf")
        shutil.copy(ARCHIVE, database)
        self.run_ok(database, "--view", "归档文档", "-o", self.out, "--sheet-rows", "60")
        docs = os.path.join(self.dir, "docs.json")
        with open(docs, "w", encoding="utf-8") as f:
            json.dump([{"items": [{"name": "Subject", "value": "新文档"}]}], f, ensure_ascii=False)
        subprocess.run([ADMIN, "add-docs", database, docs], env=ENV, check=True, stdout=subprocess.DEVNULL)
        view = self.summary(database, "--view", "归档文档", "-o", self.out, "--sheet-rows", "60")["views"][0]
        self.assertEqual((view["keptWorkbooks"], view["documents"]), ([], 101))
        self.assertEqual(len(rows(os.path.join(self.out, "归档文档_开始为第61个文档.xls"))), 42)

    def test_files_not_ours_or_changed_are_left_alone(self):
        self.run_ok(ARCHIVE, "--view", "归档文档", "-o", self.out)
        ours = os.path.join(self.out, "归档文档_开始为第1个文档.xls")
        with open(ours, "ab") as f:
            f.write(b"edited")
        foreign = os.path.join(self.out, "其它_开始为第1个文档.xls")
        with open(foreign, "wb") as f:
            f.write(b"mine")
        summary = self.summary(ARCHIVE, "--view", "归档文档", "--view", "其它", "-o", self.out, status=1)
        self.assertIn("被改动过", summary["views"][0]["errors"][0])
        with open(ours, "rb") as f:
            self.assertTrue(f.read().endswith(b"edited"))
        self.assertEqual(summary["views"][1]["status"], "failed")
        with open(foreign, "rb") as f:
            self.assertEqual(f.read(), b"mine")


class Writer(Case):
    def test_a_writer_at_work_moves_no_document(self):
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                self.writer_at_work(jobs)

    def writer_at_work(self, jobs):
        """nlsxbe-admin adds documents that sort between the others, again and again while the view is exported
        into many workbooks (by one job, or by two at once): every write gets in, and the workbooks hold the view
        of one moment, each document once and in its order."""
        database = os.path.join(self.dir, "busy" + jobs, "busy.nsf")
        self.out = os.path.join(self.dir, "out" + jobs)
        generate(database, 6000)
        docs = os.path.join(self.dir, "docs.json")
        with open(docs, "w", encoding="utf-8") as f:
            json.dump([{"items": [{"name": "Number", "value": n + 0.5}]} for n in range(0, 6000, 300)], f)
        args = [EXPORT, database, "--view", "全部", "-o", self.out, "--sheet-rows", "500", "--jobs", jobs]
        process = subprocess.Popen(args, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # Once the database is open: the export refuses a file that another program holds as it opens it.
        while process.poll() is None and not os.path.exists(os.path.join(self.out, "quillmere-export.json")):
            time.sleep(0.01)
        writes = []  # (exit status, message, whether the export was still running when it ended)
        while process.poll() is None:
            write = subprocess.run([ADMIN, "add-docs", database, docs], env=ENV, capture_output=True, text=True)
            writes.append((write.returncode, write.stderr, process.poll() is None))
        out, err = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 0, err + out)
        self.assertEqual([w for w in writes if w[0]], [])
        self.assertGreaterEqual(sum(w[2] for w in writes), 2, "too few writes while the export ran")

        names = sorted(workbooks(self.out), key=lambda name: int(name.split("第")[1].split("个")[0]))
        ids, numbers = [], []
        for name in names:
            sheet = rows(os.path.join(self.out, name))
            column = sheet[0].index("Number")
            ids += [row[0] for row in sheet[1:]]
            numbers += [row[column] for row in sheet[1:]]
        self.assertEqual(len(ids), len(set(ids)))
        self.assertEqual(numbers, sorted(numbers, key=float))
        self.assertTrue({str(n) for n in range(1, 6001)} <= set(numbers))
        self.assertEqual(len(ids), next(iter(manifest(self.out).values()))["viewDocuments"])


def query(database, sql, *args):
    with sqlite3.connect(database) as db:
        return db.execute(sql, args).fetchall()


class Faults(Case):
    def test_links_below_the_output_folder_are_never_followed(self):
        unid, attachment = query(ARCHIVE, "SELECT unid, name FROM documents JOIN attachments ON doc_id = id")[0]
        cases = [("归档文档附件", True), ("归档文档附件/" + unid, True), ("归档文档附件/%s/%s" % (unid, attachment), False),
                 ("归档文档_开始为第1个文档.xls", False), ("quillmere-export.json", False), ("crm", True),
                 ("summary.json", False)]
        for planted, folder in cases:
            with self.subTest(planted=planted):
                out, elsewhere = os.path.join(self.dir, planted, "out"), os.path.join(self.dir, planted, "elsewhere")
                os.makedirs(os.path.dirname(os.path.join(out, planted)))
                os.makedirs(elsewhere)
                with open(os.path.join(elsewhere, "victim"), "w") as f:
                    f.write("precious")
                os.symlink(elsewhere if folder else os.path.join(elsewhere, "victim"), os.path.join(out, planted))
                sources = [CRM, ARCHIVE, "--view", "全部"] if planted == "crm" else [ARCHIVE, "--view", "归档文档"]
                if planted == "summary.json":
                    sources += ["--json", os.path.join(out, planted)]
                result = export(*sources, "-o", out)
                self.assertIn(result.returncode, (1, 2), result.stdout)
                self.assertIn(os.path.join(out, planted) + "是符号链接", result.stderr + result.stdout)
                self.assertEqual(os.listdir(elsewhere), ["victim"])
                with open(os.path.join(elsewhere, "victim")) as f:
                    self.assertEqual(f.read(), "precious")

    def test_a_damaged_view_index_fails_the_view_and_leaves_no_partial_workbook(self):
        # The index claims 100 entries. Whether it ends at a sheet's end or inside a sheet, the view is refused as
        # its export takes the view's entries, before any workbook is begun: none is written, none is recorded.
        for entries in (60, 30):
            with self.subTest(entries=entries):
                database = os.path.join(self.dir, "damaged%d.nsf" % entries)
                shutil.copy(ARCHIVE, database)
                with sqlite3.connect(database) as db:
                    db.execute("DELETE FROM view_entries WHERE position > ? AND view_id = "
                               "(SELECT id FROM views WHERE name = '归档文档')", (entries,))
                out = os.path.join(self.dir, "out%d" % entries)
                result = export(database, "--view", "归档文档", "-o", out, "--sheet-rows", "60")
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn("索引已损坏", result.stderr)
                self.assertEqual(workbooks(out), [])
                self.assertFalse(os.path.exists(os.path.join(out, "quillmere-export.json")))


class Results(Case):
    def test_json_summary_and_exit_status(self):
        broken = os.path.join(self.dir, "broken.nsf")
        with open(broken, "w") as f:
            f.write("not a database")
        summary = self.summary(CRM, broken, ARCHIVE, "--view", "全部", "--view", "归档文档", "-o", self.out,
                               status=1)
        self.assertEqual(summary["exitStatus"], 1)
        views = {(v["database"], v["view"]): v for v in summary["views"]}
        self.assertEqual(len(views), 6)
        self.assertIn("不是Domino数据库文件", views[(broken, "全部")]["errors"][0])
        crm = views[(CRM, "全部")]
        self.assertEqual((crm["status"], crm["documents"], crm["workbooks"]),
                         ("exported", 250, ["crm/全部_开始为第1个文档.xls"]))
        self.assertEqual(crm["attachments"], 5)  # two attachments, three objects of a rich-text item
        self.assertEqual(crm["unreadValues"], 0)
        self.assertGreaterEqual(crm["seconds"], 0)
        self.assertEqual(views[(ARCHIVE, "归档文档")]["attachments"], 11)  # every tenth document, and the mail's attachment
        missing = views[(CRM, "归档文档")]
        self.assertEqual(missing["status"], "failed")
        self.assertIn("找不到视图", missing["errors"][0])
        self.assertEqual(export(ARCHIVE, "--view", "归档文档", "-o", self.out).returncode, 0)

    def test_empty_view_is_not_a_failure(self):
        view = self.summary(CRM, "--view", "空视图", "-o", self.out)["views"][0]
        self.assertEqual((view["status"], view["workbooks"]), ("nothingToExport", []))

    def test_parallel_jobs_give_the_same_workbooks_and_whole_log_lines(self):
        one, two = os.path.join(self.dir, "one"), os.path.join(self.dir, "two")
        views = ["--view", "全部", "--view", "按城市", "--view", "所有文档"]
        self.run_ok(CRM, *views, "-o", one)
        state = os.path.join(self.dir, "state")
        self.run_ok(CRM, *views, "-o", two, "--jobs", "2", env=dict(ENV, XDG_STATE_HOME=state))
        self.assertEqual(workbooks(one), workbooks(two))
        for name in workbooks(one):
            self.assertEqual(rows(os.path.join(one, name)), rows(os.path.join(two, name)), name)
        lines = []
        for log in glob.glob(os.path.join(state, "quillmere", "log*.txt")):
            with open(log, "rb") as f:
                lines += f.read().decode("gb18030").split("\r\n")
        lines = [l for l in lines if l]
        known = ("开始导出视图", "完成向excel写入第", "判断第", "获取第", "保存第", "调用图片导出程序保存到:",
                 "结束图片导出程序保存到:", "开始分离第", "分离第", "  s=s+", " s值写入excel表 ;",
                 "第", "保存网页索引到:")  # items the .xls leaves out, texts saved whole
        broken = [l for l in lines if not l.startswith(known) or "\r" in l]
        self.assertEqual(broken, [])
        self.assertEqual(sum(l.startswith("开始导出视图") for l in lines), 3)


class OneViewSeveralJobs(Case):
    def test_two_jobs_write_the_workbooks_of_one_view_at_once(self):
        database = os.path.join(self.dir, "gen", "gen.nsf")
        generate(database, 2000)
        one, two = os.path.join(self.dir, "one"), os.path.join(self.dir, "two")
        # Without pages: a view's pages share one index, so with them one job writes all its workbooks.
        self.run_ok(database, "--view", "全部", "-o", one, "--sheet-rows", "700", "--no-html")
        state = os.path.join(self.dir, "state")
        path = os.path.join(self.dir, "summary.json")
        self.run_ok(database, "--view", "全部", "-o", two, "--sheet-rows", "700", "--no-html", "--jobs", "2", "--json", path,
                    env=dict(ENV, XDG_STATE_HOME=state))
        with open(path, encoding="utf-8") as f:
            view = json.load(f)["views"][0]
        names = ["全部_开始为第1个文档.xls", "全部_开始为第701个文档.xls", "全部_开始为第1401个文档.xls"]
        self.assertEqual((view["workbooks"], view["documents"], view["errors"]), (names, 2000, []))
        self.assertEqual(workbooks(two), workbooks(one))
        for name in names:
            self.assertEqual(rows(os.path.join(two, name)), rows(os.path.join(one, name)), name)
        self.assertTrue(all(e["complete"] for e in manifest(two).values()))
        # The second workbook was begun while the first was being written.
        lines = []
        for log in glob.glob(os.path.join(state, "quillmere", "log*.txt")):
            with open(log, "rb") as f:
                lines += f.read().decode("gb18030").split("\r\n")
        begun = [i for i, l in enumerate(lines) if l.startswith("开始导出视图") and "第701个文档" in l]
        first_done = [i for i, l in enumerate(lines) if l.startswith("完成向excel写入第700个文档;")]
        self.assertEqual(len(begun), 1)
        self.assertLess(begun[0], first_done[0])


class LongNames(Case):
    def test_long_view_names_keep_their_workbooks_within_a_file_name(self):
        """A view name of 100 Chinese characters: its workbooks' names are cut on a character, their tails
        whole, and two such views that would meet are told apart or refused."""
        database = os.path.join(self.dir, "long.nsf")
        subprocess.run([ADMIN, "create-db", database], env=ENV, check=True, stdout=subprocess.DEVNULL)
        docs = os.path.join(self.dir, "docs.json")
        with open(docs, "w", encoding="utf-8") as f:
            json.dump([{"items": [{"name": "Subject", "value": "文档%d" % n}]} for n in range(5)], f,
                      ensure_ascii=False)
        subprocess.run([ADMIN, "add-docs", database, docs], env=ENV, check=True, stdout=subprocess.DEVNULL)
        long_name = "很长的视图名" * 17  # 102 characters, 306 bytes
        for name in (long_name, long_name[:-1] + "甲"):
            subprocess.run([ADMIN, "add-view", database, "--name", name, "--column", "主题=Subject"], env=ENV,
                           check=True, stdout=subprocess.DEVNULL)
        summary = self.summary(database, "--all-views", "-o", self.out, "--sheet-rows", "3", status=1)
        first, second = summary["views"]
        self.assertEqual((first["status"], first["documents"], first["errors"]), ("exported", 5, []))
        for name in first["workbooks"]:
            self.assertLessEqual(len(name.encode("utf-8")), 255)
        self.assertEqual([n[-len("_开始为第1个文档.xls"):] for n in first["workbooks"]],
                         ["_开始为第1个文档.xls", "_开始为第4个文档.xls"])
        self.assertTrue(long_name.startswith(first["workbooks"][1].split("_开始为第")[0]))
        self.assertEqual([len(rows(os.path.join(self.out, n))) for n in first["workbooks"]], [4, 3])
        self.assertIn("同名，没有导出", second["errors"][0])


class Sources(Case):
    def test_folder_scan_names_database_folders_and_survives_a_link_loop(self):
        data = os.path.join(self.dir, "data")
        os.makedirs(os.path.join(data, "sub"))
        os.makedirs(os.path.join(data, ".hidden"))
        for path in ("a.nsf", "sub/b.NSF", ".hidden/c.nsf"):
            shutil.copy(ARCHIVE, os.path.join(data, path))
        os.symlink(data, os.path.join(data, "sub", "loop"))
        self.run_ok(data, "--view", "归档文档", "-o", self.out)
        self.assertEqual(workbooks(self.out), ["a/归档文档_开始为第1个文档.xls", "sub/b/归档文档_开始为第1个文档.xls"])

    def test_server_databases_and_their_access(self):
        env = dict(ENV, QUILLMERE_PASSWORD="quill123")
        summary = self.summary("--server", "QUILLSERVER", "--user", "演示用户", "业务\\归档", "crm.nsf",
                               "--view", "归档文档", "-o", self.out, status=1)
        self.assertIn("业务/归档/2025归档/归档文档_开始为第1个文档.xls", workbooks(self.out))
        guest = export("--server", "QUILLSERVER", "--user", "访客", "限制", "--all-views", "-o", self.out,
                       "--password-fd", "0", input="guest123\n")
        self.assertEqual(guest.returncode, 1, guest.stderr)
        self.assertIn("QUILLSERVER!!限制\\机密.nsf", guest.stderr)
        self.assertIn("无权访问", guest.stderr)

    def test_a_guest_gets_only_the_documents_readers_items_let_them_read(self):
        # The second to fourth customers of crm.nsf are for 演示用户 (by name, role and group) only.
        everyone = os.path.join(self.dir, "local")
        self.run_ok(CRM, "--view", "全部", "-o", everyone)
        self.run_ok("--server", "QUILLSERVER", "--user", "访客", "crm.nsf", "--view", "全部", "-o", self.out,
                    "--password-fd", "0", input="guest123\n")
        book = "全部_开始为第1个文档.xls"
        local = [row[0] for row in rows(os.path.join(everyone, book))[1:]]
        self.assertEqual([row[0] for row in rows(os.path.join(self.out, book))[1:]], local[:1] + local[4:])

    def test_password_is_asked_on_the_terminal_without_echo(self):
        pid, terminal = pty.fork()
        if pid == 0:
            os.execve(EXPORT, [EXPORT, "--server", "QUILLSERVER", "--user", "演示用户", "crm.nsf", "--view", "全部",
                               "-o", self.out], ENV)
        seen = b""
        while "的密码：".encode() not in seen:
            seen += os.read(terminal, 1024)
        self.assertFalse(termios.tcgetattr(terminal)[3] & termios.ECHO)
        os.write(terminal, b"quill123\n")
        try:
            while True:
                seen += os.read(terminal, 1024)
        except OSError:
            pass
        _, status = os.waitpid(pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0, seen.decode())
        self.assertNotIn(b"quill123", seen)
        self.assertEqual(workbooks(self.out), ["全部_开始为第1个文档.xls"])

    def summary(self, *args, status=0):
        path = os.path.join(self.dir, "summary.json")
        result = export(*args, "--json", path, env=dict(ENV, QUILLMERE_PASSWORD="quill123"))
        self.assertEqual(result.returncode, status, result.stderr)
        with open(path, encoding="utf-8") as f:
            return json.load(f)


class Search(Case):
    def whole(self, view):
        out = os.path.join(self.dir, "whole")
        self.run_ok(CRM, "--view", view, "-o", out)
        table = rows(os.path.join(out, view + "_开始为第1个文档.xls"))
        return table[0], table[1:]

    def test_the_documents_found_of_each_view_in_view_order(self):
        header, everything = self.whole("全部")
        city, name = header.index("城市"), header.index("客户名称")
        expected = [r[0] for r in everything if "有限公司" in r[name] and "北京" not in r[city]]
        self.assertEqual(len(expected), 200)
        # No view named: the database's first view, as the window searches a database.
        view = self.summary(CRM, "--search", "有限公司 NOT 北京", "-o", self.out, "--sheet-rows", "150")["views"][0]
        self.assertEqual((view["view"], view["documents"], view["errors"]), ("全部", 200, []))
        names = ["全部_开始为第1个文档.xls", "全部_开始为第151个文档.xls"]
        self.assertEqual(workbooks(self.out), sorted(names))
        self.assertEqual(sum(([r[0] for r in rows(os.path.join(self.out, n))[1:]] for n in names), []), expected)
        self.assertEqual({e["search"] for e in manifest(self.out).values()}, {"有限公司 NOT 北京"})
        # The same command again keeps them; the whole view into the same folder is another request.
        again = self.summary(CRM, "--search", "有限公司 NOT 北京", "-o", self.out, "--sheet-rows", "150")
        self.assertEqual(again["views"][0]["keptWorkbooks"], names)
        self.run_ok(CRM, "--view", "全部", "-o", self.out, "--sheet-rows", "150")
        self.assertEqual(len(rows(os.path.join(self.out, names[1]))) - 1, 100)
        self.assertNotIn("search", manifest(self.out)[names[0]])

    def test_named_views_and_nothing_found(self):
        header, everything = self.whole("按城市")
        contacts = [r[0] for r in everything]
        self.run_ok(CRM, "--view", "按城市", "--view", "空视图", "--search", "[联系人] CONTAINS 张三", "-o", self.out)
        found = [r[0] for r in rows(os.path.join(self.out, "按城市_开始为第1个文档.xls"))[1:]]
        self.assertEqual(len(found), 83)
        self.assertEqual(found, [i for i in contacts if i in found])  # in the view's order
        result = self.run_ok(CRM, "--view", "全部", "--search", "\"'; DROP TABLE documents;--\"", "-o", self.dir)
        self.assertIn("视图“全部”：没有可导出的文档", result.stdout)

    def test_a_guest_finds_only_what_readers_items_let_them_read(self):
        summary = self.summary_as("访客", "guest123", "crm.nsf", "--search", "有限公司", "-o", self.out)
        self.assertEqual(summary["views"][0]["documents"], 247)

    def summary_as(self, user, password, *args):
        path = os.path.join(self.dir, "summary.json")
        result = export("--server", "QUILLSERVER", "--user", user, *args, "--json", path,
                        env=dict(ENV, QUILLMERE_PASSWORD=password))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(path, encoding="utf-8") as f:
            return json.load(f)


class BadInput(Case):
    def test_usage_errors_exit_2_and_say_why(self):
        file = os.path.join(self.dir, "file")
        open(file, "w").close()
        cases = [
            ([CRM, "--view", "全部"], "--output"),
            (["--view", "全部", "-o", self.out], "缺少要导出的数据库"),
            ([CRM, "-o", self.out], "--all-views"),
            ([CRM, "--view", "全部", "--all-views", "-o", self.out], "只能用一个"),
            ([CRM, "--view", "全部", "-o", self.out, "--from", "0"], "--from"),
            ([CRM, "--view", "全部", "-o", self.out, "--jobs", "x"], "--jobs"),
            ([CRM, "--view", "全部", "-o", self.out, "--format", "ods"], "--format 应为xls|xlsx|csv之一：ods"),
            ([CRM, "--view", "全部", "-o", self.out, "--bogus"], "无法识别的选项：bogus"),
            ([CRM, "--view", "全部", "-o", self.out, "-pquill123"], "无法识别的选项：p…"),
            ([CRM, "--view", "全部", "-o", self.out, "-Pquill123"], "无法识别的选项：P…"),
            ([CRM, "--view", "全部", "-o", self.out, "--pwd=quill123"], "密码不能写在命令行上"),
            ([CRM, "--view", "全部", "-o"], "缺少参数值"),
            ([os.path.join(self.dir, "none.nsf"), "--view", "全部", "-o", self.out], "找不到"),
            ([self.dir + "/empty", "--view", "全部", "-o", self.out], "没有找到数据库"),
            ([CRM, "--view", "全部", "-o", os.path.join(file, "out")], "无法创建输出文件夹"),
            ([CRM, "--view", "全部", "-o", "/dev/full"], "不是文件夹"),
            ([CRM, "--view", "全部", "-o", self.out, "--json", os.path.join(file, "s.json")], "无法写入结果文件"),
            (["--server", "QUILLSERVER", "--user", "演示用户", "crm.nsf", "--view", "全部", "-o", self.out,
              "--password", "quill123"], "密码不能写在命令行上"),
            (["--server", "QUILLSERVER", "--user", "演示用户", "crm.nsf", "--view", "全部", "-o", self.out,
              "--password=quill123"], "密码不能写在命令行上"),
            (["--server", "QUILLSERVER", "--user", "演示用户", "crm.nsf", "--view", "全部", "-o", self.out],
             "没有密码"),
            (["--server", "QUILLSERVER", "--user", " ", "crm.nsf", "--view", "全部", "-o", self.out],
             "登录用名不能为空"),
            (["--server", "QUILLSERVER", "--user", "演示用户", "..", "--view", "全部", "-o", self.out],
             "不能离开"),
            ([CRM, "--search", "合同 NEAR(北京", "-o", self.out], "--search 搜索条件有误"),
            ([CRM, "--search", "合同*", "-o", self.out], "--search 搜索条件有误"),
            ([CRM, "--search", " ", "-o", self.out], "搜索条件不能为空"),
            ([CRM, "--search", "合同", "--view", "全部", "--all-views", "-o", self.out], "只能用一个"),
        ]
        os.makedirs(self.dir + "/empty")
        for args, message in cases:
            with self.subTest(args=args):
                env = ENV if message == "没有密码" else dict(ENV, QUILLMERE_PASSWORD="quill123")
                result = export(*args, stdin=subprocess.DEVNULL, env=env)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertNotIn("quill123", result.stderr)
        self.assertFalse(os.path.exists(self.out))

    def test_failed_login_exits_2(self):
        result = export("--server", "QUILLSERVER", "--user", "演示用户", "crm.nsf", "--view", "全部", "-o",
                        self.out, env=dict(ENV, QUILLMERE_PASSWORD="wrong"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("连接服务器失败!", result.stderr)

    def test_a_full_disk_fails_the_views_and_keeps_what_was_written(self):
        self.run_ok(CRM, ARCHIVE, "--view", "全部", "-o", self.out, status=1)
        kept = os.path.join(self.out, "crm", "全部_开始为第1个文档.xls")
        with open(kept, "rb") as f:
            before = f.read()
        state = os.path.join(self.dir, "state")
        os.makedirs(os.path.join(state, "quillmere"))
        for day in range(-1, 2):
            name = time.strftime("log%Y%m%d.txt", time.localtime(time.time() + day * 86400))
            os.symlink("/dev/full", os.path.join(state, "quillmere", name))
        env = dict(ENV, XDG_STATE_HOME=state)
        result = export(CRM, ARCHIVE, "--view", "全部", "--view", "归档文档", "-o", self.out, env=env)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("数据库" + ARCHIVE + " 视图“归档文档”：无法写入日志文件", result.stderr)
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertTrue(manifest(self.out)["crm/全部_开始为第1个文档.xls"]["complete"])

    def test_lost_attachments_fail_the_view_and_are_tried_again(self):
        os.makedirs(self.out)
        blocker = os.path.join(self.out, "全部附件")
        open(blocker, "w").close()
        args = [CRM, "--view", "全部", "--view", "按城市", "-o", self.out]
        summary = self.summary(*args, status=1)
        lost, other = summary["views"]
        self.assertEqual((lost["status"], lost["workbooks"]), ("exported", ["全部_开始为第1个文档.xls"]))
        self.assertIn("附件未能保存", lost["errors"][0])
        self.assertEqual((other["errors"], other["attachments"]), ([], 2))
        os.remove(blocker)
        again = self.summary(*args)["views"]
        self.assertEqual((again[0]["workbooks"], again[0]["attachments"]), (["全部_开始为第1个文档.xls"], 5))
        self.assertEqual(again[1]["keptWorkbooks"], ["按城市_开始为第1个文档.xls"])

    def test_damaged_values_fail_the_view_and_are_read_again(self):
        damaged = os.path.join(self.dir, "damaged.nsf")
        shutil.copy(CRM, damaged)
        with sqlite3.connect(damaged) as db:
            db.execute("UPDATE items SET value = 'garbage' WHERE name = '城市' AND doc_id IN "
                       "(SELECT doc_id FROM items WHERE name = '城市' ORDER BY doc_id LIMIT 2)")
        db.close()
        args = [damaged, "--view", "全部", "-o", self.out]
        for run in range(2):
            view = self.summary(*args, status=1)["views"][0]
            self.assertEqual((view["status"], view["unreadValues"], view["documents"]), ("exported", 2, 250))
            self.assertIn("数据导出完成，但是2个域的值未能读取，单元格留空", view["errors"][0])
            # Not kept as complete: the next run reads the values again, and says so again.
            self.assertEqual(view["workbooks"], ["全部_开始为第1个文档.xls"])
        self.assertFalse(manifest(self.out)["全部_开始为第1个文档.xls"]["complete"])
        lines = []
        for log in glob.glob(os.path.join(WORK, "state", "quillmere", "log*.txt")):
            with open(log, encoding="gb18030") as f:
                lines += [l for l in f if "域出错:" in l and "城市" in l]
        self.assertGreaterEqual(len(lines), 4)
        self.assertIn("存储的值无效：不是JSON数组（garbage）", lines[-1])

    def test_a_folder_that_cannot_be_made_fails_only_its_database(self):
        os.makedirs(self.out)
        open(os.path.join(self.out, "crm"), "w").close()
        result = export(CRM, ARCHIVE, "--view", "全部", "--view", "归档文档", "-o", self.out)
        self.assertEqual(result.returncode, 1)
        self.assertIn("数据库" + CRM + " 视图“全部”：无法创建文件夹", result.stderr)
        self.assertEqual(workbooks(self.out), ["2025归档/归档文档_开始为第1个文档.xls"])

    def test_help_is_chinese(self):
        result = self.run_ok("--help")
        self.assertIn("用法：quillmere-export", result.stdout)
        self.assertIn("--password-fd", result.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
