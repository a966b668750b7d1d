#!/usr/bin/env python3
"""Renders the user guide (Markdown) as one HTML page for the desktop's browser: python3-markdown with
tables and heading anchors as GitHub makes them, so the guide's links work in both. Usage: IN OUT TITLE"""
import sys

import markdown
from markdown.extensions.toc import slugify_unicode

source, target, title = sys.argv[1], sys.argv[2], sys.argv[3]
with open(source, encoding="utf-8") as f:
    body = markdown.markdown(
        f.read(),
        extensions=["tables", "fenced_code", "toc"],
        extension_configs={"toc": {"slugify": slugify_unicode}},
    )

# Nothing is loaded from elsewhere: the pictures lie beside the page.
page = f"""<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src 'self'; style-src 'unsafe-inline'">
<title>{title}</title>
<style>
body {{ max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.6;
       font-family: "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; color: #222; }}
img {{ max-width: 100%; border: 1px solid #ccc; }}
table {{ border-collapse: collapse; margin: 0.5em 0; }}
th, td {{ border: 1px solid #bbb; padding: 0.25em 0.5em; vertical-align: top; text-align: left; }}
th {{ background: #eef; }}
code {{ background: #f4f4f4; padding: 0 0.2em; }}
pre {{ background: #f4f4f4; padding: 0.5em; overflow-x: auto; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""
with open(target, "w", encoding="utf-8") as f:
    f.write(page)
