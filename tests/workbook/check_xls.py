#!/usr/bin/python3
"""Reads every fixture workbook back with xlrd and checks its compound file and BIFF8 stream by hand.

Usage: check_xls.py FOLDER   (FOLDER holds NAME.xls and NAME.expect.json pairs)
"""
import glob
import json
import os
import struct
import sys

import xlrd

FREESECT, ENDOFCHAIN, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
MAX_RECORD = 8224


class Bad(Exception):
    pass


def need(cond, what):
    if not cond:
        raise Bad(what)


# ---------------------------------------------------------------- compound file

def cfb_name_key(name):
    return (len(name), name.upper())


def check_rb_tree(entries, root, seen):
    """Returns the black height of the subtree; checks order, colours and that each node is visited once."""
    if root == NOSTREAM:
        return 1
    need(root < len(entries), "directory link %d out of range" % root)
    need(root not in seen, "directory entry %d reached twice" % root)
    seen.add(root)
    e = entries[root]
    need(e["type"] in (1, 2), "tree node %d is not a storage or stream" % root)
    for side in ("left", "right"):
        child = e[side]
        if child != NOSTREAM:
            need(child < len(entries), "directory link out of range")
            c = entries[child]
            if side == "left":
                need(cfb_name_key(c["name"]) < cfb_name_key(e["name"]), "red-black tree out of order")
            else:
                need(cfb_name_key(c["name"]) > cfb_name_key(e["name"]), "red-black tree out of order")
            if e["color"] == 0:
                need(c["color"] == 1, "red node %d has a red child" % root)
    hl = check_rb_tree(entries, e["left"], seen)
    hr = check_rb_tree(entries, e["right"], seen)
    need(hl == hr, "black heights differ below entry %d" % root)
    if e["type"] == 1 and e["child"] != NOSTREAM:
        need(entries[e["child"]]["color"] == 1, "subtree root must be black")
        check_rb_tree(entries, e["child"], seen)
    return hl + (1 if e["color"] == 1 else 0)


def read_cfb(data):
    """Validates the container, accounting for every sector exactly once; returns the Workbook stream."""
    need(len(data) >= 1024 and data[:8] == b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", "not a compound file")
    (minor, major, order, sshift, mshift) = struct.unpack_from("<HHHHH", data, 24)
    need(major == 3 and order == 0xFFFE and sshift == 9 and mshift == 6, "not a version 3 compound file")
    (ndir, nfat, dir_start, _, cutoff, minifat_start, nminifat, difat_start, ndifat) = struct.unpack_from(
        "<IIIIIIIII", data, 40)
    need(ndir == 0 and cutoff == 4096, "bad header fields")
    need((len(data) - 512) % 512 == 0, "file is not whole sectors")
    nsect = (len(data) - 512) // 512
    owner = [None] * nsect

    def sector(i):
        need(i < nsect, "sector %d beyond end of file" % i)
        return data[512 + i * 512: 1024 + i * 512]

    def claim(i, what):
        need(i < nsect, "%s sector %d beyond end of file" % (what, i))
        need(owner[i] is None, "sector %d used as %s and as %s" % (i, owner[i], what))
        owner[i] = what

    fat_sectors = [x for x in struct.unpack_from("<109I", data, 76)]
    need(all(x == FREESECT for x in fat_sectors[nfat:]), "unused header DIFAT entries must be free")
    fat_sectors = fat_sectors[:nfat]
    d, count = difat_start, 0
    while d != ENDOFCHAIN:
        need(count < ndifat, "DIFAT chain longer than its count")
        claim(d, "DIFAT")
        ids = struct.unpack("<128I", sector(d))
        fat_sectors.extend(ids[:127])
        d, count = ids[127], count + 1
    need(count == ndifat, "DIFAT chain shorter than its count")
    need(all(x == FREESECT for x in fat_sectors[nfat:]), "unused DIFAT entries must be free")
    fat_sectors = fat_sectors[:nfat]
    need(len(fat_sectors) == nfat, "FAT sector count mismatch")
    fat = []
    for f in fat_sectors:
        claim(f, "FAT")
        fat.extend(struct.unpack("<128I", sector(f)))
    need(len(fat) >= nsect, "FAT does not map every sector")
    need(all(x == FREESECT for x in fat[nsect:]), "FAT maps sectors beyond the end of the file")
    for i in range(nsect):
        if owner[i] == "FAT":
            need(fat[i] == FATSECT, "FAT sector %d not marked FATSECT" % i)
        elif owner[i] == "DIFAT":
            need(fat[i] == DIFSECT, "DIFAT sector %d not marked DIFSECT" % i)
        else:
            need(fat[i] not in (FATSECT, DIFSECT), "sector %d wrongly marked as FAT/DIFAT" % i)

    def chain(start, what):
        out, s = [], start
        while s != ENDOFCHAIN:
            need(s < nsect, "%s chain leaves the file" % what)
            claim(s, what)
            out.append(s)
            s = fat[s]
        return out

    dir_chain = chain(dir_start, "directory")
    raw = b"".join(sector(s) for s in dir_chain)
    entries = []
    for k in range(len(raw) // 128):
        e = raw[k * 128:(k + 1) * 128]
        nlen = struct.unpack_from("<H", e, 64)[0]
        need(nlen % 2 == 0 and nlen <= 64, "bad directory name length")
        name = e[:max(0, nlen - 2)].decode("utf-16-le")
        left, right, child = struct.unpack_from("<III", e, 68)
        start, size_lo, size_hi = struct.unpack_from("<III", e, 116)
        entries.append(dict(name=name, type=e[66], color=e[67], left=left, right=right, child=child,
                            start=start, size=size_lo, size_hi=size_hi))
    need(entries and entries[0]["type"] == 5 and entries[0]["name"] == "Root Entry", "no root entry")
    root = entries[0]
    need(root["left"] == NOSTREAM and root["right"] == NOSTREAM, "root entry has siblings")
    seen = {0}
    if root["child"] != NOSTREAM:
        need(entries[root["child"]]["color"] == 1, "tree root must be black")
        check_rb_tree(entries, root["child"], seen)
    for k, e in enumerate(entries):
        if k not in seen:
            need(e["type"] == 0, "directory entry %d is unreachable" % k)
    need(root["size"] == 0 and root["start"] == ENDOFCHAIN and minifat_start == ENDOFCHAIN and nminifat == 0,
         "unexpected mini stream")
    streams = {}
    for k in seen:
        e = entries[k]
        if e["type"] != 2:
            continue
        need(e["size_hi"] == 0, "version 3 stream size above 4 GB")
        need(e["size"] >= cutoff, "stream %s below the cutoff belongs in the mini stream" % e["name"])
        sectors = chain(e["start"], e["name"])
        need(len(sectors) == (e["size"] + 511) // 512, "chain length does not match size of %s" % e["name"])
        streams[e["name"]] = b"".join(sector(s) for s in sectors)[:e["size"]]
    for i in range(nsect):
        if owner[i] is None:
            need(fat[i] == FREESECT, "sector %d belongs to nothing but is not free" % i)
    need(list(streams) == ["Workbook"], "expected exactly one Workbook stream")
    return streams["Workbook"], dict(fat=nfat, difat=ndifat)


# ---------------------------------------------------------------- BIFF8

def records(stream, pos):
    while True:
        need(pos + 4 <= len(stream), "record runs past the stream")
        rtype, size = struct.unpack_from("<HH", stream, pos)
        need(size <= MAX_RECORD, "record 0x%04X longer than 8224 bytes" % rtype)
        need(pos + 4 + size <= len(stream), "record runs past the stream")
        yield pos, rtype, stream[pos + 4:pos + 4 + size]
        pos += 4 + size
        if rtype == 0x000A:
            return


def check_sst(stream, recs, stats):
    """Parses SST + CONTINUE by the rules, noting every awkward split it meets; returns the strings."""
    (pos0, t0, d0) = recs[0]
    need(t0 == 0x00FC, "SST expected")
    total, unique = struct.unpack_from("<II", d0)
    parts = [(p, d) for (p, t, d) in recs]
    for (p, t, d) in recs[1:]:
        need(t == 0x003C, "only CONTINUE may follow SST")
    ri, off = 0, 8
    strings, starts = [], []
    while len(strings) < unique:
        p, d = parts[ri]
        if off == len(d):
            key = "left%d" % min(MAX_RECORD - len(d), 9)
            stats[key] = stats.get(key, 0) + 1
            ri, off = ri + 1, 0
            need(ri < len(parts), "SST ends early")
            continue
        need(off + 3 <= len(d), "string header split across records")
        cch, flags = struct.unpack_from("<HB", d, off)
        need(flags & ~1 == 0, "unexpected string flags")
        starts.append((p + 4 + off, off + 4, ri))
        off += 3
        unit = 2 if flags & 1 else 1
        if cch:
            need(off + unit <= len(d), "string header separated from its first character")
        text_bytes, got, first_part = b"", 0, True
        while got < cch:
            p, d = parts[ri]
            if off == len(d):
                ri, off = ri + 1, 0
                need(ri < len(parts), "SST ends inside a string")
                p, d = parts[ri]
                need(d[0] == (flags & 1), "continuation flag differs from the string's own")
                off = 1
                stats["wide_split" if unit == 2 else "narrow_split"] = 1 + stats.get(
                    "wide_split" if unit == 2 else "narrow_split", 0)
                if not first_part:
                    stats["multi_record"] = stats.get("multi_record", 0) + 1
                first_part = False
            n = min(cch - got, (len(d) - off) // unit)
            need(n > 0 or (len(d) - off) < unit, "string piece of zero characters")
            if n == 0:
                off = len(d)
                continue
            piece = d[off:off + n * unit]
            if unit == 2 and got + n < cch:
                last = struct.unpack_from("<H", piece, len(piece) - 2)[0]
                need(not (0xD800 <= last <= 0xDBFF), "surrogate pair split across records")
            if unit == 2 and got + n < cch and MAX_RECORD - len(d) >= 2:
                stats["pair_held_back"] = stats.get("pair_held_back", 0) + 1
            text_bytes += piece if unit == 2 else piece.decode("latin-1").encode("utf-16-le")
            got += n
            off += n * unit
        strings.append(text_bytes.decode("utf-16-le", errors="strict"))
    need(ri == len(parts) - 1 and off == len(parts[ri][1]), "bytes left over after the last string")
    return total, strings, starts


def check_stream(stream, expect):
    recs = list(records(stream, 0))
    need(recs[0][1] == 0x0809 and struct.unpack_from("<HH", recs[0][2]) == (0x0600, 0x0005), "no BIFF8 globals BOF")
    kinds = [t for (_, t, _) in recs]
    codepage = [d for (_, t, d) in recs if t == 0x0042]
    need(codepage and struct.unpack("<H", codepage[0])[0] == 1200, "CODEPAGE must be 1200")
    need(kinds.count(0x0085) == 1, "exactly one BOUNDSHEET expected")
    bs = [d for (_, t, d) in recs if t == 0x0085][0]
    sheet_at = struct.unpack_from("<I", bs)[0]
    need(sheet_at == recs[-1][0] + 4, "BOUNDSHEET offset does not point just after the globals")
    i = kinds.index(0x00FC)
    j = i + 1
    while kinds[j] == 0x003C:
        j += 1
    stats = {}
    total, strings, starts = check_sst(stream, recs[i:j], stats)
    need(kinds[j] == 0x00FF, "EXTSST must follow the SST")
    ext = recs[j][2]
    dsst = struct.unpack_from("<H", ext)[0]
    buckets = (len(ext) - 2) // 8
    need(buckets == (len(strings) + dsst - 1) // dsst, "EXTSST bucket count")
    for b in range(buckets):
        ib, cb = struct.unpack_from("<IH", ext, 2 + 8 * b)
        need((ib, cb) == starts[b * dsst][:2], "EXTSST bucket %d points elsewhere" % b)

    sheet = list(records(stream, sheet_at))
    need(sheet[0][1] == 0x0809 and struct.unpack_from("<HH", sheet[0][2]) == (0x0600, 0x0010), "no sheet BOF")
    end = sheet[-1][0] + 4
    if "biffSize" in expect:
        need(end == expect["biffSize"], "BIFF data ends at %d, expected %d" % (end, expect["biffSize"]))
    need(set(stream[end:]) <= {0}, "padding after the last EOF must be zeros")
    need(end == len(stream) or len(stream) == 4096, "only a short stream is padded")
    cells = [(struct.unpack_from("<HHH", d), d) for (_, t, d) in sheet if t in (0x00FD, 0x0201)]
    refs = sum(1 for (_, t, _) in sheet if t == 0x00FD)
    need(total == refs, "SST total %d differs from the %d LABELSST cells" % (total, refs))
    used = {struct.unpack_from("<I", d, 6)[0] for (_, t, d) in sheet if t == 0x00FD}
    need(used == set(range(len(strings))), "SST holds strings no cell uses, or a cell points past it")
    dim = [d for (_, t, d) in sheet if t == 0x0200][0]
    rw_mic, rw_mac, col_mic, col_mac = struct.unpack_from("<IIHH", dim)
    if cells:
        need((rw_mic, rw_mac, col_mic, col_mac) == (min(c[0][0] for c in cells), max(c[0][0] for c in cells) + 1,
                                                    min(c[0][1] for c in cells), max(c[0][1] for c in cells) + 1),
             "DIMENSIONS does not match the cells")
    else:
        need((rw_mic, rw_mac, col_mic, col_mac) == (0, 0, 0, 0), "DIMENSIONS of an empty sheet")
    # INDEX points at the DEFCOLWIDTH and at each DBCELL.
    index = [d for (_, t, d) in sheet if t == 0x020B][0]
    by_pos = {p: t for (p, t, _) in sheet}
    need(by_pos.get(struct.unpack_from("<I", index, 12)[0]) == 0x0055, "INDEX does not point at DEFCOLWIDTH")
    for k in range((len(index) - 16) // 4):
        need(by_pos.get(struct.unpack_from("<I", index, 16 + 4 * k)[0]) == 0x00D7, "INDEX entry is not a DBCELL")
    for (p, t, d) in sheet:
        if t == 0x00D7 and struct.unpack_from("<I", d)[0]:
            need(by_pos.get(p - struct.unpack_from("<I", d)[0]) == 0x0208, "DBCELL does not point at a ROW")
    return strings, stats


# ---------------------------------------------------------------- content via xlrd

def stored_width(w):
    return 0 if w == 0 else int((w * 7 + 5) / 7 * 256)


def check_content(path, expect):
    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True)
    need(book.nsheets == 1 and book.sheet_names() == ["Sheet1"], "one sheet named Sheet1 expected")
    sh = book.sheet_by_index(0)
    values = {(r, c): t for (r, c, t) in expect["cells"]}
    formatted = {(r, c) for (r, c) in expect["textFormat"]}
    seen = 0
    for r in range(sh.nrows):
        for c in range(sh.row_len(r)):
            cell = sh.cell(r, c)
            key = (r + 1, c + 1)
            if key in values:
                need(cell.ctype == xlrd.XL_CELL_TEXT, "cell %s is not text" % (key,))
                need(cell.value == values[key], "cell %s differs: %r..." % (key, cell.value[:40]))
                seen += 1
            elif key in formatted:
                need(cell.ctype == xlrd.XL_CELL_BLANK, "format-only cell %s not blank" % (key,))
            else:
                need(cell.ctype == xlrd.XL_CELL_EMPTY, "unexpected cell %s" % (key,))
                continue
            fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
            need(fmt == ("@" if key in formatted else "General"), "cell %s has format %r" % (key, fmt))
    need(seen == len(values), "%d of %d cells found" % (seen, len(values)))
    for key in formatted:
        need(key[0] <= sh.nrows and key[1] <= sh.row_len(key[0] - 1), "formatted cell %s missing" % (key,))
    widths = {int(c): w for c, w in expect["widths"].items()}
    for c in range(256):
        info = sh.colinfo_map.get(c)
        if c + 1 in widths:
            need(info is not None, "column %d has no width" % (c + 1))
            need(info.width == stored_width(widths[c + 1]), "column %d width %d" % (c + 1, info.width))
            need(bool(info.hidden) == (widths[c + 1] == 0), "column %d hidden flag" % (c + 1))
        else:
            need(info is None, "column %d has a width nobody set" % (c + 1))


def main():
    folder = sys.argv[1]
    names = sorted(glob.glob(os.path.join(folder, "*.expect.json")))
    need(len(names) >= 8, "fixtures missing in %s" % folder)
    failed = 0
    for jpath in names:
        name = os.path.basename(jpath)[:-len(".expect.json")]
        path = os.path.join(folder, name + ".xls")
        try:
            with open(jpath, encoding="utf-8") as f:
                expect = json.load(f)
            with open(path, "rb") as f:
                data = f.read()
            stream, counts = read_cfb(data)
            if "fatSectors" in expect:
                need(counts["fat"] == expect["fatSectors"], "%d FAT sectors" % counts["fat"])
                need(counts["difat"] == expect["difatSectors"], "%d DIFAT sectors" % counts["difat"])
            strings, stats = check_stream(stream, expect)
            if expect.get("splitCoverage"):
                for k in ("left0", "left1", "left2", "left3", "left4", "wide_split", "narrow_split",
                          "multi_record", "pair_held_back"):
                    need(stats.get(k, 0) > 0, "split case %s never occurred" % k)
            check_content(path, expect)
            print("ok   %s (%d bytes, %d strings, FAT %d, DIFAT %d)" % (name, len(data), len(strings),
                                                                      counts["fat"], counts["difat"]))
        except Bad as e:
            failed += 1
            print("FAIL %s: %s" % (name, e))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
