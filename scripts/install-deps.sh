#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, only when something is missing.
#   scripts/install-deps.sh build     compiler, CMake, GoogleTest, libcrypto, zstd, the tools the tests
#                                     compare against and Debian's exFAT sample image (make test)
#   scripts/install-deps.sh demo      only what building the command line needs (make demo)
#   scripts/install-deps.sh fixtures  the tools that build the test images (make fixtures)
#   scripts/install-deps.sh bench     peer tools the benchmarks compare against
#   scripts/install-deps.sh fuzz      clang with libFuzzer and the sanitizers
#   scripts/install-deps.sh windows   the mingw-w64 cross compiler, GoogleTest's sources, Wine and the
#                                     oracle the Windows command line is checked against (make windows)
#   scripts/install-deps.sh gui       Qt 6 Widgets with Qt's Chinese texts, a CJK font and a virtual display
#                                     (make test / make demo)
set -euo pipefail

want=()
compile=(cmake g++ make libssl-dev zstd)
case "${1:-build}" in
  build)    want=("${compile[@]}" libgtest-dev
                  gddrescue sleuthkit exfat-fuse fuse3 libxml2-utils xz-utils forensics-samples-exfat) ;;
  demo)     want=("${compile[@]}") ;;
  fixtures) want=(exfatprogs exfat-fuse fuse3 sleuthkit fdisk gdisk parted dosfstools ntfs-3g
                  e2fsprogs hfsutils lvm2 imagemagick libimage-exiftool-perl libjpeg-turbo-progs zstd python3
                  util-linux ffmpeg zip groff ghostscript) ;;
  bench)    want=(sleuthkit gddrescue hyperfine time zstd exfatprogs exfat-fuse testdisk imagemagick
                  libimage-exiftool-perl ffmpeg zip groff ghostscript) ;;
  fuzz)     want=(clang libclang-rt-14-dev) ;;
  windows)  want=(cmake make zstd g++-mingw-w64-x86-64-posix googletest wine64 sleuthkit) ;;
  gui)      want=(qt6-base-dev qt6-translations-l10n fonts-noto-cjk xvfb xauth) ;;
  *) echo "usage: $0 build|demo|fixtures|bench|fuzz|gui|windows" >&2; exit 2 ;;
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
