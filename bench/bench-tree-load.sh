#!/usr/bin/env bash
# Tree load against The Sleuth Kit's fls on the same volume: 50,000 files in
# 2,000 folders (entries written straight into a freshly formatted volume,
# which is much faster than creating them through a file-system driver).
# Warm page cache, same run; prints the wall-time ratio and peak memory per
# record.
#   bench-tree-load.sh DUDORAZU_CLI [FOLDERS FILES_PER_FOLDER]
set -euo pipefail
cli="$(realpath "$1")"
folders="${2:-2000}"
per_folder="${3:-25}"
work="$(mktemp -d /tmp/bench-tree.XXXXXX)"
trap 'rm -rf "$work"' EXIT
img="$work/tree.img"
truncate -s 1G "$img"
mkfs.exfat -L BENCH "$img" >/dev/null

python3 - "$img" "$folders" "$per_folder" <<'PY'
import struct, sys
img, folders, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
f = open(img, 'r+b')
bs = f.read(512)
bps, spc = 1 << bs[108], 1 << bs[109]
cb = bps * spc
fat_off, fat_len, heap, count, root = struct.unpack_from('<IIIII', bs, 80)
def cpos(c): return heap * bps + (c - 2) * cb
f.seek(fat_off * bps)
fat = bytearray(f.read(fat_len * bps))
free = count // 2  # a fresh volume leaves the upper half untouched
def alloc(n):
    global free
    c = free
    free += n
    return c
def entry_set(name, folder, first, length, flags):
    units = name.encode('utf-16-le')
    pieces = [units[i:i + 30] for i in range(0, len(units), 30)]
    out = bytearray(32 * (2 + len(pieces)))
    out[0], out[1] = 0x85, 1 + len(pieces)
    struct.pack_into('<HII', out, 4, 0x10 if folder else 0x20, 0x5A8C6000, 0x5A8C6000)
    out[32], out[33], out[35] = 0xC0, flags, len(name)
    struct.pack_into('<QIIQ', out, 40, length, 0, first, length)
    for k, p in enumerate(pieces):
        out[64 + 32 * k] = 0xC1
        out[66 + 32 * k:66 + 32 * k + len(p)] = p
    return out
f.seek(cpos(root))
root_data = bytearray(f.read(cb))
used = next(i for i in range(0, cb, 32) if root_data[i] == 0)
root_entries = bytearray(root_data[:used])
for d in range(folders):
    c = alloc(1)
    body = b''.join(entry_set('文件-%05d.dat' % (d * per + i), False, 0, 0, 1) for i in range(per))
    assert len(body) <= cb
    f.seek(cpos(c))
    f.write(body)
    root_entries += entry_set('目录-%04d' % d, True, c, cb, 3)
chain = [root] + [alloc(1) for _ in range((len(root_entries) + cb - 1) // cb - 1)]
for i, c in enumerate(chain):
    struct.pack_into('<I', fat, 4 * c, chain[i + 1] if i + 1 < len(chain) else 0xFFFFFFFF)
    f.seek(cpos(c))
    f.write(root_entries[i * cb:(i + 1) * cb].ljust(cb, b'\0'))
f.seek(fat_off * bps)
f.write(fat)
PY

part="Partition0"
records=$(( folders * (per_folder + 1) + 1 ))
# Warm the cache and check both tools see every record.
ours=$("$cli" tree "$img" "$part" --json | grep -o '"path"' | wc -l)
theirs=$(fls -r -p "$img" | grep -c $'\t')
echo "records: dudorazu $ours (expected $records), fls $theirs lines"

hyperfine -N -w 1 -r 5 --export-json "$work/h.json" \
  "$cli tree $img $part --json" "fls -r -p $img" >/dev/null
python3 - "$work/h.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))['results']
ours, fls = r[0]['mean'], r[1]['mean']
print(f"tree --json: {ours * 1000:.1f} ms   fls -r -p: {fls * 1000:.1f} ms   ratio {ours / fls:.3f} (target <= 0.2)")
PY
rss=$( { /usr/bin/time -v "$cli" tree "$img" "$part" --json >/dev/null; } 2>&1 | awk '/Maximum resident/ {print $6}')
echo "peak memory: ${rss} KiB, $(( rss * 1024 / records )) bytes per record"
