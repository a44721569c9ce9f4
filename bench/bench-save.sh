#!/usr/bin/env bash
# Saving every live file of a real exFAT volume, against the same bytes
# copied by dd (one stream out of the image: the physical limit here) and by
# cp -r (the same files, created one by one), and against The Sleuth Kit's
# tsk_recover on the same partition; then ten parallel jobs against one.
# Builds its volume with mkfs.exfat and the FUSE driver (needs root, loop
# devices and FUSE). Everything runs from the page cache, in one run.
#   bench-save.sh DUDORAZU_CLI
set -euo pipefail
cli="$(realpath "$1")"
runs="${BENCH_RUNS:-3}"
work="$(mktemp -d /tmp/bench-save.XXXXXX)"
img="$work/volume.img"
mnt="$work/mnt"
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

for tool in mkfs.exfat mount.exfat-fuse tsk_recover hyperfine losetup; do
  command -v "$tool" >/dev/null || { echo "bench-save: $tool is missing (make bench installs it)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-save: needs root for loop devices"; exit 1; }

# --- the volume: many files and several large ones, two fragmented ----------
mkdir -p "$mnt"
truncate -s 640M "$img"
echo 'start=2048, type=7' | sfdisk -q "$img"
loop="$(losetup -f --show -o $((2048 * 512)) --sizelimit $(((640 * 2048 - 2048) * 512)) "$img")"
mkfs.exfat -L BENCH "$loop" >/dev/null
mount.exfat-fuse "$loop" "$mnt" >/dev/null
seed="$work/seed.bin"
head -c $((64 << 20)) /dev/urandom >"$seed"
piece() { dd if="$seed" bs=4096 skip="$2" count="$3" status=none >>"$1"; }
for d in $(seq 0 9); do
  mkdir -p "$mnt/all/d$d"
  for i in $(seq 1 60); do piece "$mnt/all/d$d/small-$i.bin" $(( (d * 60 + i) % 15000 )) $(( 1 + (i * 7) % 24 )); done
  for i in $(seq 1 12); do piece "$mnt/all/d$d/mid-$i.bin" $(( (d * 12 + i) * 37 % 15000 )) $(( 64 + (i * 13) % 96 )); done
done
for d in 0 3 6; do piece "$mnt/all/d$d/large.bin" 0 $((48 * 256)); done
for i in $(seq 1 60); do  # two files grown in turns fragment
  piece "$mnt/all/d8/fragA.bin" $((i * 40)) 64
  piece "$mnt/all/d9/fragB.bin" $((i * 50)) 96
done
sync
umount "$mnt"
# The driver writes its last sectors as it exits.
while pgrep -f "^mount.exfat-fuse $loop $mnt\$" >/dev/null; do sleep 0.1; done
losetup -d "$loop"
loop=""
rm -f "$seed"

total=$("$cli" recover "$img" Partition0 "$work/x" --path /all --dry-run | tail -1 |
        sed -E 's/.* ([0-9]+) bytes.*/\1/')
files=$("$cli" stats "$img" Partition0 /all)
echo "volume: 640 MiB image, $files"
cat "$img" >/dev/null  # into the page cache

out="$work/out"
stage="$work/stage"
"$cli" recover "$img" Partition0 "$stage" --path /all --live >/dev/null
hf() {  # NAME COMMAND
  hyperfine -N --runs "$runs" --warmup 1 --prepare "rm -rf $out" --export-json "$work/$1.json" "$2" >/dev/null 2>&1 ||
    hyperfine --runs "$runs" --warmup 1 --prepare "rm -rf $out" --export-json "$work/$1.json" "$2" >/dev/null
  python3 -c "import json;print(min(json.load(open('$work/$1.json'))['results'][0]['times']))"
}
t_dd=$(hf dd "dd if=$img of=$out.blob iflag=skip_bytes,count_bytes skip=$((2048 * 512)) count=$total bs=4M status=none")
rm -f "$out.blob"
t_cp=$(hf cp "cp -r $stage $out")
t_tsk=$(hf tsk "tsk_recover -a -o 2048 $img $out")
t_one=$(hf one "$cli recover $img Partition0 $out --path /all --live")
paths=""
for d in $(seq 0 9); do paths="$paths --path /all/d$d"; done
t_ten=$(hf ten "$cli recover $img Partition0 $out $paths --live")

# Same bytes out as icat gives them (a spot check of the benchmark's output).
rm -rf "$out"
"$cli" recover "$img" Partition0 "$out" --path /all/d3 --live >/dev/null
inode=$(fls -r -p -o 2048 "$img" | awk -F'\t' '$2 == "all/d3/large.bin" {split($1, a, " "); sub(":", "", a[2]); print a[2]}')
[ "$(icat -o 2048 "$img" "$inode" | sha256sum | cut -d' ' -f1)" = "$(sha256sum <"$out/d3/large.bin" | cut -d' ' -f1)" ] ||
  { echo "bench-save: output differs from icat"; exit 1; }

python3 - "$total" "$t_dd" "$t_cp" "$t_tsk" "$t_one" "$t_ten" <<'PY'
import sys
total, dd, cp, tsk, one, ten = int(sys.argv[1]), *map(float, sys.argv[2:])
mb = total / 1e6
def row(name, t): print(f"  {name:34s} {t:7.3f} s  {mb / t:8.1f} MB/s")
print(f"live bytes saved: {total} ({mb:.1f} MB), best of the runs")
row("dd of the image region (limit)", dd)
row("cp -r of the same files", cp)
row("tsk_recover -a", tsk)
row("dudorazu-cli recover, 1 job", one)
row("dudorazu-cli recover, 10 jobs", ten)
print(f"ratios: recover/dd throughput {dd / one:.2f}x, recover/cp {cp / one:.2f}x, "
      f"faster than tsk_recover {tsk / one:.2f}x, 10 jobs vs 1 job {one / ten:.2f}x")
PY
