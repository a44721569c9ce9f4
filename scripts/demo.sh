#!/usr/bin/env bash
# The demo: what dudorazu sees on the bundled sample disk image.
#   demo.sh DUDORAZU_CLI [DUDORAZU]
# With the desktop program given and a display present, it opens the sample
# in it; otherwise the command line shows the sample, and the desktop program
# (when given) pictures its main windows into ./screenshots/.
set -euo pipefail
cli="$1"
gui="${2:-}"
root="$(cd "$(dirname "$0")/.." && pwd)"
[ -z "$gui" ] || gui="$(realpath "$gui")"
# Everything the demo writes stays inside the checkout.
cd "$root"
sample="$root/tests/fixtures/sample-disk.img"
if [ ! -f "$sample" ] || [ "$root/tests/fixtures/sample-disk.img.zst" -nt "$sample" ]; then
  zstd -q -d -f -o "$sample" "$root/tests/fixtures/sample-disk.img.zst"
fi
if [ -n "$gui" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== dudorazu $sample"
  exec "$gui" "$sample"
fi
cli="$(realpath "$cli")"
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
if [ -n "$gui" ]; then
  echo
  echo "== dudorazu --screenshot ./screenshots $sample (no display: drawn off screen)"
  rm -rf ./screenshots
  QT_QPA_PLATFORM=offscreen "$gui" --screenshot ./screenshots "$sample" 2>/dev/null
  ls ./screenshots
fi
