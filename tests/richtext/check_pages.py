"""Reads every page of a folder with html5lib, as a browser would, and checks what the renderers promise:
no parse error, the Content-Security-Policy meta, no script, event handler, remote picture or link outside
http/https/mailto, every picture and relative link a file beside the page, and, where NAME.txt lies beside
NAME.html, the words of the rendered bodies (without the words the renderer adds, class rt-added) equal to
the words of that plain text."""

import os
import sys
import urllib.parse

import html5lib

POLICY = "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'"
FORBIDDEN = {"script", "iframe", "frame", "frameset", "object", "embed", "applet", "form", "svg", "math",
             "base", "link", "input", "button", "audio", "video", "template"}
BLOCKS = {"div", "li", "td", "th", "tr", "table", "br", "hr", "summary", "details", "ul", "ol", "p", "caption"}


def classes(element):
    return (element.get("class") or "").split()


def words_of(element, out):
    if element.tag in BLOCKS:
        out.append(" ")
    if element.text:
        out.append(element.text)
    for child in element:
        if "rt-added" not in classes(child):
            words_of(child, out)
        elif child.tag in BLOCKS:
            out.append(" ")
        if child.tail:
            out.append(child.tail)
    if element.tag in BLOCKS:
        out.append(" ")


def check_url(folder, attribute, value, problems):
    scheme = urllib.parse.urlsplit(value).scheme.lower()
    if scheme in ("http", "https", "mailto") and attribute == "href":
        return
    if scheme or value.startswith("/") or value.startswith("#") or not value:
        problems.append("%s=%r leads outside the export" % (attribute, value))
        return
    path = os.path.normpath(os.path.join(folder, urllib.parse.unquote(urllib.parse.urlsplit(value).path)))
    if not os.path.isfile(path):
        problems.append("%s=%r is no file beside the page" % (attribute, value))


def check_page(path):
    problems = []
    folder = os.path.dirname(path)
    with open(path, "rb") as f:
        data = f.read()
    parser = html5lib.HTMLParser(tree=html5lib.getTreeBuilder("etree"), namespaceHTMLElements=False)
    document = parser.parse(data)
    for position, code, details in parser.errors:
        problems.append("parse error %s at %s %s" % (code, position, details))
    policies = [m.get("content") for m in document.iter("meta")
                if (m.get("http-equiv") or "").lower() == "content-security-policy"]
    if policies != [POLICY]:
        problems.append("policy %r" % policies)
    for element in document.iter():
        if not isinstance(element.tag, str):
            continue
        if element.tag in FORBIDDEN:
            problems.append("element <%s>" % element.tag)
        for attribute, value in element.attrib.items():
            if attribute.lower().startswith("on"):
                problems.append("event handler %s" % attribute)
            if attribute == "style" and ("url(" in value.lower() or "expression" in value.lower()):
                problems.append("style %r" % value)
            if attribute in ("href", "src"):
                check_url(folder, attribute, value, problems)
    text_path = path[:-len(".html")] + ".txt"
    if os.path.exists(text_path):
        with open(text_path, encoding="utf-8") as f:
            expected = f.read().split()
        out = []
        for element in document.iter():
            if isinstance(element.tag, str) and "rt" in classes(element):
                words_of(element, out)
        found = "".join(out).split()
        if found != expected:
            at = next((i for i, (a, b) in enumerate(zip(found, expected)) if a != b), min(len(found), len(expected)))
            problems.append("words differ at %d: page %r, plain text %r" % (at, found[at:at + 5], expected[at:at + 5]))
    return problems


def main():
    folder = sys.argv[1]
    pages = sorted(os.path.join(root, name) for root, _, names in os.walk(folder)
                   for name in names if name.endswith(".html"))
    failed = False
    for page in pages:
        for problem in check_page(page):
            failed = True
            print("%s: %s" % (os.path.relpath(page, folder), problem))
    print("%d pages checked" % len(pages))
    return 1 if failed or not pages else 0


if __name__ == "__main__":
    sys.exit(main())
