#!/usr/bin/env python3
# Writes FOLDERS folders of PER_FOLDER files each straight into the root of a
# freshly formatted exFAT volume (much faster than creating them through a
# file-system driver). The files are empty unless FILE_BYTES is given; then
# each holds that many bytes: its number in 16 digits, then random data. A
# folder whose entries need more than one cluster, and each file's data, get
# contiguous clusters.
#   make-tree-image.py IMAGE FOLDERS PER_FOLDER [FILE_BYTES]
import os, struct, sys
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exfat_geometry import Geometry
img, folders, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
file_bytes = int(sys.argv[4]) if len(sys.argv) > 4 else 0
f = open(img, 'r+b')
g = Geometry(f)
bps, cb = g.bps, g.cb
fat_off, fat_len, heap, count, root = g.fat_off, g.fat_len, g.heap, g.count, g.root
cpos = g.cpos
f.seek(fat_off * bps)
fat = bytearray(f.read(fat_len * bps))
free = count // 2  # a fresh volume leaves the upper half untouched
def alloc(n):
    global free
    c = free
    free += n
    assert free <= count, 'volume too small'
    return c
def entry_set(name, folder, first, length, flags):
    units = name.encode('utf-16-le')
    pieces = [units[i:i + 30] for i in range(0, len(units), 30)]
    out = bytearray(32 * (2 + len(pieces)))
    out[0], out[1] = 0x85, 1 + len(pieces)
    # Created, modified and accessed on 2025-04-12 12:00.
    struct.pack_into('<HHIII', out, 4, 0x10 if folder else 0x20, 0, 0x5A8C6000, 0x5A8C6000, 0x5A8C6000)
    out[32], out[33], out[35] = 0xC0, flags, len(name)
    struct.pack_into('<HHQIIQ', out, 36, name_hash(units), 0, length, 0, first, length)
    for k, p in enumerate(pieces):
        out[64 + 32 * k] = 0xC1
        out[66 + 32 * k:66 + 32 * k + len(p)] = p
    struct.pack_into('<H', out, 2, set_checksum(out))
    return out
# A driver checks both: the hash over the up-cased name (these names up-case
# as ASCII does) and the checksum over the whole set but its own field.
def name_hash(units):
    h = 0
    for b in name_upcased(units):
        h = (((h << 15) | (h >> 1)) + b) & 0xFFFF
    return h
def name_upcased(units):
    out = bytearray(units)
    for i in range(0, len(out), 2):
        if out[i + 1] == 0 and 0x61 <= out[i] <= 0x7A:
            out[i] -= 0x20
    return out
def set_checksum(entries):
    c = 0
    for i, b in enumerate(entries):
        if i not in (2, 3):
            c = (((c << 15) | (c >> 1)) + b) & 0xFFFF
    return c
f.seek(cpos(root))
root_data = bytearray(f.read(cb))
used = next(i for i in range(0, cb, 32) if root_data[i] == 0)
root_entries = bytearray(root_data[:used])
block = os.urandom(1 << 20)
def file_entry(number):
    name = '文件-%05d.dat' % number
    if not file_bytes:
        return entry_set(name, False, 0, 0, 1)
    c = alloc((file_bytes + cb - 1) // cb)
    f.seek(cpos(c))
    # Each file starts with its own number, so a file saved from another's
    # clusters shows.
    for at in range(0, file_bytes, len(block)):
        n = min(len(block), file_bytes - at)
        f.write((b'%016d' % number + block[16:n])[:n] if at == 0 else block[:n])
    return entry_set(name, False, c, file_bytes, 3)
for d in range(folders):
    body = b''.join(file_entry(d * per + i) for i in range(per))
    n = max(1, (len(body) + cb - 1) // cb)
    c = alloc(n)
    f.seek(cpos(c))
    f.write(body.ljust(n * cb, b'\0'))
    root_entries += entry_set('目录-%04d' % d, True, c, n * cb, 3)
chain = [root] + [alloc(1) for _ in range((len(root_entries) + cb - 1) // cb - 1)]
for i, c in enumerate(chain):
    struct.pack_into('<I', fat, 4 * c, chain[i + 1] if i + 1 < len(chain) else 0xFFFFFFFF)
    f.seek(cpos(c))
    f.write(root_entries[i * cb:(i + 1) * cb].ljust(cb, b'\0'))
f.seek(fat_off * bps)
f.write(fat)
