#!/usr/bin/env python3
"""Damages copies of a data directory's files, over and over, and checks
that every run of the tool either recovers the table exactly or says, by
name, that it did not.

    scripts/damage-campaign.py CLI DATADIR|ARCHIVE.tar.xz [--subdir PATH] [--per-file N]
                               [--seed S] [--timeout SECONDS] [--keep DIR]

Each run copies the data directory (hard links, but for the damaged file),
damages one file in one way, and runs `CLI save` into a fresh folder. The run is classed as:

  intact    exit 0, every table's rows as in the undamaged save
  named     exit 1, every table whose rows differ is reported as not complete
  silent    rows lost or changed while the run exits 0 or calls the table
            complete
  unchecked values changed, no row lost, by damage to a file that carries
            no checksum (.frm, .MYD, .MYI): a flipped bit inside a value
            cannot be told from data there, so these are counted apart
  crash     the tool died of a signal
  hang      the tool did not end within the timeout

Prints one line per class and the damage kinds, and exits 1 when any run
crashed, hung or lost rows silently.

With --scan-pages, each InnoDB table's .ibd is instead embedded in an image
among random bytes at 512-byte shifts, the image damaged, and its rows read
back with `CLI scan-pages IMAGE --index-id ID --frm FRM --script ...`,
classed the same way against the undamaged save.
"""

import argparse
import hashlib
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import tempfile
from collections import Counter, defaultdict

PAGE = 16384
TABLE_EXTENSIONS = (".frm", ".ibd", ".myd", ".myi")


def run_save(cli, datadir, out, logs, timeout):
    try:
        p = subprocess.run(
            [cli, "save", datadir, "--script", out, "--quiet", "--log-dir", logs],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "", ""
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


LOAD_FILE = re.compile(rb"LOAD_FILE\('((?:[^']|'')*)'\)")


def table_rows(out_dir):
    """INSERT statements per table, from every script of a save; a value
    loaded from a file stands as a digest of that file, since the files'
    names change with the damage."""
    rows = defaultdict(Counter)
    folder = os.path.join(out_dir, "Scriptdata")
    if not os.path.isdir(folder):
        return rows

    def digest(m):
        path = m.group(1).replace(b"''", b"'").decode("utf-8", "replace")
        try:
            with open(path, "rb") as f:
                return b"FILE:" + hashlib.sha256(f.read()).hexdigest().encode()
        except OSError:
            return b"FILE:missing"

    for name in os.listdir(folder):
        if not name.endswith(".sql"):
            continue
        db = name[:-4]
        with open(os.path.join(folder, name), "rb") as f:
            for line in f:
                if line.startswith(b"INSERT INTO `"):
                    table = line[13:line.index(b"`", 13)].decode("utf-8", "replace")
                    rows[db + "." + table][LOAD_FILE.sub(digest, line)] += 1
    return rows


def report_states(stdout):
    states = {}
    for line in stdout.splitlines():
        parts = line.split("\t")
        if len(parts) >= 4 and "." in parts[0]:
            states[parts[0]] = parts[3]
    return states


def damage(path, kind, rng):
    """Damages the file at `path` (a private copy) in the given way."""
    if kind in ("fifo", "directory"):
        os.remove(path)
        if kind == "fifo":
            os.mkfifo(path)
        else:
            os.mkdir(path)
        return
    with open(path, "rb") as f:
        data = bytearray(f.read())
    n = len(data)
    pages = n // PAGE
    if kind == "truncate":
        data = data[:rng.randrange(0, max(1, n))]
    elif kind == "truncate-page" and pages > 1:
        data = data[:PAGE * rng.randrange(1, pages)]
    elif kind == "bitflip":
        for _ in range(rng.choice((1, 8, 64))):
            if n:
                i = rng.randrange(n)
                data[i] ^= 1 << rng.randrange(8)
    elif kind == "zero-page" and pages:
        p = rng.randrange(pages)
        data[p * PAGE:(p + 1) * PAGE] = bytes(PAGE)
    elif kind == "swap-pages" and pages > 1:
        a, b = rng.sample(range(pages), 2)
        pa, pb = data[a * PAGE:(a + 1) * PAGE], data[b * PAGE:(b + 1) * PAGE]
        data[a * PAGE:(a + 1) * PAGE], data[b * PAGE:(b + 1) * PAGE] = pb, pa
    elif kind == "duplicate-page" and pages > 1:
        a, b = rng.sample(range(pages), 2)
        data[b * PAGE:(b + 1) * PAGE] = data[a * PAGE:(a + 1) * PAGE]
    elif kind == "zero-range" and n:
        start = rng.randrange(n)
        end = min(n, start + rng.choice((8, 64, 512, 4096)))
        data[start:end] = bytes(end - start)
    elif kind == "huge-length" and n > 4:
        # Length fields and pointers set to their largest values.
        for _ in range(rng.choice((1, 4, 16))):
            i = rng.randrange(n - 4)
            data[i:i + 4] = b"\xff\xff\xff\xff"
    else:
        return damage(path, "bitflip", rng)
    with open(path, "wb") as f:
        f.write(data)


IMAGE_KINDS = ["truncate", "bitflip", "zero-page", "swap-pages", "duplicate-page", "zero-range",
               "huge-length"]


def run_scan_pages(cli, image, index_id, frm, out, logs, timeout):
    try:
        p = subprocess.run(
            [cli, "scan-pages", image, "--index-id", str(index_id), "--frm", frm, "--script", out,
             "--quiet", "--log-dir", logs],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "", ""
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def make_image(ibd, path, rng):
    """The tablespace between random bytes, at an odd 512-byte offset."""
    with open(ibd, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(rng.randbytes(512 * (2 * rng.randrange(1, 20) + 1)))
        f.write(data)
        f.write(rng.randbytes(512 * rng.randrange(1, 20)))


def scan_pages_campaign(args, src, work, logs, base_rows, rng):
    classes = Counter()
    by_kind = defaultdict(Counter)
    failures = []
    runs = 0
    for db in sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))):
        for name in sorted(os.listdir(os.path.join(src, db))):
            if not name.endswith(".ibd"):
                continue
            table = db + "." + name[:-4]
            ibd = os.path.join(src, db, name)
            frm = ibd[:-4] + ".frm"
            if not os.path.exists(frm) or table not in base_rows:
                continue
            with open(ibd, "rb") as f:
                f.seek(3 * PAGE + 66)
                index_id = int.from_bytes(f.read(8), "big")
            image = os.path.join(work, "image")
            make_image(ibd, image, rng)
            out_dir = os.path.join(work, "base-image-out")
            rc, out, err = run_scan_pages(args.cli, image, index_id, frm, out_dir, logs,
                                          args.timeout)
            if rc != 0 or table_rows(out_dir) != {table: base_rows[table]}:
                print(f"skipped {table}: the undamaged image gives rc {rc}: {err.strip()[:200]}")
                shutil.rmtree(out_dir, ignore_errors=True)
                continue
            shutil.rmtree(out_dir, ignore_errors=True)
            want = {table: base_rows[table]}
            for kind in IMAGE_KINDS:
                for _ in range(args.per_file):
                    runs += 1
                    make_image(ibd, image, rng)
                    damage(image, kind, rng)
                    out_dir = os.path.join(work, f"out-{runs}")
                    rc, out, err = run_scan_pages(args.cli, image, index_id, frm, out_dir, logs,
                                                  args.timeout)
                    verdict = classify(rc, out, want, table_rows(out_dir), True)
                    classes[verdict] += 1
                    by_kind[kind][verdict] += 1
                    if verdict in ("silent", "crash", "hang"):
                        failures.append(f"{verdict}: {table} {kind} (rc {rc}): {err.strip()[:300]}")
                        if args.keep:
                            os.makedirs(args.keep, exist_ok=True)
                            shutil.copyfile(image, os.path.join(args.keep, f"image-{runs}"))
                    shutil.rmtree(out_dir, ignore_errors=True)
    return runs, classes, by_kind, failures


def kinds_for(name):
    lower = name.lower()
    common = ["truncate", "bitflip", "zero-range", "huge-length", "fifo", "directory"]
    if lower.endswith(".ibd") or lower == "ibdata1":
        return common + ["truncate-page", "zero-page", "swap-pages", "duplicate-page"]
    return common


def copy_datadir(src_root, dest_root):
    """Hard-linked copy of the whole data directory."""
    shutil.copytree(src_root, dest_root, copy_function=os.link)


def unlink_copy(path):
    """Replaces a hard link by a private copy, so that damaging it spares the source."""
    tmp = path + ".tmp"
    shutil.copyfile(path, tmp)
    os.replace(tmp, path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("datadir")
    ap.add_argument("--subdir", default="",
                    help="the data directory inside the archive's folder (e.g. datadir)")
    ap.add_argument("--per-file", type=int, default=4, help="runs per file and damage kind")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=30)
    ap.add_argument("--keep", help="keep the damaged copies of failing runs here")
    ap.add_argument("--base-may-fail", action="store_true",
                    help="the undamaged save names tables it cannot read (an Aria table, say)")
    ap.add_argument("--scan-pages", action="store_true",
                    help="damage images holding the tables' tablespaces and read them back "
                         "with scan-pages")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="damage-campaign.")
    src = os.path.abspath(args.datadir)
    if src.endswith(".tar.xz"):
        # A packed data directory (the sample): the one folder inside it.
        unpacked = os.path.join(work, "unpacked")
        os.makedirs(unpacked)
        subprocess.run(["tar", "-xJf", src, "-C", unpacked], check=True)
        src = os.path.join(unpacked, os.listdir(unpacked)[0], args.subdir)
    logs = os.path.join(work, "logs")
    os.makedirs(logs)

    base_copy = os.path.join(work, "base")
    copy_datadir(src, base_copy)
    base_out = os.path.join(work, "base-out")
    rc, out, err = run_save(args.cli, base_copy, base_out, logs, args.timeout)
    base_states = report_states(out)
    if rc != 0 and not (args.base_may_fail and rc == 1):
        print(f"the undamaged save fails (rc {rc}): {err.strip()[:300]}", file=sys.stderr)
        return 2
    base_rows = table_rows(base_out)
    if args.scan_pages:
        runs, classes, by_kind, failures = scan_pages_campaign(args, src, work, logs, base_rows,
                                                               rng)
        shutil.rmtree(work, ignore_errors=True)
        return summary(runs, classes, by_kind, failures)
    targets = []
    for db in sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))):
        targets += [os.path.join(db, f) for f in sorted(os.listdir(os.path.join(src, db)))
                    if f.lower().endswith(TABLE_EXTENSIONS)]
    if os.path.exists(os.path.join(src, "ibdata1")):
        targets.append("ibdata1")
    classes = Counter()
    by_kind = defaultdict(Counter)
    failures = []
    runs = 0
    for target in targets:
        for kind in kinds_for(os.path.basename(target)):
            repeats = 1 if kind in ("fifo", "directory") else args.per_file
            for _ in range(repeats):
                runs += 1
                copy = os.path.join(work, f"run-{runs}")
                copy_datadir(src, copy)
                victim = os.path.join(copy, target)
                unlink_copy(victim)
                damage(victim, kind, rng)
                out_dir = os.path.join(work, f"out-{runs}")
                rc, out, err = run_save(args.cli, copy, out_dir, logs, args.timeout)
                checked = target.lower().endswith(".ibd") or target == "ibdata1"
                verdict = classify(rc, out, base_rows, table_rows(out_dir), checked, base_states)
                classes[verdict] += 1
                by_kind[kind][verdict] += 1
                if verdict in ("silent", "crash", "hang"):
                    failures.append(f"{verdict}: {target} {kind} (rc {rc}): {err.strip()[:300]}")
                    if args.keep:
                        shutil.copytree(copy, os.path.join(args.keep, f"run-{runs}"),
                                        symlinks=True)
                shutil.rmtree(copy, ignore_errors=True)
                shutil.rmtree(out_dir, ignore_errors=True)
    shutil.rmtree(work, ignore_errors=True)
    return summary(runs, classes, by_kind, failures)


def summary(runs, classes, by_kind, failures):
    print(f"runs: {runs}")
    for c in ("intact", "named", "unchecked", "silent", "crash", "hang"):
        print(f"  {c:22} {classes[c]}")
    print("by damage kind:")
    for kind in sorted(by_kind):
        print(f"  {kind:16} " + ", ".join(f"{c} {n}" for c, n in sorted(by_kind[kind].items())))
    for f in failures[:50]:
        print(f)
    return 1 if classes["silent"] or classes["crash"] or classes["hang"] else 0


def classify(rc, stdout, base_rows, got_rows, checked, base_states=None):
    if rc is None:
        return "hang"
    if rc < 0 or rc >= 128:
        return "crash"
    states = report_states(stdout)
    verdict = "intact"
    for table in set(base_rows) | set(got_rows):
        want, got = base_rows.get(table, Counter()), got_rows.get(table, Counter())
        if want == got:
            continue
        named = rc != 0 and states.get(table, "complete") != "complete"
        if named:
            verdict = "named"
            continue
        lost = sum(want.values()) > sum(got.values())
        if not lost and not checked:
            if verdict == "intact":
                verdict = "unchecked"
            continue
        return "silent"
    if verdict == "intact" and rc != 0 and (base_states is None or states != base_states):
        verdict = "named"  # the damage was seen though the rows survived it
    return verdict


if __name__ == "__main__":
    sys.exit(main())
