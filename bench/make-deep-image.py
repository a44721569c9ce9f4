#!/usr/bin/env python3
# Writes entries straight into a freshly formatted exFAT volume (much faster
# than through a file-system driver), in one of two shapes:
#   deep IMAGE LEVELS   LEVELS folders nested one in the other below the root
#                       ("d00001/d00002/..."), the deepest holding deepest.txt
#                       (its text names the depth)
#   wide IMAGE FILES    one folder "wide" holding FILES empty files
# Each folder's entries, and the file's data, get contiguous clusters.
#   make-deep-image.py deep|wide IMAGE COUNT
import os, struct, sys
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from exfat_geometry import Geometry
shape, img, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
f = open(img, 'r+b')
g = Geometry(f)
cb, cpos = g.cb, g.cpos
free = g.count // 2  # a fresh volume leaves the upper half untouched


def alloc(n):
    global free
    c = free
    free += n
    assert free <= g.count + 2, 'volume too small'
    return c


def entry_set(name, folder, first, length):
    units = name.encode('utf-16-le')
    pieces = [units[i:i + 30] for i in range(0, len(units), 30)]
    out = bytearray(32 * (2 + len(pieces)))
    out[0], out[1] = 0x85, 1 + len(pieces)
    struct.pack_into('<HII', out, 4, 0x10 if folder else 0x20, 0x5A8C6000, 0x5A8C6000)
    out[32], out[33], out[35] = 0xC0, 3 if length else 1, len(name)
    struct.pack_into('<QIIQ', out, 40, length, 0, first if length else 0, length)
    for k, p in enumerate(pieces):
        out[64 + 32 * k] = 0xC1
        out[66 + 32 * k:66 + 32 * k + len(p)] = p
    return out


def write_folder(body):
    """Places a folder's entries in fresh contiguous clusters; its first cluster and length."""
    n = max(1, (len(body) + cb - 1) // cb)
    c = alloc(n)
    f.seek(cpos(c))
    f.write(bytes(body).ljust(n * cb, b'\0'))
    return c, n * cb


def append_to_root(entries):
    f.seek(cpos(g.root))
    root = bytearray(f.read(cb))
    used = next(i for i in range(0, cb, 32) if root[i] == 0)
    assert used + len(entries) <= cb, 'the root folder holds one cluster here'
    root[used:used + len(entries)] = entries
    f.seek(cpos(g.root))
    f.write(root)


if shape == 'deep':
    text = b'the file at depth %d\n' % count
    c = alloc(1)
    f.seek(cpos(c))
    f.write(text.ljust(cb, b'\0'))
    body = entry_set('deepest.txt', False, c, len(text))
    # From the bottom up: each folder's only entry is the folder below it.
    for level in range(count, 0, -1):
        first, length = write_folder(body)
        body = entry_set('d%05d' % level, True, first, length)
    append_to_root(body)
elif shape == 'wide':
    sets = [entry_set('f%07d' % i, False, 0, 0) for i in range(count)]
    first, length = write_folder(b''.join(sets))
    append_to_root(entry_set('wide', True, first, length))
else:
    sys.exit('shape must be deep or wide')
