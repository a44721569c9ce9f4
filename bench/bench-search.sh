#!/usr/bin/env bash
# Sector-mode partition search against dd bs=10M reading the same disk image
# to /dev/null, in the same run, warm cache.
#   bench-search.sh DUDORAZU_CLI [SIZE_MIB]
set -euo pipefail
cli="$(realpath "$1")"
size_mib="${2:-1024}"
work="$(mktemp -d /tmp/bench-search.XXXXXX)"
trap 'rm -rf "$work"' EXIT
disk="$work/disk.img"
head -c "$((size_mib * 1048576))" /dev/urandom >"$disk"
# One real exFAT volume in the middle, so the search has something to find.
truncate -s 16M "$work/vol.img"
mkfs.exfat -L BENCH "$work/vol.img" >/dev/null
dd if="$work/vol.img" of="$disk" bs=1M seek=$((size_mib / 2)) conv=notrunc status=none
cat "$disk" >/dev/null

hyperfine --style basic --warmup 1 --runs 5 --export-json "$work/result.json" \
  -n dd "dd if='$disk' of=/dev/null bs=10M status=none" \
  -n search "'$cli' search '$disk' --mode sector >/dev/null" >&2
"$cli" search "$disk" --mode sector | grep -q BENCH || { echo "the volume was not found" >&2; exit 1; }

python3 - "$work/result.json" "$size_mib" <<'PY'
import json, sys
runs = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
mib = float(sys.argv[2])
for name, t in runs.items():
    print(f"{name:8s} {t:7.3f} s  {mib / t:8.1f} MiB/s")
print(f"ratio search/dd {runs['dd'] / runs['search']:.2f}  (target >= 0.8)")
PY
