#!/usr/bin/env bash
# Imaging throughput, image -> file: dudorazu-cli image against dd bs=1M and
# ddrescue (no mapfile) on the same source, in the same run, warm cache.
# The copies go to a RAM file system when there is one (BENCH_OUT overrides),
# so the disk's write-back does not drown the tools' own differences.
#   bench-imaging.sh DUDORAZU_CLI [SIZE_MIB]
set -euo pipefail
cli="$(realpath "$1")"
size_mib="${2:-768}"
work="$(mktemp -d /tmp/bench-imaging.XXXXXX)"
out_dir="${BENCH_OUT:-}"
if [ -z "$out_dir" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then out_dir="$(mktemp -d /dev/shm/bench-imaging.XXXXXX)"; else out_dir="$work"; fi
fi
trap 'rm -rf "$work"; [ "$out_dir" = "$work" ] || rm -rf "$out_dir"' EXIT
echo "source in $work, copies in $out_dir" >&2
src="$work/source.img"
# Real data blocks (not holes), so every tool reads what a disk would give.
head -c "$((size_mib * 1048576))" /dev/urandom >"$src"
cat "$src" >/dev/null

hyperfine --style basic --warmup 1 --runs 7 --export-json "$work/result.json" \
  --prepare "rm -f '$out_dir/out.img'" \
  -n dd "dd if='$src' of='$out_dir/out.img' bs=1M status=none" \
  -n ddrescue "ddrescue -q '$src' '$out_dir/out.img'" \
  -n dudorazu "'$cli' image '$src' --to-file '$out_dir/out.img' --yes >/dev/null" >&2
cmp -s "$src" "$out_dir/out.img" || { echo "image differs from the source" >&2; exit 1; }

python3 - "$work/result.json" "$size_mib" <<'PY'
import json, sys
runs = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
mib = float(sys.argv[2])
for name, t in runs.items():
    print(f"{name:10s} {t:7.3f} s  {mib / t:8.1f} MiB/s")
print(f"ratio dudorazu/dd       {runs['dd'] / runs['dudorazu']:.2f}  (target >= 0.95)")
print(f"ratio dudorazu/ddrescue {runs['ddrescue'] / runs['dudorazu']:.2f}  (target >= 1.00)")
PY
