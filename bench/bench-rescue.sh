#!/usr/bin/env bash
# Imaging a failing disk: dudorazu-cli image against GNU ddrescue, with the
# same block size (1 MiB), the same retry passes and the same slow-read limit,
# on a disk served by bench/failing_disk.c (FUSE) in four patterns taken from
# real failures. For each tool and pattern: the time until 99% of the
# readable bytes were read, the bytes its map calls rescued at the end, the
# reads it sent into bad areas, and whether the two images agree on every
# area both maps call finished. Times are the median of RUNS runs (3), the
# two tools taking turns, since the machine is shared. Not a timed test: it
# prints a table.
#   bench-rescue.sh DUDORAZU_CLI [SIZE_MIB]
set -euo pipefail
cli="$(realpath "$1")"
size_mib="${2:-256}"
runs="${RUNS:-3}"
here="$(cd "$(dirname "$0")" && pwd)"
command -v ddrescue >/dev/null || { echo "ddrescue is not installed (scripts/install-deps.sh bench)" >&2; exit 1; }
pkg-config --exists fuse3 || { echo "libfuse3-dev is not installed (scripts/install-deps.sh bench)" >&2; exit 1; }

base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/bench-rescue.XXXXXX")"
mnt="$work/mnt"
fuse_pid=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then fusermount3 -u "$mnt" 2>/dev/null || umount -l "$mnt" || true; fi
  [ -n "$fuse_pid" ] && kill "$fuse_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"
cc -O2 -o "$work/failing_disk" "$here/failing_disk.c" $(pkg-config --cflags --libs fuse3)
head -c "$((size_mib * 1048576))" /dev/urandom >"$work/backing.img"

# The patterns, in bytes. Retry passes and the slow-read limit are the same
# for both tools: 1 MiB read slower than 0.5 s (2 MiB/s) is slow.
python3 - "$work" "$size_mib" <<'PY'
import random, sys
work, mib = sys.argv[1], int(sys.argv[2])
size, MiB, rng = mib << 20, 1 << 20, random.Random(22)
patterns = {
    # A few hundred scattered bad sectors, some of which read on a later try.
    "scattered": [f"bad {s*512} {s*512+512}" for s in rng.sample(range(size // 512), 300)]
                 + [f"flaky {s*512} {s*512+512} 2" for s in rng.sample(range(size // 512), 30)],
    # One 64 MiB band that never reads, in the middle.
    "band": [f"bad {size//2 - 32*MiB} {size//2 + 32*MiB}"],
    # An area that gets slower with every read, with bad sectors inside.
    # (from 50 MiB/s down to 0.5 MiB/s).
    "degrading": [f"degrade {40*MiB} {48*MiB} 20 40 2000"]
                 + [f"bad {s*512} {s*512+512}" for s in range(40*MiB//512 + 1000, 48*MiB//512, 3000)],
    # A region that reads only while the head moves backwards.
    "backwards": [f"backward {size//2} {size//2 + 8*MiB}"],
}
for name, lines in patterns.items():
    open(f"{work}/{name}.pattern", "w").write("\n".join(lines) + "\n")
PY

mount_disk() {  # PATTERN LOG
  "$work/failing_disk" "$work/backing.img" "$1" "$2" "$mnt" -f -s -o ro,default_permissions &
  fuse_pid=$!
  for _ in $(seq 100); do [ -e "$mnt/disk.img" ] && return 0; sleep 0.05; done
  echo "the failing disk did not mount" >&2
  exit 1
}
unmount_disk() {
  fusermount3 -u "$mnt"
  wait "$fuse_pid" || true
  fuse_pid=""
}

for pattern in scattered band degrading backwards; do
  for run in $(seq "$runs"); do
  for tool in dudorazu ddrescue; do
    rm -f "$work/$tool.img" "$work/$tool.map"
    mount_disk "$work/$pattern.pattern" "$work/$pattern.$tool.$run.log"
    start=$(date +%s.%N)
    if [ "$tool" = dudorazu ]; then
      timeout 900 "$cli" image "$mnt/disk.img" --to-file "$work/$tool.img" --mapfile "$work/$tool.map" \
        --retries 1 --yes >/dev/null 2>"$work/$tool.err" || true
    else
      timeout 900 ddrescue -q -c 2048 -r 1 -a 2097152 "$mnt/disk.img" "$work/$tool.img" "$work/$tool.map" \
        2>"$work/$tool.err" || true
    fi
    end=$(date +%s.%N)
    unmount_disk
    echo "$start $end" >"$work/$pattern.$tool.$run.time"
    cp "$work/$tool.map" "$work/$pattern.$tool.map"
  done
  done
  python3 - "$work" "$pattern" "$runs" <<'PY' >>"$work/rows.txt"
import bisect, statistics, sys
work, pattern, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
size = __import__("os").path.getsize(f"{work}/backing.img")
bad = []
for line in open(f"{work}/{pattern}.pattern"):
    w = line.split()
    if w and w[0] == "bad": bad.append((int(w[1]), int(w[2])))
sectors = size // 512
unreadable = bytearray(sectors)
for s, e in bad:
    for k in range(s // 512, (e + 511) // 512): unreadable[k] = 1
readable = sectors - sum(unreadable)
bad.sort()
bad_starts = [s for s, _ in bad]

def touches_bad(off, n):
    k = bisect.bisect_left(bad_starts, off + n)  # ranges starting before the read's end
    return k > 0 and bad[k - 1][1] > off or any(bad[i][1] > off for i in range(max(0, k - 2), k))

def finished(map_path):
    out, status_seen = [], False
    for line in open(map_path):
        w = line.split("#")[0].split()
        if not w: continue
        if not status_seen: status_seen = True; continue
        if w[2] == "+": out.append((int(w[0], 0), int(w[0], 0) + int(w[1], 0)))
    return out

row = [pattern]
fin = {}
def one_run(tool, run):
    start, end = map(float, open(f"{work}/{pattern}.{tool}.{run}.time").read().split())
    got, have, at99, into_bad = bytearray(sectors), 0, None, 0
    for line in open(f"{work}/{pattern}.{tool}.{run}.log"):
        t, off, n, ok = line.split()
        off, n = int(off), int(n)
        first, last = off // 512, (off + n - 1) // 512
        if touches_bad(off, n): into_bad += 1
        if ok != "1": continue
        for k in range(first, last + 1):
            if not got[k] and not unreadable[k]:
                got[k] = 1
                have += 1
        if at99 is None and have >= 0.99 * readable: at99 = float(t) - start
    return at99, into_bad, end - start

for tool in ("dudorazu", "ddrescue"):
    results = [one_run(tool, run) for run in range(1, runs + 1)]
    at99 = [r[0] for r in results]
    fin[tool] = finished(f"{work}/{pattern}.{tool}.map")
    rescued = sum(e - s for s, e in fin[tool])
    median99 = f"{statistics.median(at99):.1f}" if None not in at99 else "never"
    row += [median99, str(rescued), str(results[0][1]), f"{statistics.median(r[2] for r in results):.1f}"]

# Every byte both maps call finished must be the same in both images.
a, b = open(f"{work}/dudorazu.img", "rb"), open(f"{work}/ddrescue.img", "rb")
differ, both = 0, 0
i = j = 0
x, y = fin["dudorazu"], fin["ddrescue"]
while i < len(x) and j < len(y):
    s, e = max(x[i][0], y[j][0]), min(x[i][1], y[j][1])
    if s < e:
        both += e - s
        for p in range(s, e, 1 << 20):
            n = min(1 << 20, e - p)
            a.seek(p); b.seek(p)
            if a.read(n) != b.read(n): differ += n
    if x[i][1] < y[j][1]: i += 1
    else: j += 1
row.append("yes" if differ == 0 else f"NO ({differ} bytes differ)")
print("\t".join(row))
PY
done

echo "failing disk of $size_mib MiB, block 1 MiB, 1 retry pass, slow below 2 MiB/s; times: median of $runs runs"
python3 - "$work/rows.txt" <<'PY'
import sys
head = ("pattern", "99% dudorazu s", "99% ddrescue s", "rescued dudorazu", "rescued ddrescue",
        "bad reads dudorazu", "bad reads ddrescue", "run dudorazu s", "run ddrescue s", "finished areas agree")
print("| " + " | ".join(head) + " |")
print("|" + "---|" * len(head))
for line in open(sys.argv[1]):
    p, d99, drescued, dbad, drun, r99, rrescued, rbad, rrun, agree = line.rstrip("\n").split("\t")
    print(f"| {p} | {d99} | {r99} | {drescued} | {rrescued} | {dbad} | {rbad} | {drun} | {rrun} | {agree} |")
PY
