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

python3 "$(dirname "$0")/make-tree-image.py" "$img" "$folders" "$per_folder"

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
