#!/usr/bin/env bash
# test-package.sh DEB SAMPLE-IMAGE ROOT-CACHE BUILT-CLI
# Checks a built package the way a user meets it:
#  1. lintian (no errors), desktop-file-validate and appstreamcli validate
#     on the files inside the package;
#  2. installs it with apt into a copy of a clean Debian 12 root (made once
#     with debootstrap and kept in ROOT-CACHE), so every library it needs
#     must come from its declared dependencies;
#  3. there, the installed dudorazu-cli lists and recovers the sample image
#     byte for byte as the build tree's BUILT-CLI does, and the installed dudorazu, off screen, opens it
#     and writes its window pictures, also from an EWF and a VHDX image made
#     from the sample; the manual, icons, desktop entry,
#     metainfo and manual pages are where the programs and desktops look.
# Needs root (chroot, mount) and the Debian archive.
set -euo pipefail
deb=$(realpath "$1") sample=$(realpath "$2") cache=$3 built=$(realpath "$4")
here=$(dirname "$(realpath "$0")")
fail() { echo "test-package: $*" >&2; exit 1; }

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"
unpacked=$(mktemp -d)
root=""
cleanup() {
  if [ -n "$root" ]; then
    umount "$root/proc" 2>/dev/null || true
    umount -R "$root/dev" 2>/dev/null || true
    rm -rf --one-file-system "$root"
  fi
  rm -rf "$unpacked"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$unpacked"
echo "== desktop-file-validate"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$unpacked"/usr/share/metainfo/*.metainfo.xml

if [ ! -x "$cache/usr/bin/apt-get" ]; then
  echo "== debootstrap (once, into $cache)"
  rm -rf "$cache"
  debootstrap --variant=minbase bookworm "$cache.part" http://deb.debian.org/debian >&2
  mv "$cache.part" "$cache"
fi
root=$(mktemp -d "${TMPDIR:-/tmp}/dudorazu-root.XXXXXX")
cp -a "$cache/." "$root/"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"  # unmounting it later must not reach the host's /dev
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/dudorazu.deb"
cp "$sample" "$root/tmp/sample.img"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
echo "== apt-get install the package into a clean root"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/dudorazu.deb >/dev/null

echo "== installed files"
for f in /usr/bin/dudorazu /usr/bin/dudorazu-cli /usr/share/doc/dudorazu/manual/index.html \
         /usr/share/doc/dudorazu/copyright /usr/share/man/man1/dudorazu.1.gz /usr/share/man/man1/dudorazu-cli.1.gz \
         /usr/share/applications/io.github.dudorazu.dudorazu.desktop \
         /usr/share/metainfo/io.github.dudorazu.dudorazu.metainfo.xml \
         /usr/share/icons/hicolor/16x16/apps/dudorazu.png /usr/share/icons/hicolor/256x256/apps/dudorazu.png; do
  [ -s "$root$f" ] || fail "$f is not installed"
done
# Every library either program loads is the root's own: the package's
# dependencies brought it, nothing from the build machine.
for p in dudorazu dudorazu-cli; do
  ! in_root ldd /usr/bin/$p | grep -q "not found" || fail "$p misses a library: $(in_root ldd /usr/bin/$p | grep 'not found')"
done
# The desktop program finds its manual beside itself (bin/../share/doc).
[ "$(in_root readlink -f /usr/bin/../share/doc/dudorazu/manual/index.html)" = /usr/share/doc/dudorazu/manual/index.html ] ||
  fail "the manual is not where the desktop program looks"
zcat "$root/usr/share/man/man1/dudorazu-cli.1.gz" | grep -q '^\.SS recover' || fail "the manual page lacks the commands"

echo "== the installed command line on the sample image"
listing=$(in_root dudorazu-cli disks --no-drives --image /tmp/sample.img)
echo "$listing"
grep -q "Partition0 .*SAMPLE .*exFat" <<<"$listing" || fail "the sample's exFAT partition is not listed"
in_root dudorazu-cli recover /tmp/sample.img Partition0 /tmp/out
"$built" recover "$sample" Partition0 "$unpacked/reference" >/dev/null
diff -r "$unpacked/reference" "$root/tmp/out" || fail "the installed program recovers other bytes than the built one"

echo "== the installed desktop program, off screen"
# Qt's off-screen platform talks much; what it says is shown when a run fails.
gui() { in_root env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/run/user dudorazu "$@" 2>"$root/tmp/gui.log" ||
        { cat "$root/tmp/gui.log" >&2; return 1; }; }
mkdir -m 0700 -p "$root/run/user"
gui --screenshot /tmp/shots /tmp/sample.img || fail "the installed desktop program does not open the sample"
for shot in disk-window progress-window partition-window; do
  [ -s "$root/tmp/shots/$shot.png" ] || fail "no $shot.png"
done
in_root dudorazu --help | grep -q "usage: dudorazu" || fail "dudorazu --help"

echo "== the installed programs on an evidence file and a virtual disk"
ewfacquire -u -q -c deflate:fast -t "$root/tmp/sample" "$sample" >/dev/null
qemu-img convert -O vhdx "$sample" "$root/tmp/sample.vhdx"
for image in sample.E01 sample.vhdx; do
  in_root dudorazu-cli disks --no-drives --image /tmp/$image | grep -q "Partition0 .*SAMPLE .*exFat" ||
    fail "the installed command line does not read $image"
  gui --screenshot /tmp/shots-$image /tmp/$image ||
    fail "the installed desktop program does not read $image"
done
echo "test-package: all checks passed"
