#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, only when something is missing.
#   scripts/install-deps.sh build     compiler, CMake, GoogleTest, libcrypto, zstd, the evidence and virtual-disk
#                                     image libraries with the tools that write such images, the tools the
#                                     tests compare against and Debian's exFAT sample image (make test)
#   scripts/install-deps.sh demo      only what building the command line needs (make demo)
#   scripts/install-deps.sh package   what makes the .deb (dpkg-shlibdeps, help2man) and checks it (the
#                                     validators, debootstrap for a clean root) (make package)
#   scripts/install-deps.sh fixtures  the tools that build the test images (make fixtures)
#   scripts/install-deps.sh bench     peer tools the benchmarks compare against, and libfuse3 for the
#                                     failing disk the rescue benchmark serves
#   scripts/install-deps.sh fuzz      clang with libFuzzer and the sanitizers
#   scripts/install-deps.sh windows   the mingw-w64 cross compiler, GoogleTest's sources, Wine and the
#                                     oracle the Windows command line is checked against (make windows)
#   scripts/install-deps.sh gui       Qt 6 Widgets and D-Bus with Qt's Chinese texts, Qt's translation tools
#                                     (the English texts are built from res/translations), a CJK font, a virtual
#                                     display and a bus daemon for the tests' private bus (make test / make demo)
set -euo pipefail

want=()
compile=(cmake g++ make libssl-dev zstd pkg-config libewf-dev libvhdi-dev libvmdk-dev libqcow-dev)
case "${1:-build}" in
  build)    want=("${compile[@]}" libgtest-dev
                  gddrescue sleuthkit exfat-fuse fuse3 libxml2-utils xz-utils forensics-samples-exfat
                  ewf-tools qemu-utils) ;;
  demo)     want=("${compile[@]}") ;;
  fixtures) want=(exfatprogs exfat-fuse fuse3 sleuthkit fdisk gdisk parted dosfstools ntfs-3g
                  e2fsprogs hfsutils lvm2 imagemagick libimage-exiftool-perl libjpeg-turbo-progs zstd python3
                  util-linux ffmpeg zip groff ghostscript) ;;
  bench)    want=(sleuthkit gddrescue hyperfine time zstd exfatprogs exfat-fuse testdisk imagemagick
                  libimage-exiftool-perl fuse3 libfuse3-dev pkgconf gcc ffmpeg zip groff ghostscript) ;;
  package)  want=(dpkg-dev file lintian desktop-file-utils appstream help2man debootstrap) ;;
  fuzz)     want=(clang libclang-rt-14-dev) ;;
  windows)  want=(cmake make zstd g++-mingw-w64-x86-64-posix googletest wine64 sleuthkit) ;;
  gui)      want=(qt6-base-dev qt6-translations-l10n qt6-tools-dev qt6-l10n-tools fonts-noto-cjk xvfb xauth dbus-daemon adwaita-icon-theme) ;;
  *) echo "usage: $0 build|demo|package|fixtures|bench|fuzz|gui|windows" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >&2
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
