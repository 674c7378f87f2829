#!/usr/bin/env python3
"""Sanity checks on a generated fixture: the data directory holds the kinds of
files the recovery tests rely on.

    scripts/verify-fixtures.py DATADIR EXPECTEDDIR [--list]
"""

import collections
import os
import struct
import sys

PAGE = 16384
errors = []


def check(cond, msg):
    if not cond:
        errors.append(msg)


def disk_name(name):
    # Only ASCII schema names are used; anything outside [0-9A-Za-z_] is @hhhh.
    return "".join(c if c.isalnum() or c == "_" else f"@{ord(c):04x}" for c in name)


def read_tsv(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def frm_fields(path):
    """(name, type code) of each column, read from the form info block."""
    d = open(path, "rb").read()
    names_len = struct.unpack_from("<H", d, 4)[0]
    info = struct.unpack_from("<I", d, 64 + names_len)[0]
    count, screen = struct.unpack_from("<HH", d, info + 258)
    names_size = struct.unpack_from("<H", d, info + 268)[0]
    rec = info + 288 + screen
    names = d[rec + 17 * count:rec + 17 * count + names_size].split(b"\xff")[1:1 + count]
    return {names[i].decode(): d[rec + 17 * i + 13] for i in range(count)}


def root_level(path):
    with open(path, "rb") as f:
        f.seek(3 * PAGE)
        page = f.read(PAGE)
    return struct.unpack_from(">H", page, 38 + 26)[0]


def page_types(path):
    counts = collections.Counter()
    with open(path, "rb") as f:
        while page := f.read(PAGE):
            counts[struct.unpack_from(">H", page, 24)[0]] += 1
    return counts


def fsp_flags(path):
    with open(path, "rb") as f:
        return struct.unpack_from(">I", f.read(PAGE), 38 + 16)[0]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    datadir, expected = sys.argv[1], sys.argv[2]
    listing = "--list" in sys.argv[3:]

    tables = read_tsv(os.path.join(expected, "tables.tsv"))
    counts = read_tsv(os.path.join(expected, "rowcounts.tsv"))
    schemas = [row[0] for row in read_tsv(os.path.join(expected, "schemata.tsv"))]
    check({r[0] for r in counts} == set(schemas), "rowcounts.tsv does not cover every schema")
    check(len(counts) == sum(1 for t in tables if t[2] == "BASE TABLE"),
          "rowcounts.tsv and tables.tsv disagree")

    check(os.path.isfile(os.path.join(datadir, "ibdata1")), "ibdata1 missing")
    unexpected = sorted(set(os.listdir(datadir)) - {"ibdata1"} - {disk_name(s) for s in schemas})
    check(not unexpected, f"unexpected entries in datadir: {unexpected}")

    for schema in schemas:
        folder = os.path.join(datadir, disk_name(schema))
        files = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        check(files, f"{schema}: folder {disk_name(schema)} missing or empty")
        by_ext = collections.defaultdict(list)
        for name in files:
            by_ext[os.path.splitext(name)[1] or name].append(name)
        if listing:
            print(f"{disk_name(schema)}/")
            for ext in sorted(by_ext):
                print(f"  {ext:7} {' '.join(by_ext[ext])}")
        mine = [t for t in tables if t[0] == schema]
        n_innodb = sum(1 for t in mine if t[3] == "InnoDB")
        n_myisam = sum(1 for t in mine if t[3] == "MyISAM")
        check("db.opt" in files, f"{schema}: db.opt missing")
        check(len(by_ext[".frm"]) == len(mine), f"{schema}: .frm count {len(by_ext['.frm'])} != {len(mine)}")
        want_ibd = 0 if schema == "inner" else n_innodb
        check(len(by_ext[".ibd"]) == want_ibd, f"{schema}: .ibd count {len(by_ext['.ibd'])} != {want_ibd}")
        check(len(by_ext[".MYD"]) == n_myisam and len(by_ext[".MYI"]) == n_myisam,
              f"{schema}: MyISAM file count mismatch")
        views = 0
        for frm in by_ext[".frm"]:
            with open(os.path.join(folder, frm), "rb") as f:
                head = f.read(10)
            if head.startswith(b"TYPE=VIEW"):
                views += 1
            else:
                check(head[:2] == b"\xfe\x01", f"{schema}/{frm}: bad table .frm magic {head[:2].hex()}")
        check(views == sum(1 for t in mine if t[2] == "VIEW"), f"{schema}: view count mismatch")
        for trg in by_ext[".TRG"]:
            check(open(os.path.join(folder, trg), "rb").read(14) == b"TYPE=TRIGGERS\n", f"{trg}: bad header")
        for trn in by_ext[".TRN"]:
            check(open(os.path.join(folder, trn), "rb").read(17) == b"TYPE=TRIGGERNAME\n", f"{trn}: bad header")
        for ibd in by_ext[".ibd"] + (["../ibdata1"] if schema == schemas[0] else []):
            flags = fsp_flags(os.path.join(folder, ibd))
            # 0x10 marks the full_crc32 layout; page size bits must say 16k.
            check(not flags & 0x10, f"{ibd}: full_crc32 tablespace (flags {flags:#x})")
            check((flags >> 6) & 0xF == 0, f"{ibd}: not a 16k page size (flags {flags:#x})")

    # Spot checks of the features the tests rely on.
    old = frm_fields(os.path.join(datadir, "legacy", "old_times.frm"))
    check((old["t"], old["dt"], old["ts"]) == (11, 12, 7), f"legacy.old_times not pre-5.6 temporal: {old}")
    new = frm_fields(os.path.join(datadir, "types", "t_compact.frm"))
    check((new["tm"], new["dtm"], new["ts"]) == (19, 18, 17), f"types.t_compact not 5.6 temporal: {new}")
    check(root_level(os.path.join(datadir, "shop", "ledger.ibd")) >= 1, "shop.ledger has a one-page tree")
    check(root_level(os.path.join(datadir, "shop", "deep_tree.ibd")) >= 2, "shop.deep_tree is not three levels")
    with open(os.path.join(datadir, "ibdata1"), "rb") as f:
        check(b"SKU000000001" in f.read(), "inner.products rows not found in ibdata1")
    for name in ("documents", "attachments"):
        check(page_types(os.path.join(datadir, "shop", name + ".ibd"))[10] > 0,
              f"shop.{name} has no off-page BLOB pages")

    if errors:
        print("fixture check FAILED:", *errors, sep="\n  ", file=sys.stderr)
        sys.exit(1)
    print("fixture check ok")


if __name__ == "__main__":
    main()
