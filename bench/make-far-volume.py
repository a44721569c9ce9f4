#!/usr/bin/env python3
# Writes a few files straight into a freshly formatted exFAT volume lying at
# OFFSET bytes into IMAGE, spread over its whole heap so that every position
# needs 64-bit arithmetic: small files (one of them in a fragmented FAT
# chain), a folder, a big file that is mostly holes, deleted files, and in
# free clusters a folder cluster that no folder reaches and a JPEG.
# Prints what a reader must find, one "KEY VALUE..." line each:
#   sum SHA256 PATH          a file as recover must save it (PATH under the root)
#   lost-folder CLUSTER      the unreachable folder cluster
#   lost-file NAME           a file inside it
#   carve CLUSTER LENGTH     the JPEG in free clusters
#   make-far-volume.py IMAGE OFFSET JPEG BIG_BYTES
import hashlib, os, struct, sys
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exfat_geometry import Geometry

img, base, jpeg_path, big = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
f = open(img, 'r+b')


class At:  # the image seen from the volume's first byte
    def seek(self, pos): f.seek(base + pos)
    def read(self, n): return f.read(n)
    def write(self, b): f.write(b)


v = At()
g = Geometry(v)
cb, count, cpos = g.cb, g.count, g.cpos
v.seek(cpos(g.root))
root = bytearray(v.read(cb))
bitmap_cluster = next(struct.unpack_from('<I', root, i + 20)[0] for i in range(0, cb, 32) if root[i] == 0x81)
used = next(i for i in range(0, cb, 32) if root[i] == 0)


def checksum(data, skip=()):
    s = 0
    for i, b in enumerate(data):
        if i not in skip:
            s = ((s >> 1) | ((s & 1) << 15)) + b & 0xFFFF
    return s


def entry_set(name, folder, first, length, contiguous=True, deleted=False):
    units = name.encode('utf-16-le')
    pieces = [units[i:i + 30] for i in range(0, len(units), 30)]
    out = bytearray(32 * (2 + len(pieces)))
    out[0], out[1] = 0x85, 1 + len(pieces)
    struct.pack_into('<HxxIII', out, 4, 0x10 if folder else 0x20, 0x5A8C6000, 0x5A8C6000, 0x5A8C6000)
    out[32], out[33], out[35] = 0xC0, 3 if contiguous else 1, len(name)
    struct.pack_into('<HxxQIIQ', out, 36, checksum(name.upper().encode('utf-16-le')), length, 0, first, length)
    for k, p in enumerate(pieces):
        out[64 + 32 * k] = 0xC1
        out[66 + 32 * k:66 + 32 * k + len(p)] = p
    struct.pack_into('<H', out, 2, checksum(out, (2, 3)))
    if deleted:
        for i in range(0, len(out), 32):
            out[i] &= 0x7F
    return out


in_use = []


def mark(first, n):
    in_use.append((first, n))


def put(cluster, data):
    v.seek(cpos(cluster))
    v.write(data)


def rand(n, seed):
    return hashlib.shake_256(b'%d' % seed).digest(n)


expect = []


def live_file(path, name, cluster, data):
    put(cluster, data)
    mark(cluster, max(1, -(-len(data) // cb)))
    expect.append('sum %s %s' % (hashlib.sha256(data).hexdigest(), path))
    return entry_set(name, False, cluster, len(data))


far = count - 4096  # the heap's last stretch
root_entries = bytearray()
root_entries += live_file('/readme.txt', 'readme.txt', far, b'far volume\n' * 100)
# Three clusters out of order, chained through the FAT.
chain = [far + 10, far + 14, far + 12]
notes = rand(2 * cb + 777, 1)
for i, c in enumerate(chain):
    put(c, notes[i * cb:(i + 1) * cb])
    mark(c, 1)
    v.seek(g.fat_off * g.bps + 4 * c)
    v.write(struct.pack('<I', chain[i + 1] if i + 1 < len(chain) else 0xFFFFFFFF))
expect.append('sum %s /notes.bin' % hashlib.sha256(notes).hexdigest())
root_entries += entry_set('notes.bin', False, chain[0], len(notes), contiguous=False)

folder = bytearray()
folder += live_file('/照片/a.bin', 'a.bin', far + 20, rand(300000, 2))
folder += live_file('/照片/b.bin', 'b.bin', far + 30, rand(5000, 3))
folder += entry_set('gone.bin', False, far + 40, 200000, deleted=True)
put(far + 40, rand(200000, 4))
put(far + 50, folder.ljust(cb, b'\0'))
mark(far + 50, 1)
root_entries += entry_set('照片', True, far + 50, cb)
root_entries += entry_set('deleted.txt', False, far + 60, 4000, deleted=True)
put(far + 60, b'deleted text\n' * 300)

# The big file: its clusters from the middle of the heap, holes but for a
# marked MiB at its start, one across the 4 GiB mark and its last bytes.
big_first = count // 2
marks = [(0, rand(1 << 20, 5)), ((4 << 30) - (1 << 19), rand(1 << 20, 6)), (big - 4097, rand(4097, 7))]
h = hashlib.sha256()
at = 0
zero = bytes(1 << 20)
for pos, data in marks:
    while at < pos:
        n = min(len(zero), pos - at)
        h.update(zero[:n])
        at += n
    v.seek(cpos(big_first) + pos)
    v.write(data)
    h.update(data)
    at += len(data)
mark(big_first, -(-big // cb))
expect.append('sum %s /big.bin' % h.hexdigest())
root_entries += entry_set('big.bin', False, big_first, big)

# In free clusters: a folder cluster that nothing reaches, holding two files.
lost = far + 200
put(lost + 1, b'lost but found\n' * 10)
put(lost, (entry_set('lost-a.txt', False, lost + 1, 150) + entry_set('lost-b.txt', False, lost + 1, 15)).ljust(cb, b'\0'))
expect += ['lost-folder %d' % lost, 'lost-file lost-a.txt', 'lost-file lost-b.txt']
jpeg = open(jpeg_path, 'rb').read()
put(far + 300, jpeg)
expect.append('carve %d %d' % (far + 300, len(jpeg)))

root[used:used + len(root_entries)] = root_entries
put(g.root, root)
bitmap_at = cpos(bitmap_cluster)
for first, n in in_use:
    for c in range(first, first + n):
        bit = c - 2
        v.seek(bitmap_at + bit // 8)
        b = v.read(1)[0]
        v.seek(bitmap_at + bit // 8)
        v.write(bytes([b | 1 << (bit % 8)]))
print('\n'.join(expect))
