#!/usr/bin/env bash
# Remakes the icon in the hicolor sizes from the program's own icon
# (res/dudorazu.png); the results are committed, so a build needs no
# image tools. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p icons/${size}x${size}
  convert ../res/dudorazu.png -filter Lanczos -resize ${size}x${size} -depth 8 -strip -define png:exclude-chunks=date,time \
    icons/${size}x${size}/dudorazu.png
done
