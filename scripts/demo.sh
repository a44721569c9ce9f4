#!/usr/bin/env bash
# The demo: what dudorazu sees on the bundled sample disk image.
set -euo pipefail
cli="$1"
root="$(cd "$(dirname "$0")/.." && pwd)"
sample="$root/tests/fixtures/sample-disk.img"
if [ ! -f "$sample" ] || [ "$root/tests/fixtures/sample-disk.img.zst" -nt "$sample" ]; then
  zstd -q -d -f -o "$sample" "$root/tests/fixtures/sample-disk.img.zst"
fi
echo "== dudorazu-cli disks --image $sample --no-drives"
"$cli" disks --image "$sample" --no-drives
echo
echo "== dudorazu-cli tree $sample Partition0"
"$cli" tree "$sample" Partition0
