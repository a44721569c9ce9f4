#include "core/exfat/jpeg_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/common/byte_order.h"

namespace dudorazu {

using namespace jpeg_detail;

namespace {

using R = Result;

constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kFirstRestart = 0xD0;

// Bounds that no image a camera or a program writes comes near; past them a
// file gets no verdict instead of unbounded memory or time.
constexpr uint64_t kMaxMapBlocks = 1u << 22;  // 32 MiB of coefficient bits
constexpr size_t kMaxTables = 1024;
constexpr uint32_t kMaxScans = 256;

// A forward DCT of 8-bit samples gives coefficients of at most 1024 in
// magnitude (a block of -128s); the quantised value times its quantiser
// cannot go much past that. Twice the bound leaves room for encoders that
// round loosely; data decoded through the wrong tables wanders far outside.
constexpr uint64_t kCoefficientBound = 2048;

bool buildTable(const uint8_t* counts, const uint8_t* symbols, uint32_t total, HuffmanTable& t) {
  uint32_t code = 0, index = 0;
  for (int length = 1; length <= 16; ++length) {
    const uint32_t n = counts[length - 1];
    t.offset[length] = static_cast<int32_t>(index) - static_cast<int32_t>(code);
    for (uint32_t i = 0; i < n; ++i, ++code, ++index) {
      // Every code fits its length, and none is all ones, as in the decoders
      // everyone uses.
      if (code >= (1u << length) - 1) return false;
      if (length <= kFastBits) {
        const uint32_t shift = kFastBits - length;
        for (uint32_t f = code << shift; f < (code + 1) << shift; ++f)
          t.fast[f] = static_cast<uint16_t>((length << 8) | symbols[index]);
      }
    }
    t.maxCode[length] = n ? static_cast<int32_t>(code) - 1 : -1;
    code <<= 1;
  }
  t.maxCode[17] = INT32_MAX;
  std::memcpy(t.symbols, symbols, total);
  return index == total;
}

// The bit reader of a scan, held in locals while a scan is decoded.
struct Bits {
  const uint8_t* d;
  uint64_t avail;
  uint64_t pos;
  uint64_t buffer;
  int32_t bits;
  int32_t phantom;
  bool atMarker;

  void load(const Entropy& e, const uint8_t* data, uint64_t available) {
    d = data;
    avail = available;
    pos = e.pos;
    buffer = e.buffer;
    bits = e.bits;
    phantom = e.phantom;
    atMarker = e.atMarker;
  }
  void store(Entropy& e) const {
    e.pos = pos;
    e.buffer = buffer;
    e.bits = bits;
    e.phantom = phantom;
    e.atMarker = atMarker;
  }

  void fill() {
    while (bits <= 56) {
      if (!atMarker && pos + 8 <= avail) {
        // The common case: the next bytes hold no 0xFF and go in at once.
        const uint64_t word = (uint64_t{be32(d, pos)} << 32) | be32(d, pos + 4);
        const uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
          const int take = (64 - bits) / 8;
          buffer |= (take == 8 ? word : word >> (64 - 8 * take)) << (64 - bits - 8 * take);
          pos += static_cast<uint64_t>(take);
          bits += 8 * take;
          return;
        }
      }
      if (atMarker) {
        // Past the data: zeros, so that a code can be looked up; using them is an error.
        bits += 8;
        phantom += 8;
        continue;
      }
      if (pos >= avail) return;
      const uint8_t b = d[pos];
      if (b == 0xFF) {
        if (pos + 1 >= avail) return;
        if (d[pos + 1] != 0x00) {
          atMarker = true;
          continue;
        }
        pos += 2;
      } else {
        ++pos;
      }
      buffer |= static_cast<uint64_t>(b) << (56 - bits);
      bits += 8;
    }
  }
  bool need(int n) {
    if (bits >= n) return true;
    fill();
    return bits >= n;
  }
  uint32_t take(int n) {  // n from 1 to 32, present
    const auto v = static_cast<uint32_t>(buffer >> (64 - n));
    buffer <<= n;
    bits -= n;
    return v;
  }
  // The byte that holds the next bit, counted back from the bytes already
  // in the buffer (a stuffed 0xFF 0x00 counts as one, so this errs early).
  uint64_t here() const {
    const uint64_t back = static_cast<uint64_t>(std::max(bits - phantom, 0) + 7) / 8;
    return pos > back ? pos - back : 0;
  }
};

inline R symbol(Bits& b, const HuffmanTable& t, int& out) {
  // Near the end of what is given a short code may still be whole.
  if (!b.need(16) && b.bits == 0) return R::NeedBytes;
  const uint16_t fast = t.fast[b.buffer >> (64 - kFastBits)];
  int length = fast >> 8;
  if (length != 0) {
    out = fast & 0xFF;
  } else {
    const auto top = static_cast<int32_t>(b.buffer >> 48);
    length = kFastBits + 1;
    while (length <= 16 && (top >> (16 - length)) > t.maxCode[length]) ++length;
    if (length > 16) return b.bits >= 16 ? R::Broken : R::NeedBytes;
    out = t.symbols[(top >> (16 - length)) + t.offset[length]];
  }
  if (length > b.bits) return R::NeedBytes;
  b.buffer <<= length;
  b.bits -= length;
  return R::Go;
}

inline R receive(Bits& b, int n, int32_t& out) {
  if (n == 0) {
    out = 0;
    return R::Go;
  }
  if (!b.need(n)) return R::NeedBytes;
  const auto raw = static_cast<int32_t>(b.take(n));
  // A leading 0 bit means a negative value; the sign is random, so no branch.
  const int32_t negative = ((raw >> (n - 1)) & 1) - 1;  // all ones when the leading bit is 0
  out = raw + (negative & (1 - (1 << n)));
  return R::Go;
}

inline R skipBits(Bits& b, int n) {
  if (!b.need(n)) return R::NeedBytes;
  b.take(n);
  return R::Go;
}

// What a block decoder needs to know of its scan and component.
struct BlockTables {
  const HuffmanTable* dc;
  const HuffmanTable* ac;
  const uint16_t* quant;
  uint64_t bound;  // largest coefficient times its quantiser (plus the quantiser)
  int maxDcSize, maxAcSize;
  int ss, se, al;
};

inline bool outOfRange(int64_t value, uint16_t quant, uint64_t bound) {
  const int64_t sign = value >> 63;
  const auto magnitude = static_cast<uint64_t>((value ^ sign) - sign);
  return magnitude * quant > bound + quant;
}

inline R dcBlock(Bits& b, int32_t& pred, const BlockTables& x) {
  int size = 0;
  if (R r = symbol(b, *x.dc, size); r != R::Go) return r;
  if (size > x.maxDcSize) return R::Broken;
  int32_t diff = 0;
  if (R r = receive(b, size, diff); r != R::Go) return r;
  pred += diff;
  return outOfRange(static_cast<int64_t>(pred) * (int64_t{1} << x.al), x.quant[0], x.bound) ? R::Broken : R::Go;
}

inline R sequentialBlock(Bits& b, int32_t& pred, const BlockTables& x) {
  if (R r = dcBlock(b, pred, x); r != R::Go) return r;
  for (int k = 1; k < 64;) {
    int rs = 0;
    if (R r = symbol(b, *x.ac, rs); r != R::Go) return r;
    const int run = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (run == 0) return R::Go;  // end of block
      if (run != 15 || k + 16 > 64) return R::Broken;  // sixteen zeros, within the block
      k += 16;
      continue;
    }
    k += run;
    if (k > 63 || size > x.maxAcSize) return R::Broken;
    int32_t value = 0;
    if (R r = receive(b, size, value); r != R::Go) return r;
    if (outOfRange(value, x.quant[k], x.bound)) return R::Broken;
    ++k;
  }
  return R::Go;
}

inline R acFirstBlock(Bits& b, uint64_t& word, uint32_t& eobRun, const BlockTables& x) {
  for (int k = x.ss; k <= x.se;) {
    int rs = 0;
    if (R r = symbol(b, *x.ac, rs); r != R::Go) return r;
    const int run = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (run < 15) {
        // End of band for this block and the 2^run - 1 + extra blocks after it.
        if (run > 0 && !b.need(run)) return R::NeedBytes;
        eobRun = (1u << run) - 1 + (run > 0 ? b.take(run) : 0);
        return R::Go;
      }
      if (k + 16 > x.se + 1) return R::Broken;
      k += 16;
      continue;
    }
    k += run;
    if (k > x.se || size > x.maxAcSize) return R::Broken;
    int32_t value = 0;
    if (R r = receive(b, size, value); r != R::Go) return r;
    if (outOfRange(static_cast<int64_t>(value) * (int64_t{1} << x.al), x.quant[k], x.bound)) return R::Broken;
    word |= uint64_t{1} << k;
    ++k;
  }
  return R::Go;
}

// Successive approximation of the AC band: one correction bit for each
// coefficient already known to be non-zero, new coefficients of magnitude 1.
inline R acRefineBlock(Bits& b, uint64_t& word, uint32_t& eobRun, const BlockTables& x) {
  int k = x.ss;
  if (eobRun == 0) {
    for (; k <= x.se; ++k) {
      int rs = 0;
      if (R r = symbol(b, *x.ac, rs); r != R::Go) return r;
      int run = rs >> 4;
      const int size = rs & 15;
      if (size > 1) return R::Broken;
      if (size == 1) {
        if (R r = skipBits(b, 1); r != R::Go) return r;  // the new coefficient's sign
      } else if (run != 15) {
        if (run > 0 && !b.need(run)) return R::NeedBytes;
        eobRun = (1u << run) + (run > 0 ? b.take(run) : 0);
        break;
      }
      // Pass `run` coefficients that are still zero, correcting the others.
      for (; k <= x.se; ++k) {
        if (word >> k & 1) {
          if (R r = skipBits(b, 1); r != R::Go) return r;
        } else if (run-- == 0) {
          break;
        }
      }
      if (k > x.se) return R::Broken;  // no zero coefficient left for the new one
      if (size == 1) word |= uint64_t{1} << k;
    }
  }
  if (eobRun > 0) {
    // The rest of the band: a correction bit for each non-zero coefficient.
    const uint64_t band = (x.se == 63 ? ~uint64_t{0} : (uint64_t{1} << (x.se + 1)) - 1) & ~((uint64_t{1} << k) - 1);
    for (int count = std::popcount(word & band); count > 0; count -= 32)
      if (R r = skipBits(b, std::min(count, 32)); r != R::Go) return r;
    --eobRun;
  }
  return R::Go;
}

// The entropy-coded data ends at a marker, with fewer than 8 padding bits
// left over.
inline R endsAtMarker(Bits& b) {
  if (b.bits - b.phantom >= 8) return R::Broken;
  b.fill();
  if (b.bits - b.phantom >= 8) return R::Broken;
  return b.atMarker ? R::Go : R::NeedBytes;
}

}  // namespace

JpegDecoder::R JpegDecoder::broken(uint64_t at) {
  breakAt_ = at;
  return R::Broken;
}

JpegDecodeStep JpegDecoder::decode(const uint8_t* data, uint64_t available) {
  d_ = data;
  avail_ = available;
  for (;;) {
    R r = s_.inScan ? decodeScan() : readMarker();
    switch (r) {
      case R::Go: continue;
      case R::NeedBytes: return JpegDecodeStep::NeedBytes;
      case R::Complete: return JpegDecodeStep::Complete;
      case R::Broken: return JpegDecodeStep::Broken;
      case R::Unverifiable: return JpegDecodeStep::Unverifiable;
    }
  }
}

JpegDecoder::R JpegDecoder::readMarker() {
  uint64_t& pos = s_.e.pos;
  if (!s_.started) {
    if (avail_ < 2) return R::NeedBytes;
    if (d_[0] != 0xFF || d_[1] != kStartOfImage) return broken(0);
    pos = 2;
    s_.started = true;
    return R::Go;
  }
  if (pos + 2 > avail_) return R::NeedBytes;
  if (d_[pos] != 0xFF) return broken(pos);
  while (d_[pos + 1] == 0xFF) {  // fill bytes before a marker
    ++pos;
    if (pos + 2 > avail_) return R::NeedBytes;
  }
  const uint64_t at = pos;
  const uint8_t code = d_[at + 1];
  if (code == kEndOfImage) {
    if (s_.scansDone == 0) return broken(at);
    end_ = at + 2;
    return R::Complete;
  }
  if ((code >= kFirstRestart && code <= kFirstRestart + 7) || code == 0x01) {  // stray restart, TEM
    pos = at + 2;
    return R::Go;
  }
  if (code < 0xC0 || code == kStartOfImage) return broken(at);
  if (at + 4 > avail_) return R::NeedBytes;
  const uint32_t length = be16(d_ + at + 2);
  if (length < 2) return broken(at);
  if (at + 2 + length > avail_) return R::NeedBytes;
  const uint8_t* body = d_ + at + 4;
  const uint32_t n = length - 2;
  R r = R::Go;
  switch (code) {
    case 0xC0: case 0xC1: case 0xC2: r = readFrame(code, body, n); break;
    case 0xC4: r = readHuffmanTables(body, n); break;
    case 0xDB: r = readQuantTables(body, n); break;
    case 0xDD:
      if (n != 2) return broken(at);
      s_.restartInterval = be16(body);
      break;
    case kStartOfScan: r = readScanHeader(body, n); break;
    // Lossless, hierarchical and arithmetic-coded frames, arithmetic
    // conditioning, the reserved extension and hierarchical markers.
    case 0xC3: case 0xC5: case 0xC6: case 0xC7: case 0xC8: case 0xC9: case 0xCA: case 0xCB:
    case 0xCC: case 0xCD: case 0xCE: case 0xCF: case 0xDE: case 0xDF:
      return R::Unverifiable;
    default: break;  // application data, comments, DNL and the other extensions
  }
  if (r == R::Broken) return broken(at);
  if (r != R::Go) return r;
  pos = at + 2 + length;
  return R::Go;
}

JpegDecoder::R JpegDecoder::readFrame(uint8_t code, const uint8_t* body, uint32_t n) {
  Frame& f = s_.frame;
  if (f.present || n < 6) return R::Broken;
  const uint8_t precision = body[0];
  const uint32_t height = be16(body + 1), width = be16(body + 3), count = body[5];
  if (n != 6 + 3 * count || count == 0) return R::Broken;
  if (precision != 8 && (precision != 12 || code == 0xC0)) return R::Broken;
  if (width == 0) return R::Broken;
  // A height given later by a DNL marker, or more components than any
  // photo has: not followed.
  if (height == 0 || count > 4) return R::Unverifiable;
  Frame next;
  next.present = true;
  next.progressive = code == 0xC2;
  next.precision = precision;
  next.count = static_cast<uint8_t>(count);
  for (uint32_t i = 0; i < count; ++i) {
    Component& c = next.comps[i];
    c.id = body[6 + 3 * i];
    c.h = body[7 + 3 * i] >> 4;
    c.v = body[7 + 3 * i] & 15;
    c.quantSlot = body[8 + 3 * i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantSlot > 3) return R::Broken;
    next.hMax = std::max(next.hMax, c.h);
    next.vMax = std::max(next.vMax, c.v);
  }
  next.mcusWide = (width + 8u * next.hMax - 1) / (8u * next.hMax);
  next.mcusHigh = (height + 8u * next.vMax - 1) / (8u * next.vMax);
  uint64_t blocks = 0;
  for (uint32_t i = 0; i < count; ++i) {
    Component& c = next.comps[i];
    const uint32_t w = (width * c.h + next.hMax - 1) / next.hMax, h = (height * c.v + next.vMax - 1) / next.vMax;
    c.blocksWide = (w + 7) / 8;
    c.blocksHigh = (h + 7) / 8;
    c.gridWide = next.mcusWide * c.h;
    c.mapBase = blocks;
    blocks += static_cast<uint64_t>(c.gridWide) * next.mcusHigh * c.v;
  }
  if (next.progressive) {
    if (blocks > kMaxMapBlocks) return R::Unverifiable;
    nonzero_.assign(static_cast<size_t>(blocks), 0);
  }
  f = next;
  return R::Go;
}

JpegDecoder::R JpegDecoder::readHuffmanTables(const uint8_t* body, uint32_t n) {
  uint32_t at = 0;
  while (at < n) {
    if (n - at < 17) return R::Broken;
    const uint8_t kind = body[at] >> 4, slot = body[at] & 15;
    if (kind > 1 || slot > 3) return R::Broken;
    uint32_t total = 0;
    for (int i = 1; i <= 16; ++i) total += body[at + i];
    if (total > 256 || n - at - 17 < total) return R::Broken;
    if (huffman_.size() >= kMaxTables) return R::Unverifiable;
    HuffmanTable& t = huffman_.emplace_back();
    if (!buildTable(body + at + 1, body + at + 17, total, t)) return R::Broken;
    (kind == 0 ? s_.dcSlot : s_.acSlot)[slot] = static_cast<int16_t>(huffman_.size() - 1);
    at += 17 + total;
  }
  return R::Go;
}

JpegDecoder::R JpegDecoder::readQuantTables(const uint8_t* body, uint32_t n) {
  uint32_t at = 0;
  while (at < n) {
    const uint8_t wide = body[at] >> 4, slot = body[at] & 15;
    if (wide > 1 || slot > 3) return R::Broken;
    const uint32_t size = 1 + 64 * (wide + 1u);
    if (n - at < size) return R::Broken;
    if (quant_.size() >= kMaxTables) return R::Unverifiable;
    std::array<uint16_t, 64>& q = quant_.emplace_back();
    for (uint32_t k = 0; k < 64; ++k)
      q[k] = static_cast<uint16_t>(wide ? be16(body + at + 1 + 2 * k) : body[at + 1 + k]);
    s_.quantSlot[slot] = static_cast<int16_t>(quant_.size() - 1);
    at += size;
  }
  return R::Go;
}

JpegDecoder::R JpegDecoder::readScanHeader(const uint8_t* body, uint32_t n) {
  const Frame& f = s_.frame;
  if (!f.present || n < 1) return R::Broken;
  Scan scan;
  scan.count = body[0];
  if (scan.count < 1 || scan.count > 4 || n != 4 + 2u * scan.count) return R::Broken;
  const uint8_t* tail = body + 1 + 2 * scan.count;
  scan.ss = tail[0];
  scan.se = tail[1];
  scan.ah = tail[2] >> 4;
  scan.al = tail[2] & 15;
  const bool progressive = f.progressive;
  const bool dcScan = progressive && scan.ss == 0;
  if (progressive) {
    if (scan.ss > scan.se || scan.se > 63 || (scan.ss == 0 && scan.se != 0) || (scan.ss != 0 && scan.count != 1) ||
        scan.al > 13 || (scan.ah != 0 && scan.ah != scan.al + 1))
      return R::Broken;
  }
  uint32_t blocksPerMcu = 0;
  for (uint32_t i = 0; i < scan.count; ++i) {
    const uint8_t id = body[1 + 2 * i], tables = body[2 + 2 * i];
    uint32_t c = 0;
    while (c < f.count && f.comps[c].id != id) ++c;
    if (c == f.count) return R::Broken;
    scan.comp[i] = static_cast<uint8_t>(c);
    const uint8_t dcSlot = tables >> 4, acSlot = tables & 15;
    if (dcSlot > 3 || acSlot > 3) return R::Broken;
    scan.dc[i] = s_.dcSlot[dcSlot];
    scan.ac[i] = s_.acSlot[acSlot];
    scan.quant[i] = s_.quantSlot[f.comps[c].quantSlot];
    const bool needsDc = !progressive || (dcScan && scan.ah == 0);
    const bool needsAc = !progressive || !dcScan;
    if ((needsDc && scan.dc[i] < 0) || (needsAc && scan.ac[i] < 0) || scan.quant[i] < 0) return R::Broken;
    blocksPerMcu += f.comps[c].h * f.comps[c].v;
  }
  if (scan.count > 1) {
    if (blocksPerMcu > 10) return R::Broken;
    scan.units = static_cast<uint64_t>(f.mcusWide) * f.mcusHigh;
  } else {
    const Component& c = f.comps[scan.comp[0]];
    scan.units = static_cast<uint64_t>(c.blocksWide) * c.blocksHigh;
  }
  if (s_.scansDone >= kMaxScans) return R::Unverifiable;
  s_.scan = scan;
  Entropy fresh;
  fresh.restartLeft = s_.restartInterval;
  fresh.pos = s_.e.pos;  // moved past the header by the caller
  s_.e = fresh;
  s_.inScan = true;
  return R::Go;
}

JpegDecoder::R JpegDecoder::decodeScan() {
  const Scan& scan = s_.scan;
  const Frame& f = s_.frame;
  Entropy& e = s_.e;
  const bool acScan = f.progressive && scan.ss != 0;
  const bool refine = f.progressive && scan.ah != 0;
  const uint32_t interval = s_.restartInterval;
  const uint64_t workLimit = 64 * static_cast<uint64_t>(nonzero_.size()) + (1u << 20);
  BlockTables tables[4];
  for (uint32_t i = 0; i < scan.count; ++i) {
    BlockTables& x = tables[i];
    x.dc = scan.dc[i] >= 0 ? &huffman_[static_cast<size_t>(scan.dc[i])] : nullptr;
    x.ac = scan.ac[i] >= 0 ? &huffman_[static_cast<size_t>(scan.ac[i])] : nullptr;
    x.quant = quant_[static_cast<size_t>(scan.quant[i])].data();
    x.bound = kCoefficientBound << (f.precision > 8 ? 4 : 0);
    x.maxDcSize = f.precision > 8 ? 15 : 11;
    x.maxAcSize = f.precision > 8 ? 14 : 10;
    x.ss = scan.ss;
    x.se = scan.se;
    x.al = f.progressive ? scan.al : 0;
  }
  const Component& only = f.comps[scan.comp[0]];
  uint32_t blocksPerComp[4];
  for (uint32_t i = 0; i < scan.count; ++i)
    blocksPerComp[i] = scan.count == 1 ? 1u : uint32_t{f.comps[scan.comp[i]].h} * f.comps[scan.comp[i]].v;

  Bits b;
  b.load(e, d_, avail_);
  R r = R::Go;
  while (e.unit < scan.units) {
    if (interval != 0 && e.restartLeft == 0) {
      // The interval's last MCU is followed, right after the bits that pad
      // its last byte, by the restart marker with the next number in turn.
      if ((r = endsAtMarker(b)) != R::Go) break;
      uint64_t p = b.pos;
      while (p + 2 <= avail_ && d_[p + 1] == 0xFF) ++p;
      if (p + 2 > avail_) {
        r = R::NeedBytes;
        break;
      }
      if (d_[p + 1] != kFirstRestart + e.nextRestart) {
        b.store(e);
        return broken(p);
      }
      b = Bits{d_, avail_, p + 2, 0, 0, 0, false};
      e.nextRestart = static_cast<uint8_t>((e.nextRestart + 1) & 7);
      e.restartLeft = interval;
      e.eobRun = 0;
      std::fill(std::begin(e.pred), std::end(e.pred), 0);
    }
    if (acScan && !refine && e.eobRun > 0) {
      // A run of blocks with nothing in this band: passed over in one step.
      uint64_t skip = std::min<uint64_t>(e.eobRun, scan.units - e.unit);
      if (interval != 0) skip = std::min<uint64_t>(skip, e.restartLeft);
      e.eobRun -= static_cast<uint32_t>(skip);
      e.unit += skip;
      if (interval != 0) e.restartLeft -= static_cast<uint32_t>(skip);
      const uint64_t at = e.col + skip;
      e.row += static_cast<uint32_t>(at / only.blocksWide);
      e.col = static_cast<uint32_t>(at % only.blocksWide);
      continue;
    }
    const Bits bitsBefore = b;
    const uint32_t eobBefore = e.eobRun;
    int32_t predBefore[4];
    std::copy(std::begin(e.pred), std::end(e.pred), predBefore);
    uint64_t* word = nullptr;
    uint64_t wordBefore = 0;
    if (acScan) {
      if (++s_.work > workLimit) return R::Unverifiable;
      word = &nonzero_[only.mapBase + static_cast<uint64_t>(e.row) * only.gridWide + e.col];
      wordBefore = *word;
      r = refine ? acRefineBlock(b, *word, e.eobRun, tables[0]) : acFirstBlock(b, *word, e.eobRun, tables[0]);
    } else {
      for (uint32_t i = 0; i < scan.count && r == R::Go; ++i) {
        const BlockTables& x = tables[i];
        for (uint32_t k = 0; k < blocksPerComp[i] && r == R::Go; ++k) {
          if (!f.progressive) r = sequentialBlock(b, e.pred[i], x);
          else if (scan.ah == 0) r = dcBlock(b, e.pred[i], x);
          else r = skipBits(b, 1);  // a refinement bit of the DC coefficient
        }
      }
    }
    if (r == R::Go && b.bits < b.phantom) r = R::Broken;  // the MCU ran into a marker
    // An end-of-band run never reaches past the scan or the restart interval.
    if (r == R::Go && acScan && e.eobRun > std::min<uint64_t>(scan.units - e.unit - 1,
                                                              interval != 0 ? e.restartLeft - 1 : UINT64_MAX))
      r = R::Broken;
    if (r != R::Go) {
      // A block that broke leaves no trace a restored checkpoint would miss.
      if (word) *word = wordBefore;
      if (r == R::NeedBytes) {
        // Undone, to be decoded again once more bytes are given.
        b = bitsBefore;
        e.eobRun = eobBefore;
        std::copy(std::begin(predBefore), std::end(predBefore), e.pred);
      }
      break;
    }
    if (word && *word != wordBefore && logging_) log_.emplace_back(word - nonzero_.data(), wordBefore);
    ++e.unit;
    if (interval != 0) --e.restartLeft;
    if (scan.count == 1 && ++e.col == only.blocksWide) {
      e.col = 0;
      ++e.row;
    }
  }
  if (r == R::Go) r = endsAtMarker(b);
  b.store(e);
  if (r == R::Broken) return broken(b.pos < avail_ && b.atMarker && b.bits < b.phantom ? b.pos : b.here());
  if (r != R::Go) return r;
  s_.inScan = false;
  ++s_.scansDone;
  return R::Go;
}

JpegDecoder::Checkpoint JpegDecoder::checkpoint() {
  logging_ = true;
  Checkpoint point;
  point.state = s_;
  point.huffmanCount = huffman_.size();
  point.quantCount = quant_.size();
  point.logLength = logBase_ + log_.size();
  return point;
}

void JpegDecoder::restore(const Checkpoint& point) {
  while (!log_.empty() && logBase_ + log_.size() > point.logLength) {
    const auto [block, word] = log_.back();
    if (block < nonzero_.size()) nonzero_[block] = word;
    log_.pop_back();
  }
  s_ = point.state;
  huffman_.resize(point.huffmanCount);
  quant_.resize(point.quantCount);
}

void JpegDecoder::forgetBefore(const Checkpoint& point) {
  if (point.logLength <= logBase_) return;
  const uint64_t drop = std::min<uint64_t>(point.logLength - logBase_, log_.size());
  // Dropped in bulk once they are most of the log, so each entry moves about once.
  if (drop * 2 < log_.size()) return;
  log_.erase(log_.begin(), log_.begin() + static_cast<long>(drop));
  logBase_ += drop;
}

}  // namespace dudorazu
