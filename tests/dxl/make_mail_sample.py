#!/usr/bin/env python3
"""Writes tests/data/dxl/quillmere/mail.xml: mail documents as Domino's DXL exporter writes them when it keeps
MIME as it is, each part of a body an item of type MIME_PART (<rawitemdata type='19'>) and each header of the
mail an item of type RFC822_TEXT (<rawitemdata type='502'>), in the layouts src/richtext/mimeitems.cpp reads.
Run it again after changing it; the file is kept in the repository."""

import base64
import os
import struct
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
TARGET = os.path.join(HERE, "..", "data", "dxl", "quillmere", "mail.xml")

HAS_BOUNDARY, HAS_HEADERS, BODY_IN_OBJECT = 0x01, 0x02, 0x04
PROLOG, BODY, EPILOG = 1, 2, 3


def mime_part(flags, part_type, boundary=b"", headers=b"", body=b""):
    data = boundary + headers + body
    return struct.pack("<HIBBHHHHI", 2, flags, part_type, 0, len(data), len(boundary), len(headers), 0, 0) + data


def rfc822(name, body=b"", native=b"", date=False):
    delimiter = b": " if name else b""
    return struct.pack("<HIHHHH", 14, 1 if date else 2, len(native), len(name), len(delimiter), len(body)) + \
        native + name + delimiter + body


def timedate(year, month, day, hour, minute):
    # Hundredths of a second since midnight GMT, then the Julian day.
    a = (14 - month) // 12
    y, m = year + 4800 - a, month + 12 * a - 3
    julian = day + (153 * m + 2) // 5 + 365 * y + y // 4 - y // 100 + y // 400 - 32045
    return struct.pack("<II", (hour * 3600 + minute * 60) * 100, julian)


def b64(data):
    return "\n".join(textwrap.wrap(base64.b64encode(data).decode("ascii"), 76))


def raw_item(name, item_type, value):
    return "<item name='%s' summary='false' sign='true'><rawitemdata type='%s'>\n%s</rawitemdata></item>\n" % (
        name, item_type, b64(value))


def file_item(name, data):
    return ("<item name='$FILE' summary='true' sign='true'><object><file hosttype='msdos' compression='none' "
            "flags='storedindoc' encoding='none' name='%s'><created><datetime>20240105T101500,00+00</datetime>"
            "</created><modified><datetime>20240105T101500,00+00</datetime></modified><filedata>\n%s</filedata>"
            "</file></object></item>\n" % (name, b64(data)))


def text_item(name, value):
    return "<item name='%s'><text>%s</text></item>\n" % (name, value)


def document(unid, items):
    return ("<document form='Memo'>\n<noteinfo noteid='%x' unid='%s'><created><datetime>20240105T101500,00+00"
            "</datetime></created><modified><datetime>20240105T101600,00+00</datetime></modified></noteinfo>\n"
            % (int(unid[-4:], 16), unid) + text_item("$NoteHasNativeMIME", "1") + text_item("MIME_Version", "1.0") +
            "".join(items) + "</document>\n")


def png():
    """A 4x2 picture, red over blue."""
    import zlib
    rows = b"".join(b"\0" + (b"\xff\x00\x00" if y == 0 else b"\x00\x00\xff") * 4 for y in range(2))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 2, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def qp(data):
    out, line = [], ""
    for byte in data:
        piece = chr(byte) if 33 <= byte <= 126 and byte != ord("=") else "=%02X" % byte
        if len(line) + len(piece) > 72:
            out.append(line + "=")
            line = ""
        line += piece
    return ("\r\n".join(out + [line])).encode("ascii")


def headers(*lines):
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def gbk_word(text):
    return "=?GB2312?B?" + base64.b64encode(text.encode("gb18030")).decode("ascii") + "?="


# An HTML mail in GBK that shows a picture by cid:, with an attachment whose body Domino keeps in a file object
# (its transfer encoding kept); the headers of the mail as RFC 822 items, the date only as Notes made it.
HTML = ("<html><head><style>p{color:red}</style></head><body><p>各位：<b>季度会议</b>改到周五下午。</p>"
        "<p><img src=\"cid:chart@example.cn\" alt=\"图表\"></p><p>会议资料见附件。</p>"
        "<script>alert(1)</script></body></html>")
REPORT = "季度报告：收入增长百分之十二。\r\n".encode("utf-8")
first = [
    raw_item("From", "502", rfc822(b"From", (gbk_word("张三") + " <zhang@example.cn>").encode("ascii"))),
    raw_item("To", "502", rfc822(b"To", b"team@example.cn")),
    raw_item("Subject", "502", rfc822(b"Subject", gbk_word("季度会议改期").encode("ascii"))),
    raw_item("PostedDate", "502", rfc822(b"", native=timedate(2024, 1, 5, 10, 15), date=True)),
    raw_item("Body", "19", mime_part(HAS_HEADERS, PROLOG, headers=headers(
        "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"outer\""),
        body=b"This is a multi-part message in MIME format.")),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--outer\r\n", headers(
        "Content-Type: multipart/related; boundary=\"inner\"", ""))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--inner\r\n", headers(
        "Content-Type: text/html; charset=GB2312", "Content-Transfer-Encoding: quoted-printable", ""),
        qp(HTML.encode("gb18030")))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--inner\r\n", headers(
        "Content-Type: image/png", "Content-ID: <chart@example.cn>", "Content-Disposition: inline",
        "Content-Transfer-Encoding: base64", ""), base64.encodebytes(png()).replace(b"\n", b"\r\n"))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY, EPILOG, b"\r\n--inner--\r\n")),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS | BODY_IN_OBJECT, BODY, b"\r\n--outer\r\n", headers(
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Disposition: attachment; filename*=UTF-8''%E5%AD%A3%E5%BA%A6%E6%8A%A5%E5%91%8A.txt",
        "Content-Transfer-Encoding: base64", ""), b"ATTRVK3D.txt\0")),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY, EPILOG, b"\r\n--outer--\r\n", b"", b"")),
    file_item("ATTRVK3D.txt", base64.encodebytes(REPORT)),
]
# A plain-text mail in one part, its headers in the part; an attachment of the document that is no part of it.
second = [
    raw_item("Subject", "502", rfc822(b"Subject", "周报".encode("utf-8"))),
    raw_item("Body", "19", mime_part(HAS_HEADERS, BODY, headers=headers(
        "MIME-Version: 1.0", "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: quoted-printable"), body=qp("本周完成：\r\n一、合同录入\r\n二、客户回访\r\n".encode("utf-8")))),
    file_item("notes.txt", b"kept as it is"),
]
# Text and HTML as alternatives, and an attachment whose body the part holds itself; one part cut short.
third = [
    raw_item("Body", "19", mime_part(HAS_HEADERS, PROLOG, headers=headers(
        "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=\"m\""))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--m\r\n", headers(
        "Content-Type: multipart/alternative; boundary=\"a\"", ""))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--a\r\n", headers(
        "Content-Type: text/plain; charset=UTF-8", ""), "纯文本的正文".encode("utf-8"))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--a\r\n", headers(
        "Content-Type: text/html; charset=UTF-8", ""), "<p>网页的正文</p>".encode("utf-8"))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY, EPILOG, b"\r\n--a--\r\n")),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--m\r\n", headers(
        "Content-Type: application/octet-stream; name=\"data.bin\"", "Content-Transfer-Encoding: base64", ""),
        base64.b64encode(bytes(range(256))))),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY | HAS_HEADERS, BODY, b"\r\n--m\r\n", b"broken")[:-3]),
    raw_item("Body", "19", mime_part(HAS_BOUNDARY, EPILOG, b"\r\n--m--\r\n")),
]

with open(TARGET, "w", encoding="utf-8", newline="\n") as f:
    f.write("<?xml version='1.0' encoding='utf-8'?>\n"
            "<!-- Mail kept as MIME, written by tests/dxl/make_mail_sample.py. -->\n"
            "<database xmlns='http://www.lotus.com/dxl' title='邮件' replicaid='48257F4E0023A1B2'>\n")
    f.write(document("9F3A0C2E6B1D4E58AC0E1F2A3B4C5D01", first))
    f.write(document("9F3A0C2E6B1D4E58AC0E1F2A3B4C5D02", second))
    f.write(document("9F3A0C2E6B1D4E58AC0E1F2A3B4C5D03", third))
    f.write("</database>\n")
