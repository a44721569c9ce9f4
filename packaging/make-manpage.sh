#!/usr/bin/env bash
# make-manpage.sh PROGRAM VERSION OUTPUT SUMMARY [SUBCOMMAND...]
# The manual page of PROGRAM from its --help, with each SUBCOMMAND's
# --help as a section of its own, so the page says what the program says.
set -euo pipefail
program=$1 version=$2 output=$3 summary=$4
shift 4
include=$(mktemp)
trap 'rm -f "$include"' EXIT
if [ $# -gt 0 ]; then
  echo "[COMMANDS]" >> "$include"
  for command in "$@"; do
    echo ".SS $command" >> "$include"
    echo ".nf" >> "$include"
    # roff: a backslash is written twice, a line may not start with . or '
    "$program" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" >> "$include"
    echo ".fi" >> "$include"
  done
fi
cat >> "$include" <<'TEXT'
[SEE ALSO]
The manual of the desktop program, in /usr/share/doc/dudorazu/manual/index.html.
TEXT
help2man --no-info --no-discard-stderr --version-string="$version" --name="$summary" --include="$include" \
  --output="$output" "$program"
