#!/usr/bin/env python3
"""Mutation run over the test images: every fixture image is copied once,
then damaged again and again where its structures lie (partition tables, GPT
headers and arrays, boot sectors, the FAT, the root folder), and each damaged
copy goes through the read commands of a command line built with
-DDUDORAZU_SANITIZE=address,undefined.

  fuzz/mutate-fixtures.py CLI [--mutants N] [--seed S] [--only NAME]... [--shard K/N]

A finding is a sanitizer report, a crash (killed by a signal), a command that
outlived its time limit, or a read command that changed the image. Findings
are printed with the seed and fixture so that they can be replayed; the
damaged image of each is kept under fuzz/mutants/. Exit 1 when any was found.
"""
import argparse
import hashlib
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIXTURES = os.path.join(ROOT, "tests", "fixtures")
TIME_LIMIT = 20
SANITIZER_WORDS = ("AddressSanitizer", "UndefinedBehaviorSanitizer", "LeakSanitizer", "runtime error:")


def run(cmd, env):
    try:
        p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        return "hang", ""
    err = p.stderr.decode("utf-8", "replace")
    if any(w in err for w in SANITIZER_WORDS):
        return "sanitizer", err
    if p.returncode < 0 or p.returncode >= 128:
        return "crash %d" % p.returncode, err
    return None, err


def exfat_regions(f, base, size):
    """Boot region, FAT and root folder of an exFAT volume at `base`."""
    f.seek(base)
    boot = f.read(512)
    if len(boot) < 512 or boot[3:11] != b"EXFAT   ":
        return []
    sector = 1 << boot[108] if 9 <= boot[108] <= 12 else 512
    cluster = sector << boot[109] if boot[109] <= 16 else sector
    fat_off, fat_len = struct.unpack_from("<II", boot, 80)
    heap_off, = struct.unpack_from("<I", boot, 88)
    root, = struct.unpack_from("<I", boot, 96)
    regions = [(base, 24 * sector), (base + fat_off * sector, min(fat_len * sector, 64 * 1024))]
    root_at = base + heap_off * sector + (root - 2) * cluster
    if 2 <= root and root_at + cluster <= size:
        regions.append((root_at, cluster))
    return [(o, l) for o, l in regions if 0 <= o < size and l > 0]


def regions_of(img, cli, env):
    size = os.path.getsize(img)
    regions = [(0, 34 * 512), (0, 34 * 4096), (max(0, size - 33 * 4096), 33 * 4096)]
    out = subprocess.run([cli, "disks", "--no-drives", "--image", img, "--json"], capture_output=True, env=env)
    names = []
    try:
        disks = json.loads(out.stdout)
        disks = disks.get("disks", disks) if isinstance(disks, dict) else disks
        for d in disks:
            for p in d.get("partitions", []):
                names.append(p.get("name"))
                unit = p.get("deviceSectorSize", 512) or 512
                start = p.get("startSector", 0) * unit
                regions.append((start, 24 * 4096))
                with open(img, "rb") as f:
                    regions += exfat_regions(f, start, size)
    except (ValueError, AttributeError, TypeError):
        pass
    with open(img, "rb") as f:
        regions += exfat_regions(f, 0, size)
    names = [n for n in names if n] or ["Partition0"]
    return [(o, min(l, size - o)) for o, l in regions if o < size], names


def mutate(rng, f, regions):
    """Damages the open image; returns what to write back: (offset, bytes)."""
    undo = []
    for _ in range(rng.randint(1, 6)):
        base, length = rng.choice(regions)
        at = base + rng.randrange(length)
        kind = rng.random()
        if kind < 0.5:
            n = 1
            new = bytes([rng.randrange(256)])
        elif kind < 0.8:
            n = rng.choice((2, 4, 8))
            at -= at % n
            new = rng.choice((b"\xff" * n, b"\x00" * n, b"\x7f" + b"\xff" * (n - 1), (b"\x00" * (n - 1)) + b"\x80",
                              bytes(rng.randrange(256) for _ in range(n))))
        else:
            n = 512
            at -= at % 512
            new = rng.choice((b"\x00" * n, b"\xff" * n, bytes(rng.randrange(256) for _ in range(n))))
        f.seek(at)
        old = f.read(n)
        if len(old) < n:
            continue
        f.seek(at)
        f.write(new)
        undo.append((at, old))
    f.flush()
    return undo


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--mutants", type=int, default=300)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", action="append")
    ap.add_argument("--shard", default="0/1", help="K/N: every N-th fixture from the K-th, for parallel runs")
    args = ap.parse_args()
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0", UBSAN_OPTIONS="print_stacktrace=1")
    keep = os.path.join(ROOT, "fuzz", "mutants")
    fixtures = sorted(n[:-4] for n in os.listdir(FIXTURES) if n.endswith(".img.zst"))
    if args.only:
        fixtures = [n for n in fixtures if n in args.only or n[:-4] in args.only]
    k, n = (int(x) for x in args.shard.split("/"))
    fixtures = fixtures[k::n]
    findings = 0
    runs = 0
    work = tempfile.mkdtemp(prefix="dudorazu-mutate-")
    try:
        for name in fixtures:
            img = os.path.join(work, name)
            subprocess.run(["zstd", "-q", "-d", "-f", os.path.join(FIXTURES, name + ".zst"), "-o", img], check=True)
            regions, parts = regions_of(img, args.cli, env)
            rng = random.Random("%d/%s" % (args.seed, name))
            small = os.path.getsize(img) <= 64 << 20
            for i in range(args.mutants):
                with open(img, "r+b") as f:
                    undo = mutate(rng, f, regions)
                before = os.stat(img)
                digest = hashlib.sha256(open(img, "rb").read()).hexdigest() if i % 50 == 0 and small else None
                part = rng.choice(parts)
                out = os.path.join(work, "out")
                commands = [
                    ["disks", "--no-drives", "--image", img, "--json"],
                    ["tree", img, part],
                    ["scan-lost", img, part],
                    ["recover", img, part, out, "--deleted" if i % 2 else "--live"],
                    ["search", img] + (["--mode", rng.choice(["cylinder", "head", "sector"])] if small and i % 3 == 0 else []),
                    ["pt-backup", img, os.path.join(work, "table.bak")],
                ]
                for cmd in commands:
                    runs += 1
                    problem, err = run([args.cli] + cmd, env)
                    after = os.stat(img)
                    if not problem and (after.st_mtime_ns != before.st_mtime_ns or after.st_size != before.st_size):
                        problem = "image changed"
                    if problem:
                        findings += 1
                        os.makedirs(keep, exist_ok=True)
                        saved = os.path.join(keep, "%s.%d.%d.img" % (name, args.seed, i))
                        subprocess.run(["cp", "--sparse=always", img, saved])
                        print("FINDING %s: %s #%d: %s\n  %s\n%s" % (problem, name, i, " ".join(cmd), saved,
                                                                   "\n".join(err.splitlines()[:30])), flush=True)
                    shutil.rmtree(out, ignore_errors=True)
                if digest and hashlib.sha256(open(img, "rb").read()).hexdigest() != digest:
                    findings += 1
                    print("FINDING image changed: %s #%d" % (name, i), flush=True)
                with open(img, "r+b") as f:
                    for at, old in reversed(undo):
                        f.seek(at)
                        f.write(old)
            print("%s: %d mutants, %d runs so far, %d findings" % (name, args.mutants, runs, findings), flush=True)
            os.unlink(img)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("total: %d command runs, %d findings" % (runs, findings))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
