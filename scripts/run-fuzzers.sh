#!/usr/bin/env bash
# Builds the fuzz targets with clang under ASan/UBSan and runs each for the
# given number of seconds (default 600). Optional further arguments name the
# targets to run (e.g. partition_discovery_fuzz); default all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DDUDORAZU_FUZZ=ON -DDUDORAZU_TESTS=OFF \
  -DDUDORAZU_BENCH=OFF -DDUDORAZU_GUI=OFF -DDUDORAZU_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
for t in "${targets[@]}"; do
  corpus="$root/fuzz/corpus-$t"
  mkdir -p "$corpus"
  seeds="$root/fuzz/seeds/$t"
  echo "== $t for ${seconds}s"
  args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$root/fuzz/crash-$t-")
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  "$build/fuzz/$t" "${args[@]}" "${dirs[@]}" 2>&1 | tail -n 25
done
