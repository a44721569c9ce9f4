#!/usr/bin/env bash
# dudorazu-cli.exe under Wine on the sample disk image: it lists the image's
# partition, shows its tree as The Sleuth Kit's fls lists it, and recovers
# every file byte for byte as icat reads it.
#   cli_under_wine.sh WINE CLI.exe IMAGE WORKDIR
set -euo pipefail
wine="$1" cli="$2" image="$3" work="$4"
export WINEDEBUG=-all
offset=2048  # Partition0 starts at 1 MiB
fail() { echo "FAIL: $*" >&2; exit 1; }

listing=$("$wine" "$cli" disks --image "$image" --no-drives)
grep -q "Partition0 .*SAMPLE .*exFat" <<<"$listing" || fail "disks does not list the exFAT partition: $listing"

tree=$("$wine" "$cli" tree "$image" Partition0)
oracle=$(fls -r -p -o $offset "$image" | grep -E '^(r/r|d/d)' | grep -v -e '\$' -e 'Volume Label Entry' | cut -f2)
[ -n "$oracle" ] || fail "fls listed nothing"
while IFS= read -r path; do
  grep -qF -- "  ${path##*/}  " <<<"$tree" || fail "tree lacks $path"
done <<<"$oracle"

rm -rf "$work" && mkdir -p "$work"
"$wine" "$cli" recover "$image" Partition0 "$work/out" >/dev/null || fail "recover failed"
checked=0
while IFS=$'\t' read -r kind path; do
  inode=$(sed -E 's/.* ([0-9]+):$/\1/' <<<"$kind")
  saved="$work/out/根目录/$path"
  [ -f "$saved" ] || fail "$path was not saved"
  icat -o $offset "$image" "$inode" | cmp -s - "$saved" || fail "$path differs from what icat reads"
  checked=$((checked + 1))
done < <(fls -r -p -o $offset "$image" | grep '^r/r' | grep -v -e '\$' -e 'Volume Label Entry')
[ "$checked" -ge 9 ] || fail "only $checked files compared"
echo "disks, tree and $checked recovered files agree with the oracle"
