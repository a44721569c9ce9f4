# Sourced by the benchmarks that mount things under their work folder
# ($work): the exFAT volume through the FUSE driver at $mnt (loop device
# $loop) and a file system for the outputs at $fs (loop device $fsloop,
# backed by $backing). Whatever state a run stops in, everything is
# unmounted and detached in reverse order and the folder removed.
fsloop=""
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  if mountpoint -q "$fs" 2>/dev/null; then umount "$fs" || true; fi
  if [ -n "$fsloop" ]; then losetup -d "$fsloop" || true; fi
  rm -f "$backing"
  rm -rf "$work"
}
trap cleanup EXIT
