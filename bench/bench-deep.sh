#!/usr/bin/env bash
# Trees of extreme shape: 10,000 folders nested one in the other (the
# commands that walk a tree, and a save, which must make each folder once
# below its parent; aim: the save under 10 s), and 1,000,000 files in one
# folder, saved against cp -r of the same files (aim: within 2x). The
# volumes are written straight into freshly formatted images by
# make-deep-image.py; everything is written to an ext4 with a journal held
# in memory, as in bench-save.sh. Each command's best round counts.
#   bench-deep.sh DUDORAZU_CLI            (BENCH_RUNS rounds, default 3)
set -euo pipefail
cli="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
runs="${BENCH_RUNS:-3}"
levels="${BENCH_LEVELS:-10000}"
files="${BENCH_FILES:-1000000}"
work="$(mktemp -d /tmp/bench-deep.XXXXXX)"
fs="$work/fs"
fsloop=""
backing="$work/fs.ext4"
cleanup() {
  if mountpoint -q "$fs" 2>/dev/null; then umount "$fs" || true; fi
  if [ -n "$fsloop" ]; then losetup -d "$fsloop" || true; fi
  rm -f "$backing"
  rm -rf "$work"
}
trap cleanup EXIT

for tool in mkfs.exfat mkfs.ext4 python3 losetup; do
  command -v "$tool" >/dev/null || { echo "bench-deep: $tool is missing (make bench installs it)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-deep: needs root for loop devices"; exit 1; }

if [ "$(df -k --output=avail /dev/shm 2>/dev/null | tail -1)" -gt $((4 << 20)) ] 2>/dev/null; then
  backing="$(mktemp /dev/shm/bench-deep.XXXXXX)"
fi
truncate -s 3G "$backing"
mkfs.ext4 -q -F -N $((2 * files + 2 * levels + 100000)) "$backing"  # the staged files and a copy
fsloop="$(losetup -f --show "$backing")"
mkdir -p "$fs"
mount "$fsloop" "$fs"

deep="$fs/deep.img"
wide="$fs/wide.img"
truncate -s 256M "$deep"
mkfs.exfat -c 4K "$deep" >/dev/null
python3 "$here/make-deep-image.py" deep "$deep" "$levels"
truncate -s $(( (files * 96 / 1048576 + 64) * 4 ))M "$wide"
mkfs.exfat -c 4K "$wide" >/dev/null
python3 "$here/make-deep-image.py" wide "$wide" "$files"

out="$fs/out"
stage="$fs/stage"  # the wide folder's files in a plain folder, for cp
"$cli" recover "$wide" Partition0 "$stage" --path /wide >/dev/null
[ "$(find "$stage" -type f | wc -l)" = "$files" ] || { echo "bench-deep: the staged folder lacks files"; exit 1; }
# What is timed must be right: every level made once, the deepest file whole.
"$cli" recover "$deep" Partition0 "$out" >/dev/null
[ "$(find "$out" -mindepth 2 -type d | wc -l)" = "$levels" ] || { echo "bench-deep: levels missing"; exit 1; }
[ "$(find "$out" -name deepest.txt -execdir cat {} \;)" = "the file at depth $levels" ] ||
  { echo "bench-deep: the deepest file differs"; exit 1; }
rm -rf "$out"
sync

python3 - "$runs" "$out" \
  "$cli tree $deep Partition0" \
  "$cli stats $deep Partition0" \
  "$cli scan-lost $deep Partition0" \
  "$cli recover $deep Partition0 $out" \
  "$cli recover $deep Partition0 $out --report $out.xml" \
  "cp -r $stage $out" \
  "$cli recover $wide Partition0 $out --path /wide" <<'PY'
import resource, subprocess, sys, time
runs, out = int(sys.argv[1]), sys.argv[2]
names = ["tree, deep", "stats, deep", "scan-lost, deep", "recover, deep", "recover --report, deep",
         "cp -r of the wide folder", "recover, wide folder"]
commands = sys.argv[3:]
times = [[] for _ in commands]
for round in range(runs):
    for i, command in enumerate(commands):
        subprocess.run(["rm", "-rf", out, out + ".xml"], check=True)  # rm goes deeper than rmtree
        start = time.perf_counter()
        subprocess.run(command.split(), stdout=subprocess.DEVNULL, check=True)
        times[i].append(time.perf_counter() - start)
subprocess.run(["rm", "-rf", out], check=True)
best = [min(t) for t in times]
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
print(f"best of {runs} rounds (largest child: {peak} MiB)")
for name, t in zip(names, best):
    print(f"  {name:28s} {t:8.3f} s")
print(f"  recover, deep              {'within' if best[3] < 10 else 'PAST'} the aim of 10 s")
print(f"  recover / cp -r, wide      {best[6] / best[5]:5.2f}x   (aim: at most 2x)")
PY
