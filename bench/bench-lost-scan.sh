#!/usr/bin/env bash
# Lost-file scan against dd reading the same partition to /dev/null, side by
# side with a warm page cache: a 1 GiB volume whose cluster heap is filled
# with random bytes, a few dozen JPEG images and some folder clusters whose entries no
# folder reaches.
# Prints the throughput ratio (dd time / scan time; target >= 0.7).
#   bench-lost-scan.sh DUDORAZU_CLI [SIZE_MIB]
set -euo pipefail
cli="$(realpath "$1")"
size_mib="${2:-1024}"
work="$(mktemp -d /tmp/bench-scan.XXXXXX)"
trap 'rm -rf "$work"' EXIT
img="$work/scan.img"
truncate -s "${size_mib}M" "$img"
mkfs.exfat -L SCAN "$img" >/dev/null
for i in $(seq 1 6); do convert -size $((200 + 40 * i))x160 plasma: -quality 85 "$work/p$i.jpg"; done

python3 - "$img" "$work" "$(dirname "$0")" <<'PY'
import os, random, struct, sys
img, work = sys.argv[1], sys.argv[2]
sys.path.insert(0, sys.argv[3])
from exfat_geometry import Geometry
f = open(img, 'r+b')
g = Geometry(f)
cb, count, root, cpos = g.cb, g.count, g.root, g.cpos
def entry_set(name, first, length):
    units = name.encode('utf-16-le')
    out = bytearray(96)
    out[0], out[1] = 0x85, 2
    struct.pack_into('<H', out, 4, 0x20)
    out[32], out[33], out[35] = 0xC0, 3, len(name)
    struct.pack_into('<QIIQ', out, 40, length, 0, first, length)
    out[64] = 0xC1
    out[66:66 + len(units)] = units
    return out
folder_cluster = b''.join(entry_set('lost-%04d.bin' % i, 0, 0) for i in range(40)).ljust(cb, b'\0')
first = root + 8  # past the bitmap, up-case table and root folder
chunk = 8 << 20
pos, end = cpos(first), cpos(count + 2)
while pos < end:
    n = min(chunk, end - pos)
    f.seek(pos)
    f.write(os.urandom(n))
    pos += n
rng = random.Random(1)
jpegs = [open(os.path.join(work, 'p%d.jpg' % i), 'rb').read() for i in range(1, 7)]
for k in range(48):
    c = rng.randrange(first, count - 64)
    data = jpegs[k % 6]
    f.seek(cpos(c))
    f.write(data + bytes(-len(data) % 512 + 512))
for k in range(32):
    f.seek(cpos(rng.randrange(first, count - 64)))
    f.write(folder_cluster)
PY

part="Partition0"
"$cli" scan-lost "$img" "$part" --json >"$work/scan.json"
echo "scan found $(grep -o '"path"' "$work/scan.json" | wc -l) records, $(grep -o '\.jpg"' "$work/scan.json" | wc -l) JPEG names"
hyperfine -N -w 2 -r 8 --export-json "$work/h.json" \
  "$cli scan-lost $img $part --json" "dd if=$img of=/dev/null bs=1M" >/dev/null
python3 - "$work/h.json" "$size_mib" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))['results']
mib = int(sys.argv[2])
ours, dd = r[0]['mean'], r[1]['mean']
print(f"scan-lost: {ours * 1000:.0f} ms ({mib / ours:.0f} MiB/s)   dd bs=1M: {dd * 1000:.0f} ms ({mib / dd:.0f} MiB/s)"
      f"   throughput ratio {dd / ours:.2f} (target >= 0.7)")
PY
rss=$( { /usr/bin/time -v "$cli" scan-lost "$img" "$part" --json >/dev/null; } 2>&1 | awk '/Maximum resident/ {print $6}')
echo "peak memory: ${rss} KiB"
