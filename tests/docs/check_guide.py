#!/usr/bin/env python3
"""Checks the user guide (docs/用户手册.md) against the tree it describes. Usage: ROOT, or ROOT --page PAGE
to check only the guide's rendered page as installed (its pictures and links, its anchors).

1. Every picture and link in the guide resolves: a relative path names a file of the repository, an anchor
   names a heading of the page it points into. Links to the web are not followed (the guide is read
   offline), file: links and absolute paths are refused.
2. Every message text the program defines appears in the guide's message table (the section headed
   "提示信息一览"), so the table cannot fall behind.

What counts as a message text, found mechanically in src/ (the window program, quillmere-export and the
layers they are made of; not component/, which stands in for the vendor's Domino library and its admin
tool):
  - a string literal holding at least one Chinese ideograph,
  - in a statement that throws, constructs an error (any type named ...Error), calls a prompts method
    (showMessage, showError, askOkCancel, inputBox), hands a text to a reporting helper (complain,
    refuse, fail, writeFailed), adds it to a list of notes or problems (notes <<, problems <<,
    problem =) or pairs it with no result ({std::nullopt, text}),
  - or anywhere in a function whose name ends in Error, Message or sentence (the functions that word an
    error for their callers), or in a file whose whole job is wording results (WORDING_FILES).
Literals are split at line breaks and at %1-style placeholders; what a literal is joined with at run time
(names, numbers, reasons) is not part of it, so the table may show it as "…" or N. Each piece holding an
ideograph must appear verbatim in the table. A new message written in any of these ways is caught.
"""
import html.parser
import pathlib
import re
import sys

GUIDE = pathlib.Path("docs/用户手册.md")
TABLE_HEADING = "提示信息一览"

# Pictures that other work adds under these names; allowed to be missing until they are in the tree.
# Empty this set once they are there, so that a picture that goes missing again is caught.
EXPECTED_LATER: set[str] = set()

WORDING_FILES = {
    "src/export/runmessages.h",
    "src/export/runmessages.cpp",
    "src/cli/viewreport.cpp",
    "src/shell/registrationreport.cpp",
    "src/domino/installation.h",
}

IDEOGRAPH = re.compile(r"[\u3400-\u9fff]")
TRIGGER = re.compile(
    r"\bthrow\b|\b\w*Error\s*[({]"
    r"|\b(showMessage|showError|askOkCancel|inputBox|complain|refuse|fail|writeFailed)\s*\("
    r"|\b(notes|problems)\s*<<|\bproblem\s*=|^\s*std::nullopt\s*,"
)
MESSAGE_FUNCTION = re.compile(r"(Error|Message|sentence)$")
FUNCTION_HEADER = re.compile(r"(\w+)\s*\([^;]*\)\s*(const\s*)?(noexcept\s*)?(override\s*)?$")
NOT_FUNCTIONS = {"if", "for", "while", "switch", "catch", "return"}


def tokens(text):
    """The source as ('str', literal body) and ('code', character) tokens, comments dropped."""
    out = []
    i, n = 0, len(text)
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("/*", i):
            i = text.index("*/", i) + 2
            continue
        raw = re.match(r'(u8|u|U|L)?R"([^(\s]*)\(', text[i:])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = ")" + raw.group(2) + '"'
            j = text.index(end, i + raw.end())
            out.append(("str", text[i + raw.end():j]))
            i = j + len(end)
            continue
        plain = re.match(r'(u8|u|U|L)?"', text[i:])
        if plain and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_") or plain.group(1)):
            j = i + plain.end()
            body = []
            while text[j] != '"':
                if text[j] == "\\":
                    body.append(text[j:j + 2])
                    j += 2
                else:
                    body.append(text[j])
                    j += 1
            out.append(("str", "".join(body)))
            i = j + 1
            continue
        char = re.match(r"'(\\.|[^'\\])+'", text[i:])
        if char:
            out.append(("code", " "))
            i += char.end()
            continue
        out.append(("code", text[i]))
        i += 1
    return out


def literal_pieces(body):
    body = body.replace('\\"', '"').replace("\\\\", "\\")
    for piece in re.split(r"\\n|%\d", body):
        piece = piece.strip()
        if IDEOGRAPH.search(piece):
            yield piece


def message_texts(source, whole_file=False):
    """The message pieces of one source file's text, by the rule above."""
    found = []
    scopes = [None]  # name of the enclosing function, per open brace
    statement = []

    def finish():
        code = "".join(v for k, v in statement if k == "code")
        function = scopes[-1]
        if whole_file or TRIGGER.search(code) or (function and MESSAGE_FUNCTION.search(function)):
            for kind, value in statement:
                if kind == "str":
                    found.extend(literal_pieces(value))
        return code

    for kind, value in tokens(source):
        if kind == "code" and value in ";{}":
            code = finish()
            statement = []
            if value == "{":
                header = FUNCTION_HEADER.search(code.strip())
                name = header.group(1) if header and header.group(1) not in NOT_FUNCTIONS else None
                scopes.append(name if name and not re.search(r"\b(if|for|while|switch)\s*\(", code) else scopes[-1])
            elif value == "}" and len(scopes) > 1:
                scopes.pop()
        else:
            statement.append((kind, value))
    finish()
    return found


def program_messages(root):
    messages = {}
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        rel = path.relative_to(root).as_posix()
        for text in message_texts(path.read_text(encoding="utf-8"), rel in WORDING_FILES):
            messages.setdefault(text, rel)
    return messages


def slug(heading):
    """The anchor GitHub and the HTML rendering give a heading: lower case, punctuation dropped, spaces as -."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def headings(markdown):
    return {slug(m.group(1)) for m in re.finditer(r"^#{1,6}\s+(.+?)\s*#*\s*$", markdown, re.M)}


def link_targets(markdown):
    # Code blocks and spans hold examples, not links.
    text = re.sub(r"^```.*?^```", "", markdown, flags=re.M | re.S)
    text = re.sub(r"`[^`\n]*`", "", text)
    for m in re.finditer(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)", text):
        yield m.group(1)
    for m in re.finditer(r"<(?:img|a)\b[^>]*\b(?:src|href)\s*=\s*\"([^\"]+)\"", text):
        yield m.group(1)


def check_links(root, page):
    problems = []
    markdown = page.read_text(encoding="utf-8")
    for target in link_targets(markdown):
        if re.match(r"(https?|mailto):", target):
            continue
        if re.match(r"[a-z]+:", target) or target.startswith("/"):
            problems.append(f"{page.name}: link to {target}: the guide is read offline, links are relative")
            continue
        path, _, anchor = target.partition("#")
        file = (page.parent / path).resolve() if path else page
        if path:
            if not file.is_file():
                if page == root / GUIDE and path in EXPECTED_LATER:
                    print(f"note: {target} is not there yet (expected later)")
                    continue
                problems.append(f"{page.name}: {target} does not exist")
                continue
            if not file.resolve().is_relative_to(root.resolve()):
                problems.append(f"{page.name}: {target} lies outside the repository")
                continue
        if anchor and file.suffix == ".md" and slug(anchor) not in headings(file.read_text(encoding="utf-8")):
            problems.append(f"{page.name}: {target}: no heading gives the anchor #{anchor}")
    return problems


class PageLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.targets = set(), []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name == "id":
                self.ids.add(value)
            elif (tag, name) in (("a", "href"), ("img", "src")):
                self.targets.append(value)


def check_page(page):
    """The rendered page: every picture and link resolves beside it, every anchor to an element of it."""
    links = PageLinks()
    links.feed(page.read_text(encoding="utf-8"))
    problems = []
    for target in links.targets:
        if re.match(r"(https?|mailto):", target):
            continue
        path, _, anchor = target.partition("#")
        if path and not (page.parent / path).is_file():
            if path in EXPECTED_LATER:
                print(f"note: {target} is not there yet (expected later)")
                continue
            problems.append(f"{page}: {target} does not exist")
        elif not path and anchor not in links.ids:
            problems.append(f"{page}: no element has the id of {target}")
    return problems


def message_table(markdown):
    """The text of the table section, code spans and Markdown escapes undone."""
    section = re.search(rf"^(#+)\s+{TABLE_HEADING}\s*$(.*?)(?=^\1\s|\Z)", markdown, re.M | re.S)
    if not section:
        return None
    rows = [line for line in section.group(2).splitlines() if line.lstrip().startswith("|")]
    return "\n".join(rows).replace("`", "").replace("\\|", "|").replace("\\*", "*").replace("\\_", "_")


def self_test():
    """The rule itself: what it must catch and what it must leave alone."""
    cases = [
        ('void f() { throw platform::Error(u"无法打开："_s + path); }', ["无法打开："]),
        ('void f() { m_env.prompts->showMessage(u"您要退出么?"_s); }', ["您要退出么?"]),
        ('void f() { complain(u"没有找到视图"_s); }', ["没有找到视图"]),
        ('R f() { return {std::nullopt, u"服务器名不能为空"_s}; }', ["服务器名不能为空"]),
        ('QString parseError(const P& p) { if (x) { return u"选项 "_s + a + u" 缺少值"_s; } }',
         ["选项", "缺少值"]),
        ('void f() { task.problem = u"工作簿同名"_s; }', ["工作簿同名"]),
        ('void f() { throw E(u"第一行\\n第二行%1结尾"_s); }', ["第一行", "第二行", "结尾"]),
        ('void f() { button->setText(u"确  定"_s); log.write(u"开始导出视图"_s); }', []),
        ('// throw Error(u"注释"_s);\nvoid f() { a = u"标题"_s; }', []),
        ('QString helpText() { return u"用法"_s; }', []),
    ]
    failures = []
    for source, expected in cases:
        got = message_texts(source)
        if got != expected:
            failures.append(f"rule self-test: {source!r} gave {got}, expected {expected}")
    return failures


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    if len(sys.argv) > 3 and sys.argv[2] == "--page":
        problems = check_page(pathlib.Path(sys.argv[3]))
        for problem in problems:
            print(problem)
        return 1 if problems else 0
    problems = self_test()
    guide = root / GUIDE
    if not guide.is_file():
        print(f"FAIL: {GUIDE} is missing")
        return 1
    problems += check_links(root, guide)
    readme = (root / "README.md").read_text(encoding="utf-8")
    if f"({GUIDE.as_posix()})" not in readme:
        problems.append(f"README.md does not link {GUIDE.as_posix()}")

    table = message_table(guide.read_text(encoding="utf-8"))
    if table is None:
        problems.append(f"{GUIDE}: no section headed {TABLE_HEADING}")
    else:
        missing = [(text, where) for text, where in program_messages(root).items() if text not in table]
        if missing:
            problems.append(f"{len(missing)} message texts of the program are not in the table of "
                            f"{GUIDE} ({TABLE_HEADING}); add a row (or the text to a row) for each:")
            problems += [f"    {text}    [{where}]" for text, where in missing]
    for problem in problems:
        print(problem)
    print("FAIL" if problems else "guide checked: links, pictures and message table complete")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
