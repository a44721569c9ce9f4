#!/usr/bin/env bash
# evidence_images.sh DUDORAZU SAMPLE-IMAGE.zst
# The desktop program opens evidence files and virtual disks as it opens the
# raw image: off screen it finds the exFAT partition of each (its
# --screenshot run ends with 1 when it finds none) and loads its tree.
set -euo pipefail
gui=$1
missing=()
for tool in ewfacquire qemu-img split; do command -v $tool >/dev/null || missing+=($tool); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "not installed: ${missing[*]}" >&2
  [ "${CI:-}" = true ] && exit 1  # under CI nothing may be skipped
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sample=$dir/sample-disk.img
zstd -dqc "$2" > "$sample"
ewfacquire -u -q -c none -S 1MiB -t "$dir/ev" "$sample" >/dev/null
qemu-img convert -O vhdx "$sample" "$dir/d.vhdx"
qemu-img convert -O vmdk "$sample" "$dir/d.vmdk"
qemu-img convert -O qcow2 "$sample" "$dir/d.qcow2"
qemu-img convert -O vpc "$sample" "$dir/d.vhd"
split -b 5000000 -d -a 3 --numeric-suffixes=1 "$sample" "$dir/part."
for image in ev.E01 d.vhdx d.vmdk d.qcow2 d.vhd part.001; do
  if ! "$gui" --screenshot "$dir/shots-$image" "$dir/$image" >/dev/null 2>&1; then
    echo "the desktop program found no exFAT partition in $image" >&2
    exit 1
  fi
  [ -s "$dir/shots-$image/partition-window.png" ] || { echo "no partition window for $image" >&2; exit 1; }
done
