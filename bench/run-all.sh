#!/usr/bin/env bash
# Runs every benchmark (bench/bench-*.sh) against the given dudorazu-cli.
set -euo pipefail
cli="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
for b in "$here"/bench-*.sh; do
  echo "== $(basename "$b")"
  bash "$b" "$cli"
done
