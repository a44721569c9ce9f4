#!/usr/bin/env bash
# Saving every live file of a real exFAT volume, against the same bytes
# copied by dd (one stream out of the image: the physical limit here) and by
# cp -r (the same files, created one by one), and against The Sleuth Kit's
# tsk_recover on the same partition; then ten parallel jobs against one, and
# a save with a DFXML report (every file hashed) against the same save without.
# Builds its volume with mkfs.exfat and the FUSE driver (needs root, loop
# devices and FUSE). Everything reads from the page cache and writes to one
# file system made for the run: ext4 with a journal, as on most target
# disks, held in memory. (On an ext4 without a journal, as /tmp may be, every
# new file passes over the inodes deleted in the last minutes, so each round
# would pay for the clean-up of the rounds before it, and more so for the
# tools that create many files.) The image, the staged files and all
# outputs share that file system, so cp can copy inside the kernel too. The
# commands take turns, round after round, so that a busy moment of a shared
# machine falls on all of them alike; each one's best round counts, and the
# median of the per-round ratios is shown beside.
#   bench-save.sh DUDORAZU_CLI            (BENCH_RUNS rounds, default 7)
set -euo pipefail
cli="$(realpath "$1")"
runs="${BENCH_RUNS:-7}"
work="$(mktemp -d /tmp/bench-save.XXXXXX)"
fs="$work/fs"
backing="$work/fs.ext4"
img="$fs/volume.img"
mnt="$work/mnt"
source "$(dirname "$0")/mounts.sh"

for tool in mkfs.exfat mkfs.ext4 mount.exfat-fuse tsk_recover python3 losetup; do
  command -v "$tool" >/dev/null || { echo "bench-save: $tool is missing (make bench installs it)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-save: needs root for loop devices"; exit 1; }

# --- the file system everything is written to -------------------------------
if [ "$(df -k --output=avail /dev/shm 2>/dev/null | tail -1)" -gt $((4 << 20)) ] 2>/dev/null; then
  backing="$(mktemp /dev/shm/bench-save.XXXXXX)"
fi
truncate -s 3G "$backing"
mkfs.ext4 -q -F "$backing"
fsloop="$(losetup -f --show "$backing")"
mkdir -p "$fs"
mount "$fsloop" "$fs"

# --- the volume: many files and several large ones, two fragmented ----------
mkdir -p "$mnt"
truncate -s 640M "$img"
echo 'start=2048, type=7' | sfdisk -q "$img"
loop="$(losetup -f --show -o $((2048 * 512)) --sizelimit $(((640 * 2048 - 2048) * 512)) "$img")"
mkfs.exfat -L BENCH "$loop" >/dev/null
mount.exfat-fuse "$loop" "$mnt" >/dev/null
seed="$fs/seed.bin"
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

total=$("$cli" recover "$img" Partition0 "$fs/x" --path /all --dry-run | tail -1 |
        sed -E 's/.* ([0-9]+) bytes.*/\1/')
files=$("$cli" stats "$img" Partition0 /all)
echo "volume: 640 MiB image, $files"

out="$fs/out"
stage="$fs/stage"  # the same files in a plain folder, for cp
"$cli" recover "$img" Partition0 "$stage" --path /all --live >/dev/null
[ "$(find "$stage" -type f -printf '%s\n' | awk '{n += $1} END {print n}')" = "$total" ] ||
  { echo "bench-save: the staged files do not hold the bytes saved"; exit 1; }
cat "$img" >/dev/null  # into the page cache
sync                   # no write-back of the staging left to fall into a timing

# Same bytes out as icat gives them (a spot check of what is timed).
"$cli" recover "$img" Partition0 "$out" --path /all/d3 --live >/dev/null
inode=$(fls -r -p -o 2048 "$img" | awk -F'\t' '$2 == "all/d3/large.bin" {split($1, a, " "); sub(":", "", a[2]); print a[2]}')
[ "$(icat -o 2048 "$img" "$inode" | sha256sum | cut -d' ' -f1)" = "$(sha256sum <"$out/d3/large.bin" | cut -d' ' -f1)" ] ||
  { echo "bench-save: output differs from icat"; exit 1; }
rm -rf "$out"

paths=()
for d in $(seq 0 9); do paths+=(--path "/all/d$d"); done
python3 - "$runs" "$total" "$out" \
  "dd if=$img of=$out.blob iflag=skip_bytes,count_bytes skip=$((2048 * 512)) count=$total bs=4M status=none" \
  "cp -r $stage $out" \
  "tsk_recover -a -o 2048 $img $out" \
  "$cli recover $img Partition0 $out --path /all --live" \
  "$cli recover $img Partition0 $out ${paths[*]} --live" \
  "$cli recover $img Partition0 $out --path /all --live --report $out.xml" <<'PY'
import shutil, statistics, subprocess, sys, time
runs, total, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
names = ["dd of the image region (limit)", "cp -r of the same files", "tsk_recover -a",
         "dudorazu-cli recover, 1 job", "dudorazu-cli recover, 10 jobs", "dudorazu-cli recover --report"]
commands = sys.argv[4:]
times = [[] for _ in commands]
for round in range(runs + 1):  # the first round warms up and is not counted
    for i, command in enumerate(commands):
        shutil.rmtree(out, ignore_errors=True)
        subprocess.run(["rm", "-f", out + ".blob", out + ".xml"], check=True)
        start = time.perf_counter()
        subprocess.run(command.split(), stdout=subprocess.DEVNULL, check=True)
        if round: times[i].append(time.perf_counter() - start)
shutil.rmtree(out, ignore_errors=True)
best = [min(t) for t in times]
mb = total / 1e6
print(f"live bytes saved: {total} ({mb:.1f} MB); best of {runs} rounds")
for name, t in zip(names, best):
    print(f"  {name:34s} {t:7.3f} s  {mb / t:8.1f} MB/s")
def ratio(fast, slow):  # slow's time over fast's: best rounds, and the median of the rounds
    rounds = statistics.median(s / f for f, s in zip(times[fast], times[slow]))
    return f"{best[slow] / best[fast]:5.2f}x best, {rounds:5.2f}x median of rounds"
print("throughput ratios")
print(f"  recover, 1 job / dd            {ratio(3, 0)}")
print(f"  recover, 1 job / cp            {ratio(3, 1)}   (aim: at least 0.8x)")
print(f"  recover, 10 jobs / cp          {ratio(4, 1)}")
print(f"  recover, 1 job / tsk_recover   {ratio(3, 2)}   (aim: at least 3x)")
print(f"  cp / tsk_recover               {ratio(1, 2)}   (the most any copy can reach)")
print(f"  10 jobs / 1 job                {ratio(4, 3)}   (aim: at least 1x)")
print(f"  --report / without             {ratio(5, 3)}   (aim: at least 0.8x)")
PY
