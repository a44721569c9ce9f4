#!/usr/bin/env bash
# Imaging throughput, image -> file: dudorazu-cli image against dd bs=1M and
# ddrescue (no mapfile) on the same source, in the same run, warm cache.
#   bench-imaging.sh DUDORAZU_CLI [SIZE_MIB]
set -euo pipefail
cli="$(realpath "$1")"
size_mib="${2:-768}"
work="$(mktemp -d /tmp/bench-imaging.XXXXXX)"
trap 'rm -rf "$work"' EXIT
src="$work/source.img"
# Real data blocks (not holes), so every tool reads what a disk would give.
head -c "$((size_mib * 1048576))" /dev/urandom >"$src"
cat "$src" >/dev/null

hyperfine --style basic --warmup 1 --runs 5 --export-json "$work/result.json" \
  --prepare "rm -f '$work/out.img' '$work/out.map'" \
  -n dd "dd if='$src' of='$work/out.img' bs=1M status=none" \
  -n ddrescue "ddrescue -q '$src' '$work/out.img'" \
  -n dudorazu "'$cli' image '$src' --to-file '$work/out.img' --yes >/dev/null" >&2
cmp -s "$src" "$work/out.img" || { echo "image differs from the source" >&2; exit 1; }

python3 - "$work/result.json" "$size_mib" <<'PY'
import json, sys
runs = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
mib = float(sys.argv[2])
for name, t in runs.items():
    print(f"{name:10s} {t:7.3f} s  {mib / t:8.1f} MiB/s")
print(f"ratio dudorazu/dd       {runs['dd'] / runs['dudorazu']:.2f}  (target >= 0.95)")
print(f"ratio dudorazu/ddrescue {runs['ddrescue'] / runs['dudorazu']:.2f}  (target >= 1.00)")
PY
