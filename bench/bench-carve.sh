#!/usr/bin/env bash
# Photos carved from a quick-formatted card, against PhotoRec on the same
# image. The card (a 128 MiB exFAT volume) is written as a camera leaves it:
# random files first, deleted, then photos of every kind (baseline,
# progressive, Exif with a thumbnail) over their clusters, so the slack after
# each photo holds old bytes; then mkfs.exfat formats it again. Counts the
# photos each tool gives back byte for byte, and the carved files of ours
# that hold bytes past a photo's end (target: as many as PhotoRec, none past
# the end), and times both. Needs root (loop device, FUSE).
#   bench-carve.sh DUDORAZU_CLI [PHOTOS]
set -euo pipefail
cli="$(realpath "$1")"
photos="${2:-40}"
work="$(mktemp -d /tmp/bench-carve.XXXXXX)"
mnt="$work/mnt"
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
for tool in mkfs.exfat mount.exfat-fuse photorec convert exiftool python3 losetup; do
  command -v "$tool" >/dev/null || { echo "bench-carve: $tool is missing"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-carve: needs root for loop devices"; exit 1; }

# --- the photos ---------------------------------------------------------------
src="$work/photos"
mkdir -p "$src" "$mnt"
convert -size 160x120 plasma: -quality 80 "$work/thumb.jpg"
for i in $(seq 1 "$photos"); do
  w=$((400 + (i * 97) % 1400)) h=$((300 + (i * 61) % 1000))
  case $((i % 3)) in
    0) convert -size "${w}x${h}" plasma: -quality 92 "$src/p$i.jpg" ;;
    1) convert -size "${w}x${h}" plasma:fractal -quality 88 -interlace Plane "$src/p$i.jpg" ;;
    2) convert -size "${w}x${h}" plasma:green-purple -quality 90 "$work/raw.jpg"
       exiftool -q -JFIF:all= -Make=Bench '-ThumbnailImage<='"$work/thumb.jpg" -o "$src/p$i.jpg" "$work/raw.jpg"
       rm "$work/raw.jpg" ;;
  esac
done

# --- the card -------------------------------------------------------------------
img="$work/card.img"
truncate -s 129M "$img"
echo 'start=2048, type=7' | sfdisk -q "$img"
loop="$(losetup -f --show -o $((2048 * 512)) --sizelimit $((128 << 20)) "$img")"
mkfs.exfat -L CARD "$loop" >/dev/null
mount_card() { mount.exfat-fuse "$loop" "$mnt" >/dev/null; }
unmount_card() {
  sync
  umount "$mnt"
  while pgrep -f "^mount.exfat-fuse $loop $mnt\$" >/dev/null; do sleep 0.1; done
}
mount_card
for i in $(seq 1 8); do head -c $((9 << 20)) /dev/urandom >"$mnt/old-$i.bin"; done
unmount_card
mount_card
rm "$mnt"/old-*.bin
unmount_card
mount_card
mkdir -p "$mnt/DCIM"
cp "$src"/*.jpg "$mnt/DCIM/"
unmount_card
mkfs.exfat -L CARD "$loop" >/dev/null
losetup -d "$loop"
loop=""
total_bytes=$(cat "$src"/*.jpg | wc -c)

# --- both tools -------------------------------------------------------------------
ours="$work/ours" theirs="$work/theirs"
start=$(date +%s.%N)
"$cli" recover "$img" Partition0 "$ours" --lost --path /扩展目录 --ext jpg >/dev/null 2>&1 || true
mid=$(date +%s.%N)
(cd "$work" && photorec /log /d "$theirs" /cmd "$img" partition_none,fileopt,everything,disable,jpg,enable,search \
  >/dev/null 2>&1) || true
end=$(date +%s.%N)

python3 - "$src" "$ours" "$theirs" "$start" "$mid" "$end" "$total_bytes" <<'PY'
import hashlib, os, sys
src, ours, theirs = sys.argv[1:4]
start, mid, end = map(float, sys.argv[4:7])
def files(root):
    # PhotoRec writes into ROOT.1, ROOT.2, ...
    parent, base = os.path.split(root)
    dirs = [os.path.join(parent, e) for e in os.listdir(parent) if e == base or e.startswith(base + '.')]
    for d, _, names in (w for top in dirs for w in os.walk(top)):
        for n in names:
            if n.lower().endswith('.jpg'):
                yield os.path.join(d, n)
originals = {}
for p in files(src):
    data = open(p, 'rb').read()
    originals[hashlib.sha256(data).hexdigest()] = data
def score(root):
    exact, past = set(), 0
    for p in files(root):
        data = open(p, 'rb').read()
        h = hashlib.sha256(data).hexdigest()
        if h in originals:
            exact.add(h)
        elif any(data.startswith(o) for o in originals.values()):
            past += 1
    return len(exact), past
n = len(originals)
o_exact, o_past = score(ours)
t_exact, t_past = score(theirs)
print(f"photos on the card: {n} ({int(sys.argv[7]) / 1e6:.1f} MB)")
print(f"dudorazu  {o_exact:3d}/{n} byte-exact, {o_past} running past a photo's end, {mid - start:6.2f} s")
print(f"PhotoRec  {t_exact:3d}/{n} byte-exact, {t_past} running past a photo's end, {end - mid:6.2f} s")
ok = o_exact >= t_exact and o_past == 0
print("target (at least as many as PhotoRec, none past the end):", "met" if ok else "MISSED")
sys.exit(0 if ok else 1)
PY
