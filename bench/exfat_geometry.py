# The geometry of a freshly formatted exFAT volume, read from its boot
# sector, for the benchmark image builders that write entries straight in.
import struct


class Geometry:
    def __init__(self, f):
        f.seek(0)
        bs = f.read(512)
        self.bps, self.spc = 1 << bs[108], 1 << bs[109]
        self.cb = self.bps * self.spc
        self.fat_off, self.fat_len, self.heap, self.count, self.root = struct.unpack_from('<IIIII', bs, 80)

    def cpos(self, c):
        """Byte position of cluster c."""
        return self.heap * self.bps + (c - 2) * self.cb
