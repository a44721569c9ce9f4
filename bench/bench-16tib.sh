#!/usr/bin/env bash
# A 16 TiB disk, written sparse at run time: a GPT holding an exFAT volume of
# 512-byte sectors over its first TiB and one of 4 KiB sectors over the
# other 15 TiB (formatted through a loop device of 4 KiB sectors), both with
# 128 KiB clusters and a FAT and allocation bitmap of their real size, each
# with a few files spread over its heap (make-far-volume.py: the far ones
# past 8 TiB on the large volume). Every command runs on it and is checked;
# each prints its time and peak memory beside what the volume's own
# metadata takes. The first volume's lost-file scan (1 TiB of heap, all
# holes but a few clusters) is timed against dd over the same bytes: a hole
# reads as zeros out of memory, so this is the scan's own cost per byte.
#   bench-16tib.sh DUDORAZU_CLI [--quick]
# --quick leaves out the 15 TiB volume's lost-file scan (a quarter of an hour).
# Needs root (loop devices), mkfs.exfat, sfdisk, ImageMagick's convert.
set -euo pipefail
cli="$(realpath "$1")"
quick="${2:-}"
here="$(cd "$(dirname "$0")" && pwd)"
# tmpfs holds a sparse file of 16 TiB; ext4 stops 4 KiB short of it.
work="$(mktemp -d /dev/shm/bench-16tib.XXXXXX)"
loop=""
cleanup() {
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
img="$work/disk.img"
sector=512
disk_sectors=$(((16 << 40) / sector))
small_start=2048 small_sectors=$(((1 << 40) / sector))
far_start=$((small_start + small_sectors + 2048))
far_sectors=$((disk_sectors - 34 - far_start))
basic=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7

fail() { echo "FAILED: $*" >&2; exit 1; }
# STEP COMMAND...: runs it, keeps stdout in $work/out, prints time and peak memory.
measure() {
  local step="$1"
  shift
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; fail "$step"; }
  read -r secs kib <"$work/time"
  printf '  %-34s %8.2f s  peak %6d MiB' "$step" "$secs" $((kib / 1024))
}

truncate -s $((disk_sectors * sector)) "$img"
printf 'label: gpt\nstart=%d, size=%d, type=%s, name=small\nstart=%d, size=%d, type=%s, name=far\n' \
  "$small_start" "$small_sectors" "$basic" "$far_start" "$far_sectors" "$basic" | sfdisk -q "$img"
loop="$(losetup -f --show -o $((small_start * sector)) --sizelimit $((small_sectors * sector)) "$img")"
mkfs.exfat -L SMALL -c 128K "$loop" >/dev/null
losetup -d "$loop"
loop="$(losetup -f --show --sector-size 4096 -o $((far_start * sector)) --sizelimit $((far_sectors * sector)) "$img")"
mkfs.exfat -L FAR -c 128K "$loop" >/dev/null
losetup -d "$loop"
loop=""
convert -size 320x200 plasma: -quality 85 "$work/p.jpg"
python3 "$here/make-far-volume.py" "$img" $((small_start * sector)) "$work/p.jpg" $((5 << 30)) >"$work/small.expect"
python3 "$here/make-far-volume.py" "$img" $((far_start * sector)) "$work/p.jpg" $((6 << 30)) >"$work/far.expect"
echo "16 TiB disk: $(du -k "$img" | cut -f1) KiB written; volumes small (1 TiB, 512-byte sectors) and far (15 TiB, 4 KiB sectors)"

measure "disks --json" "$cli" disks --no-drives --json --image "$img"
for want in "\"startSector\":$small_start,\"sizeSectors\":$small_sectors" \
            "\"startSector\":$far_start,\"sizeSectors\":$far_sectors" '"label":"SMALL"' '"label":"FAR"'; do
  grep -qF "$want" "$work/out" || fail "disks does not list $want"
done
echo "   holds the partition tables' sectors"

for vol in small far; do
  part="$vol(exFat)"
  boot_at=$((${vol}_start * sector))
  read -r clusters bitmap_mib fat_mib fat_words_kib < <(python3 - "$img" "$boot_at" <<'PY'
import struct, sys
f = open(sys.argv[1], 'rb'); f.seek(int(sys.argv[2])); b = f.read(512)
count = struct.unpack_from('<I', b, 92)[0]
print(count, count / 8 / 2**20, count * 4 / 2**20, count // 1024 * 4 // 1024)
PY
)
  # A FAT stretch of 4 KiB of zeros or of n -> n + 1 is held as one word; the
  # few holding chains (here the fragmented file's) in full.
  meta="the FAT as a word per 4 KiB ($fat_words_kib KiB) and its few stretches"
  meta+=" with chains, the allocation bitmap and the live tree's clusters ($(printf %.1f "$bitmap_mib") MiB each,"
  meta+=" a bit a cluster)"
  echo "volume $vol: $clusters clusters of 128 KiB; its FAT is $(printf %.0f "$fat_mib") MiB, its bitmap $(printf %.1f "$bitmap_mib") MiB"

  measure "tree --json ($vol)" "$cli" tree "$img" "$part" --json
  echo "   held: $meta"
  python3 - "$work/out" "$work/$vol.expect" <<'PY' || fail "tree of $vol"
import json, sys
records = {r['path']: r for r in json.load(open(sys.argv[1]))['records']}
want = [l.split()[2] for l in open(sys.argv[2]) if l.startswith('sum ')]
missing = [p for p in want + ['/deleted.txt', '/照片/gone.bin'] if p not in records]
assert not missing, missing
assert records['/deleted.txt']['state'] != records['/readme.txt']['state']
assert records['/big.bin']['dataLength'] > 1 << 32
PY

  measure "recover ($vol)" "$cli" recover "$img" "$part" "$work/saved-$vol"
  echo "   held: $meta"
  while read -r key sum path; do
    [ "$key" = sum ] || continue
    [ "$(sha256sum <"$work/saved-$vol/根目录$path" | cut -d' ' -f1)" = "$sum" ] || fail "$vol$path saved wrong"
  done <"$work/$vol.expect"
  rm -rf "$work/saved-$vol"

  if [ "$vol" = far ] && [ "$quick" = --quick ]; then
    echo "  scan-lost (far)                    left out (--quick)"
  else
    measure "scan-lost ($vol)" "$cli" scan-lost "$img" "$part" --json
    echo "   held: $meta and a 2 MiB read batch"
    python3 - "$work/out" "$work/$vol.expect" <<'PY' || fail "scan-lost of $vol"
import json, sys
paths = {r['path']: r for r in json.load(open(sys.argv[1]))['records']}
for line in open(sys.argv[2]):
    key, *rest = line.split()
    if key == 'lost-folder':
        folder = '/' + rest[0]
        assert folder in paths, folder
    elif key == 'lost-file':
        assert folder + '/' + rest[0] in paths, rest[0]
    elif key == 'carve':
        carved = paths.get('/扩展目录/%s.jpg' % rest[0])
        assert carved and carved['dataLength'] == int(rest[1]), carved
PY
  fi
done

# The lost-file scan against dd over the first volume's bytes.
small_bytes=$((small_sectors * sector))
scan_s=() dd_s=()
for run in 1 2; do
  /usr/bin/time -f '%e' -o "$work/time" "$cli" scan-lost "$img" "small(exFat)" >/dev/null
  scan_s+=("$(cat "$work/time")")
  /usr/bin/time -f '%e' -o "$work/time" dd if="$img" of=/dev/null bs=1M iflag=skip_bytes,count_bytes \
    skip=$((small_start * sector)) count="$small_bytes" status=none
  dd_s+=("$(cat "$work/time")")
done
python3 - "$small_bytes" "${scan_s[@]}" "${dd_s[@]}" <<'PY'
import sys
gib = int(sys.argv[1]) / 2**30
scan, dd = min(map(float, sys.argv[2:4])), min(map(float, sys.argv[4:6]))
print(f"lost-file scan of 1 TiB of heap: {scan:.1f} s ({gib / scan:.1f} GiB/s)   dd bs=1M: {dd:.1f} s ({gib / dd:.1f} GiB/s)"
      f"   ratio {dd / scan:.2f} (goal >= 0.7)")
PY

boundaries=$((disk_sectors / 2048))
measure "search (aligned)" "$cli" search "$img" --json
echo "   reads 6.5 KiB at each of $boundaries 1 MiB boundaries and the cylinder candidates; holds one such read"
python3 - "$work/out" "$small_start" "$far_start" <<'PY' || fail "search"
import json, sys
found = sorted(f['startSector'] for f in json.load(open(sys.argv[1]))['found'])
assert found == [int(sys.argv[2]), int(sys.argv[3])], found
PY

# The table sectors: the first 34 and the last 33 of the disk.
dd if="$img" of="$work/head" bs=512 count=34 status=none
dd if="$img" of="$work/tail" bs=512 skip=$((disk_sectors - 33)) count=33 status=none
measure "pt-backup" "$cli" pt-backup "$img" "$work/table.bak"
echo "   holds the sectors it saves"
dd if=/dev/zero of="$img" bs=512 count=34 conv=notrunc status=none
dd if=/dev/zero of="$img" bs=512 seek=$((disk_sectors - 33)) count=33 conv=notrunc status=none
measure "pt-restore" "$cli" pt-restore "$img" "$work/table.bak" --yes
echo "   holds the sectors it writes"
cmp -s "$work/head" <(dd if="$img" bs=512 count=34 status=none) || fail "pt-restore: the primary GPT differs"
cmp -s "$work/tail" <(dd if="$img" bs=512 skip=$((disk_sectors - 33)) count=33 status=none) ||
  fail "pt-restore: the backup GPT differs"

# Imaging the disk's last GiB: the far volume's files and the backup GPT.
window=$((disk_sectors - (1 << 21)))
measure "image (last GiB)" "$cli" image "$img" --start "$window" --to-file "$work/window.img" --yes
echo "   holds its 1 MiB blocks and the map"
cmp -s "$work/window.img" <(dd if="$img" bs=1M iflag=skip_bytes skip=$((window * sector)) status=none) ||
  fail "the imaged window differs from the disk"
echo "every step checked"
