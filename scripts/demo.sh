#!/usr/bin/env bash
# The demo: what dudorazu sees on the bundled sample disk image.
set -euo pipefail
cli="$1"
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "$cli")"
# Everything the demo writes stays inside the checkout.
cd "$root"
sample="$root/tests/fixtures/sample-disk.img"
if [ ! -f "$sample" ] || [ "$root/tests/fixtures/sample-disk.img.zst" -nt "$sample" ]; then
  zstd -q -d -f -o "$sample" "$root/tests/fixtures/sample-disk.img.zst"
fi
echo "== dudorazu-cli disks --image $sample --no-drives"
"$cli" disks --image "$sample" --no-drives
echo
echo "== dudorazu-cli tree $sample Partition0"
"$cli" tree "$sample" Partition0
echo
echo "== dudorazu-cli recover $sample Partition0 ./recovered"
# Deleted files and folders come back too; an earlier run's files are kept
# (new copies get counted names), so start from an empty folder.
rm -rf ./recovered
"$cli" recover "$sample" Partition0 ./recovered
echo "The recovered files are in $(pwd)/recovered/根目录:"
find ./recovered -type f | sort
