#!/usr/bin/env bash
# Tree load at the size of a backup drive: 1,000,000 files in 20,000 folders,
# entries written straight into a sparse, freshly formatted volume. Measures
# `stats` (the load itself) and `tree --json` warm, best of 3, and the peak
# memory per record, each beside its goal, and The Sleuth Kit's `fls -r -p`
# on the same image with a time limit.
#   bench-million.sh DUDORAZU_CLI [FOLDERS FILES_PER_FOLDER [FLS_SECONDS]]
#   bench-million.sh DUDORAZU_CLI FOLDERS FILES_PER_FOLDER --check
# --check only builds the volume and checks that every record is listed once,
# with the right path, and that stats counts them all: a correctness run
# without timing, cheap enough for the test suite at 10,000 files.
set -euo pipefail
cli="$(realpath "$1")"
folders="${2:-20000}"
per_folder="${3:-50}"
mode="${4:-120}"
work="$(mktemp -d /tmp/bench-million.XXXXXX)"
trap 'rm -rf "$work"' EXIT
img="$work/million.img"
# 4 KiB clusters keep the folders' clusters (and the sparse image) small.
truncate -s 4G "$img"
mkfs.exfat -c 4K -L MILLION "$img" >/dev/null
python3 "$(dirname "$0")/make-tree-image.py" "$img" "$folders" "$per_folder"
part="Partition0"
files=$((folders * per_folder))
records=$((files + folders + 1))

# Every record once: the root, each folder, each file under its folder.
"$cli" tree "$img" "$part" --json >"$work/tree.json"
python3 - "$work/tree.json" "$folders" "$per_folder" <<'PY'
import json, sys
records = json.load(open(sys.argv[1]))['records']
folders, per = int(sys.argv[2]), int(sys.argv[3])
want = {'/'}
for d in range(folders):
    want.add('/目录-%04d' % d)
    want.update('/目录-%04d/文件-%05d.dat' % (d, d * per + i) for i in range(per))
paths = [r['path'] for r in records]
assert len(paths) == len(want) and set(paths) == want, \
    'tree --json lists %d records, %d expected' % (len(paths), len(want))
assert all(r['recoverability'] == 'intact' for r in records), 'a record not intact'
PY
stats=$("$cli" stats "$img" "$part")
grep -Eq "在($folders|$((folders + 1)))个文件夹中包含 ${files}个文件" <<<"$stats" \
  || { echo "stats does not count $folders folders and $files files: $stats" >&2; exit 1; }
echo "records: $records, all listed by tree --json; stats: $(head -1 <<<"$stats")"
[ "$mode" = --check ] && exit 0

python3 - "$cli" "$img" "$part" <<'PY'
import subprocess, sys, time
cli, img, part = sys.argv[1:4]
def best(args, goal, label):
    runs = []
    for _ in range(3):
        t = time.perf_counter()
        subprocess.run(args, stdout=subprocess.DEVNULL, check=True)
        runs.append(time.perf_counter() - t)
    print(f'{label:14} {min(runs):7.3f} s   (goal <= {goal} s)')
best([cli, 'stats', img, part], 0.5, 'stats')
best([cli, 'tree', img, part, '--json'], 1.5, 'tree --json')
PY
for command in "stats $img $part" "tree $img $part --json"; do
  rss=$( { /usr/bin/time -v "$cli" $command >/dev/null; } 2>&1 | awk '/Maximum resident/ {print $6}')
  echo "peak memory, ${command%% *}: ${rss} KiB, $((rss * 1024 / records)) bytes per record (goal <= 150)"
done
start=$(date +%s.%N)
if timeout "$mode" fls -r -p "$img" >/dev/null; then
  echo "fls -r -p:     $(echo "$(date +%s.%N) - $start" | bc) s"
else
  echo "fls -r -p:     not finished after $mode s"
fi
