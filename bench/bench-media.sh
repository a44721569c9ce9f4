#!/usr/bin/env bash
# Camera, phone and office files carved from a quick-formatted card, against
# PhotoRec on the same image in one run. The card (a 1 GiB exFAT volume; a
# real card is larger, the ratios do not depend on it) is filled as a camera
# and a phone fill one: random files first, deleted, then real files of every
# kind the carver knows (three sets of tests/fixtures/carve-samples.sh at
# growing sizes, JPEG photos, one video of about 200 MB), some deleted; then
# mkfs.exfat formats it again and a few new files are written over the start
# of the heap. Per format: the files still whole on the card, and for each
# tool those given back byte for byte, with bytes past their end (junk), and
# missed; the times of both, and the scan's speed against dd reading the same
# card (both from the page cache). Needs root (loop device, FUSE).
#   bench-media.sh DUDORAZU_CLI
set -euo pipefail
cli="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d /tmp/bench-media.XXXXXX)"
mnt="$work/mnt"
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
for tool in mkfs.exfat mount.exfat-fuse photorec convert exiftool ffmpeg zip groff ps2pdf python3 losetup; do
  command -v "$tool" >/dev/null || { echo "bench-media: $tool is missing"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-media: needs root for loop devices"; exit 1; }
# shellcheck source=../tests/fixtures/carve-samples.sh
source "$here/../tests/fixtures/carve-samples.sh"

# --- the files ------------------------------------------------------------------
src="$work/files"
mkdir -p "$src" "$mnt"
set_no=0
for size in "320 240 2" "640 480 4" "1024 768 3"; do
  read -r w h seconds <<<"$size"
  set_no=$((set_no + 1))
  carve_samples "$work/set$set_no" "$seconds" "$w" "$h" 2>/dev/null
  for f in "$work/set$set_no"/*; do mv "$f" "$src/s$set_no-$(basename "$f")"; done
done
for i in $(seq 1 12); do
  convert -size "$((600 + i * 70))x$((400 + i * 50))" plasma: -quality 90 "$src/photo$i.jpg"
done
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=9" \
  -vf "noise=alls=30:allf=t" -c:v mpeg4 -q:v 2 "$src/wedding.mp4"

# --- the card -------------------------------------------------------------------
img="$work/card.img"
truncate -s 1025M "$img"
echo 'start=2048, type=7' | sfdisk -q "$img"
loop="$(losetup -f --show -o $((2048 * 512)) --sizelimit $((1024 << 20)) "$img")"
mkfs.exfat -L CARD "$loop" >/dev/null
mount_card() { mount.exfat-fuse "$loop" "$mnt" >/dev/null; }
unmount_card() {
  sync
  umount "$mnt"
  while pgrep -f "^mount.exfat-fuse $loop $mnt\$" >/dev/null; do sleep 0.1; done
}
mount_card
for i in $(seq 1 9); do head -c $((110 << 20)) /dev/urandom >"$mnt/old-$i.bin"; done
unmount_card
mount_card
rm "$mnt"/old-*.bin
unmount_card
mount_card
cp "$src"/* "$mnt/"
unmount_card
# Where each file lies, read before anything is deleted.
root_files "$img" | while read -r name _ length offset; do echo "$name $offset $length"; done >"$work/where.txt"
mount_card
rm -f "$mnt"/s2-*.gif "$mnt"/s3-clip.* "$mnt"/photo1*.jpg
unmount_card
# Quick format, then a few new files over the start of the heap.
mkfs.exfat -L CARD "$loop" >/dev/null
mount_card
for i in 1 2; do head -c $((1 << 20)) /dev/urandom >"$mnt/new-$i.bin"; done
unmount_card
losetup -d "$loop"
loop=""

# --- both tools -------------------------------------------------------------------
ours="$work/ours" theirs="$work/theirs"
# Each run reads the card from the disk, not from the page cache: the
# card's pages are dropped before each (this file's only).
evict() { python3 -c "import os, sys; fd = os.open(sys.argv[1], os.O_RDONLY); os.fsync(fd); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)" "$img"; }
sync
evict; t0=$(date +%s.%N)
dd if="$img" of=/dev/null bs=4M 2>/dev/null
t1=$(date +%s.%N); evict; t1b=$(date +%s.%N)
"$cli" scan-lost "$img" Partition0 --json >"$work/ours.json"
t2=$(date +%s.%N); evict; t2b=$(date +%s.%N)
"$cli" recover "$img" Partition0 "$ours" --lost --path /扩展目录 >/dev/null 2>&1 || true
t3=$(date +%s.%N); sync; evict; t3b=$(date +%s.%N)
(cd "$work" && photorec /log /d "$theirs" /cmd "$img" partition_none,options,paranoid,fileopt,everything,enable,search \
  >/dev/null 2>&1) || true
t4=$(date +%s.%N); evict; t4b=$(date +%s.%N)
# dd once more from the disk: the faster of its two runs is the measure.
dd if="$img" of=/dev/null bs=4M 2>/dev/null
t5=$(date +%s.%N)
# The same from the page cache.
dd if="$img" of=/dev/null bs=4M 2>/dev/null
w0=$(date +%s.%N)
dd if="$img" of=/dev/null bs=4M 2>/dev/null
w1=$(date +%s.%N)
"$cli" scan-lost "$img" Partition0 >/dev/null
w2=$(date +%s.%N)

python3 - "$img" "$work/where.txt" "$src" "$ours" "$theirs" "$work/ours.json" "$t0" "$t1" "$t1b" "$t2" "$t2b" "$t3" "$t3b" "$t4" "$t4b" "$t5" "$w0" "$w1" "$w2" <<'PY'
import hashlib, json, os, sys
from collections import defaultdict
img, where, src, ours, theirs, listing = sys.argv[1:7]
t0, t1, t1b, t2, t2b, t3, t3b, t4, t4b, t5, w0, w1, w2 = map(float, sys.argv[7:20])
size = os.path.getsize(img)
card = open(img, 'rb')
kind_of = lambda name: name.rsplit('.', 1)[-1].lower()
# The files whose bytes are still on the card where they were written.
originals = {}
for line in open(where):
    name, offset, length = line.split()
    data = open(os.path.join(src, name), 'rb').read()
    card.seek(int(offset))
    if card.read(len(data)) == data:
        originals[hashlib.sha256(data).hexdigest()] = (name, data)
by_head = defaultdict(list)
for h, (name, data) in originals.items():
    by_head[data[:64]].append(h)
def files(root):
    parent, base = os.path.split(root)
    for e in os.listdir(parent):
        if e == base or e.startswith(base + '.'):
            for d, _, names in os.walk(os.path.join(parent, e)):
                for n in names:
                    yield os.path.join(d, n)
def score(root):
    exact, junk = set(), {}
    for p in files(root):
        with open(p, 'rb') as f:
            head = f.read(64)
            if head not in by_head:
                continue
            f.seek(0)
            data = f.read()
        h = hashlib.sha256(data).hexdigest()
        if h in originals:
            exact.add(h)
            continue
        for o in by_head[head]:
            if len(data) > len(originals[o][1]) and data.startswith(originals[o][1]):
                junk[o] = p
    return exact, junk
o_exact, o_junk = score(ours)
t_exact, t_junk = score(theirs)
# Ours with junk that the listing says were walked to their end: none allowed.
ends = {r['name']: r.get('carveEnd') for r in json.load(open(listing, encoding='utf-8'))['records']}
called_whole = sum(1 for p in o_junk.values() if ends.get(os.path.basename(p)) in ('structure', 'end-marker'))
rows = defaultdict(lambda: [0] * 7)
for h, (name, _) in originals.items():
    r = rows[kind_of(name)]
    r[0] += 1
    r[1] += h in o_exact; r[2] += h in o_junk and h not in o_exact
    r[4] += h in t_exact; r[5] += h in t_junk and h not in t_exact
for r in rows.values():
    r[3] = r[0] - r[1] - r[2]; r[6] = r[0] - r[4] - r[5]
print(f"card {size / 2**20:.0f} MiB; files whole on it after the format and the new files: {len(originals)}")
print(f"{'format':8} {'on card':>7} | {'dudorazu exact':>14} {'junk':>5} {'missed':>6} | {'PhotoRec exact':>14} {'junk':>5} {'missed':>6}")
total = [0] * 7
behind = []
for k in sorted(rows):
    r = rows[k]
    total = [a + b for a, b in zip(total, r)]
    print(f"{k:8} {r[0]:7} | {r[1]:14} {r[2]:5} {r[3]:6} | {r[4]:14} {r[5]:5} {r[6]:6}")
    if r[1] < r[4]:
        behind.append(k)
print(f"{'all':8} {total[0]:7} | {total[1]:14} {total[2]:5} {total[3]:6} | {total[4]:14} {total[5]:5} {total[6]:6}")
dd, scan, rec, pr = min(t1 - t0, t5 - t4b), t2 - t1b, t3 - t2b, t4 - t3b
wdd, wscan = w1 - w0, w2 - w1
print(f"from the disk: dd {dd:.2f} s ({size / dd / 1e6:.0f} MB/s); dudorazu scan-lost {scan:.2f} s "
      f"({size / scan / 1e6:.0f} MB/s, {dd / scan:.2f} x dd); dudorazu scan and save {rec:.2f} s; "
      f"PhotoRec {pr:.2f} s ({pr / rec:.1f} x ours)")
print(f"from the page cache: dd {wdd:.2f} s; dudorazu scan-lost {wscan:.2f} s ({wdd / wscan:.2f} x dd)")
print(f"ours with junk called walked to their end: {called_whole}")
ok = not behind and called_whole == 0 and dd / scan >= 0.7 and pr / rec >= 5
print("targets (exact >= PhotoRec per format, no junk called whole, >= 0.7 x dd, >= 5 x faster than PhotoRec):",
      "met" if ok else "MISSED" + (f" (behind on {', '.join(behind)})" if behind else ""))
sys.exit(0 if ok else 1)
PY
