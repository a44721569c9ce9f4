#!/usr/bin/env bash
# Saving every file of a volume of many small files (as a phone's card or a
# backup drive holds them) with `recover`, with and without its DFXML report,
# beside `cp -r` of the same tree: from the volume mounted read-only with the
# exFAT FUSE driver, and from a copy of the tree on the local file system.
# The volume is built like bench-million.sh's (entries written straight into
# a sparse, freshly formatted volume), each file holding FILE_BYTES bytes.
# Everything is written to one file system made for the run: ext4 with a
# journal, as on most target disks, held in memory where the machine has the
# room (a disk shared with other work times its neighbours, not the tools).
# The image, the local copy and every output share it. Caches are warm for
# all (each one's source read just before it), the commands take turns, each
# starts after a sync, and each one's best of ROUNDS counts. The saved tree is
# checked: every file there, a sample hashed against the driver's copy, the
# report listing every file with the same hashes.
#   bench-save-million.sh DUDORAZU_CLI [FOLDERS FILES_PER_FOLDER [FILE_BYTES]]
# The default is 200,000 files (4,000 folders of 50); 20000 50 is the
# million (needs about 16 GiB of room, most of the time goes to the driver's
# cp). BENCH_RUNS sets the rounds (default 2); BENCH_BEFORE names another
# dudorazu-cli (an earlier build) to time beside in the same rounds.
#   bench-save-million.sh DUDORAZU_CLI FOLDERS FILES_PER_FOLDER FILE_BYTES --check
# --check only saves the volume with a report into the temp dir and checks
# every file (its own bytes) and every report entry (its hash), and that the
# save holds no more than a kilobyte per file beyond the tree itself: a
# correctness run without timing, for the test suite at 10,000 files.
set -euo pipefail
cli="$(realpath "$1")"
folders="${2:-4000}"
per_folder="${3:-50}"
file_bytes="${4:-1000}"
mode="${5:-}"
runs="${BENCH_RUNS:-2}"
files=$((folders * per_folder))
data_clusters=$((files * ((file_bytes + 4095) / 4096)))  # of 4 KiB
work="$(mktemp -d /tmp/bench-save-million.XXXXXX)"
fs="$work/fs"
mnt="$work/mnt"
backing="$work/fs.ext4"
source "$(dirname "$0")/mounts.sh"
if [ "$mode" = --check ]; then
  # In memory where there is one: the test suite's run stays short on a busy disk.
  if [ -w /dev/shm ]; then rmdir "$work" && work="$(mktemp -d /dev/shm/bench-save-million.XXXXXX)"; fi
  img="$work/volume.img"
  truncate -s $(( (data_clusters + 4 * folders) * 8192 + (64 << 20) )) "$img"
  mkfs.exfat -c 4K -L SMALLFILES "$img" >/dev/null
  python3 "$(dirname "$0")/make-tree-image.py" "$img" "$folders" "$per_folder" "$file_bytes"
  /usr/bin/time -f %M -o "$work/stats.rss" "$cli" stats "$img" Partition0 >/dev/null
  /usr/bin/time -f %M -o "$work/save.rss" "$cli" recover "$img" Partition0 "$work/out" --report "$work/r.xml" >/dev/null
  python3 - "$work" "$folders" "$per_folder" "$file_bytes" <<'PY'
import hashlib, os, sys
import xml.etree.ElementTree as ET
work, folders, per, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
files = folders * per
ns = {'d': 'http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML', 'u': 'urn:dudorazu:recover'}
listed = {o.find('d:filename', ns).text: o for o in ET.parse(work + '/r.xml').getroot().iter('{%s}fileobject' % ns['d'])}
assert len(listed) == files, 'the report lists %d files, %d expected' % (len(listed), files)
for n in range(files):
    rel = '目录-%04d/文件-%05d.dat' % (n // per, n)
    data = open(os.path.join(work, 'out', '根目录', rel), 'rb').read()
    assert len(data) == size and data[:16] == b'%016d' % n, 'saved %s holds another file\'s bytes' % rel
    o = listed[rel]
    assert o.find('u:status', ns).text == 'saved', 'report: %s not saved' % rel
    assert o.find('d:hashdigest', ns).text == hashlib.sha256(data).hexdigest(), 'report: wrong hash of %s' % rel
saved = sum(len(names) for _, _, names in os.walk(os.path.join(work, 'out')))
assert saved == files, 'recover wrote %d files, %d expected' % (saved, files)
load, save = (int(open(os.path.join(work, n)).read().split()[-1]) for n in ('stats.rss', 'save.rss'))
per_file = (save - load) * 1024 // files
assert per_file <= 1024, 'the save holds %d bytes per file beyond the tree (at most 1024)' % per_file
print('%d files saved, each with its own bytes and its hash in the report; %d bytes per file beyond the tree'
      % (files, per_file))
PY
  exit 0
fi
for tool in mkfs.exfat mkfs.ext4 mount.exfat-fuse python3 losetup sha256sum; do
  command -v "$tool" >/dev/null || { echo "bench-save-million: $tool is missing (make bench installs it)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "bench-save-million: needs root for loop devices"; exit 1; }

# Per file: its clusters in the image, its blocks and an inode in the local
# copy and in the output, its entry in the report.
room_kib=$(( data_clusters * 12 + files * 4 + (1 << 20) ))
if [ "$(df -k --output=avail /dev/shm 2>/dev/null | tail -1)" -gt $((room_kib + (4 << 20))) ] 2>/dev/null &&
   [ "$(awk '/MemAvailable/ {print $2}' /proc/meminfo)" -gt $((room_kib + (4 << 20))) ]; then
  backing="$(mktemp /dev/shm/bench-save-million.XXXXXX)"
fi
truncate -s "${room_kib}K" "$backing"
mkfs.ext4 -q -F -N $((files * 3 + 100000)) "$backing"
fsloop="$(losetup -f --show "$backing")"
mkdir -p "$fs" "$mnt"
mount "$fsloop" "$fs"
echo "writing to ext4 on $( [[ $backing == /dev/shm/* ]] && echo memory || echo "$(dirname "$backing")'s disk")"

# Each file takes a cluster of its own and make-tree-image.py fills only the
# upper half of the heap: twice the clusters needed, and some room.
img="$fs/volume.img"
truncate -s $(( (data_clusters + 4 * folders) * 8192 + (64 << 20) )) "$img"
mkfs.exfat -c 4K -L SMALLFILES "$img" >/dev/null
python3 "$(dirname "$0")/make-tree-image.py" "$img" "$folders" "$per_folder" "$file_bytes"
cat "$img" >/dev/null
echo "volume: $files files of $file_bytes bytes in $folders folders"

loop="$(losetup -r -f --show "$img")"
mount.exfat-fuse -o ro "$loop" "$mnt" >/dev/null

# The commands take turns, round after round. The first round's copy
# through the driver is kept as the local copy, and as the oracle that the
# saved files and the report are checked against.
python3 - "$cli" "$img" "$mnt" "$fs" "$runs" "$files" <<'PY'
import os, random, shutil, subprocess, sys, time
import xml.etree.ElementTree as ET
cli, img, mnt, fs, runs, files = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6])
local, out, report, rss = (os.path.join(fs, n) for n in ('local', 'out', 'report.xml', 'rss'))
commands = {
    'cp -r, FUSE mount': ['cp', '-r', mnt, out],
    'cp -r, local copy': ['cp', '-r', local, out],
    'recover': [cli, 'recover', img, 'Partition0', out],
    'recover --report': [cli, 'recover', img, 'Partition0', out, '--report', report],
}
before = os.environ.get('BENCH_BEFORE')  # another build, to be measured in the same run
if before:
    commands['before: recover'] = [before, 'recover', img, 'Partition0', out]
    commands['before: --report'] = [before, 'recover', img, 'Partition0', out, '--report', report]
times = {name: [] for name in commands}
cpu = {name: [] for name in commands}  # user + system: what a busy machine's waits leave out
peak = {}

def listing(root):
    return {os.path.relpath(os.path.join(d, n), root): os.path.join(d, n)
            for d, _, names in os.walk(root) for n in names}

def sha(path):
    return subprocess.run(['sha256sum', path], capture_output=True, text=True, check=True).stdout.split()[0]

def check(expect):
    saved = listing(os.path.join(out, '根目录'))
    assert saved.keys() == expect.keys(), 'recover saved %d files, %d expected' % (len(saved), len(expect))
    ns = {'d': 'http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML', 'u': 'urn:dudorazu:recover'}
    sample = random.Random(1).sample(sorted(expect), min(200, files))
    wanted, listed, count = {rel.replace(os.sep, '/') for rel in sample}, {}, 0
    for _, o in ET.iterparse(report):  # a million entries, one at a time
        if o.tag != '{%s}fileobject' % ns['d']: continue
        count += 1
        name = o.find('d:filename', ns).text
        if name in wanted:
            listed[name] = (o.find('u:status', ns).text, o.find('d:hashdigest', ns).text)
        o.clear()
    assert count == files, 'the report lists %d files, %d expected' % (count, files)
    for rel in sample:
        want = sha(expect[rel])
        assert sha(saved[rel]) == want, 'saved %s differs from the driver\'s copy' % rel
        assert listed[rel.replace(os.sep, '/')] == ('saved', want), 'report: %s not saved or a wrong hash' % rel
    print('checked: %d files saved, and in the report; 200 of them hashed against the driver\'s copy' % files)

for round in range(runs):
    for name, args in commands.items():
        shutil.rmtree(out, ignore_errors=True)
        if os.path.exists(report): os.remove(report)
        subprocess.run(['sync'], check=True)  # nobody pays for the one before's write-back
        # The source read once more just before: the outputs of the round
        # before may have pushed it out of the cache.
        subprocess.run('tar -cf - -C %s . | cat >/dev/null' % local if name == 'cp -r, local copy'
                       else 'cat %s >/dev/null' % img, shell=True, check=True)
        start = time.perf_counter()
        subprocess.run(['/usr/bin/time', '-f', '%U %S %M', '-o', rss] + args, stdout=subprocess.DEVNULL, check=True)
        times[name].append(time.perf_counter() - start)
        user, system, kib = open(rss).read().split()[-3:]
        cpu[name].append(float(user) + float(system))
        peak[name] = max(peak.get(name, 0), int(kib))
        if round == 0 and name == 'cp -r, FUSE mount':
            os.rename(out, local)
            expect = listing(local)
            assert len(expect) == files, 'the driver shows %d files, %d expected' % (len(expect), files)
        if round == 0 and name == 'recover --report':
            check(expect)
shutil.rmtree(out, ignore_errors=True)

best = {name: min(t) for name, t in times.items()}
least = {name: min(t) for name, t in cpu.items()}
print('best of %d rounds: wall time, processor time (user + system), peak memory' % runs)
for name, t in best.items():
    print('  %-20s %8.2f s  %8.0f files/s  cpu %7.2f s  %7d KiB, %4d bytes per file'
          % (name, t, files / t, least[name], peak[name], peak[name] * 1024 // files))
print('speed against the peer (its time over ours; goal >= 0.8x), wall time and processor time')
for peer in ('cp -r, local copy', 'cp -r, FUSE mount'):
    for ours in [n for n in commands if not n.startswith('cp')]:
        print('  %-16s against %-18s %5.2fx   cpu %5.2fx'
              % (ours, peer, best[peer] / best[ours], least[peer] / least[ours]))
PY
