#pragma once
// Tells whether bytes are one JPEG image by decoding its Huffman-coded data:
// every MCU of every scan through the image's own tables, as far as needed to
// know the bit stream is valid and where it breaks. No block is transformed.
// Baseline, extended and progressive Huffman images are checked; arithmetic
// coding, lossless and hierarchical images get no verdict.
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace dudorazu {

enum class JpegDecodeStep : uint8_t {
  NeedBytes,     // every byte given fits the image; it goes on past them
  Complete,      // the end marker closes an image whose every scan decoded whole
  Broken,        // the bytes stop being the image's data near breakOffset()
  Unverifiable,  // a coding this decoder does not follow, or an image past its bounds
};

namespace jpeg_detail {

enum class Result : uint8_t { Go, NeedBytes, Complete, Broken, Unverifiable };

struct Component {
  uint8_t id = 0, h = 1, v = 1, quantSlot = 0;
  uint32_t blocksWide = 0, blocksHigh = 0;  // its own blocks, as a one-component scan visits them
  uint32_t gridWide = 0;                    // blocks per row of the MCU grid
  uint64_t mapBase = 0;                     // its first block in the coefficient map
};

struct Frame {
  bool present = false, progressive = false;
  uint8_t precision = 8, count = 0, hMax = 1, vMax = 1;
  uint32_t mcusWide = 0, mcusHigh = 0;
  Component comps[4];
};

struct Scan {
  uint8_t count = 0;
  uint8_t comp[4] = {};
  int16_t dc[4] = {}, ac[4] = {}, quant[4] = {};  // indexes into the decoder's tables
  uint8_t ss = 0, se = 63, ah = 0, al = 0;
  uint64_t units = 0;  // MCUs, or the blocks of its one component
};

// Everything the entropy decoder changes while it walks a scan.
struct Entropy {
  uint64_t pos = 0;     // next input byte
  uint64_t buffer = 0;  // bits, first at the top
  int32_t bits = 0;     // bits in the buffer
  int32_t phantom = 0;  // of them, zeros added past a marker
  bool atMarker = false;
  uint8_t nextRestart = 0;
  uint32_t eobRun = 0;
  uint32_t restartLeft = 0;
  uint32_t row = 0, col = 0;  // next block of a one-component scan
  uint64_t unit = 0;          // units decoded in this scan
  int32_t pred[4] = {};
};

struct State {
  Entropy e;
  Frame frame;
  Scan scan;
  bool started = false, inScan = false;
  int16_t dcSlot[4] = {-1, -1, -1, -1}, acSlot[4] = {-1, -1, -1, -1}, quantSlot[4] = {-1, -1, -1, -1};
  uint32_t restartInterval = 0;
  uint32_t scansDone = 0;
  uint64_t work = 0;  // blocks visited by progressive scans
};

inline constexpr int kFastBits = 9;

struct HuffmanTable {
  uint16_t fast[1 << kFastBits] = {};  // (length << 8) | symbol for codes of up to kFastBits bits
  int32_t maxCode[18] = {};            // largest code of each length, -1 none
  int32_t offset[17] = {};             // a code's symbol index minus the code
  uint8_t symbols[256] = {};
};

}  // namespace jpeg_detail

class JpegDecoder {
 public:
  // A state to come back to: what the decoder knew when it was taken.
  struct Checkpoint {
    jpeg_detail::State state;
    size_t huffmanCount = 0, quantCount = 0;
    uint64_t logLength = 0;
  };

  // Decodes on from where it stopped over data[0, available). The bytes it
  // has gone past must not change between calls (a restored checkpoint sets
  // how far that is). Work is linear in the bytes.
  JpegDecodeStep decode(const uint8_t* data, uint64_t available);
  // Where the data stopped being the image's (Broken): at most a few bytes
  // before the bit that failed.
  uint64_t breakOffset() const { return breakAt_; }
  // The image's length, its end marker included (Complete).
  uint64_t endOffset() const { return end_; }
  // A scan was reached: the head's segments could be followed.
  bool reachedImageData() const { return s_.inScan || s_.scansDone != 0; }

  // Taking a checkpoint starts keeping what later steps change, so that a
  // restore can undo it; forgetBefore lets go of what no kept checkpoint needs.
  Checkpoint checkpoint();
  void restore(const Checkpoint& point);
  void forgetBefore(const Checkpoint& point);

 private:
  using R = jpeg_detail::Result;
  R readMarker();
  R readFrame(uint8_t code, const uint8_t* body, uint32_t length);
  R readHuffmanTables(const uint8_t* body, uint32_t length);
  R readQuantTables(const uint8_t* body, uint32_t length);
  R readScanHeader(const uint8_t* body, uint32_t length);
  R decodeScan();
  R broken(uint64_t at);

  const uint8_t* d_ = nullptr;
  uint64_t avail_ = 0;
  jpeg_detail::State s_;
  std::vector<jpeg_detail::HuffmanTable> huffman_;
  std::vector<std::array<uint16_t, 64>> quant_;
  std::vector<uint64_t> nonzero_;  // progressive: one bit per coefficient that is no longer zero
  std::vector<std::pair<uint64_t, uint64_t>> log_;  // (block, word before) since the oldest checkpoint
  uint64_t logBase_ = 0;
  bool logging_ = false;
  uint64_t breakAt_ = 0;
  uint64_t end_ = 0;
};

}  // namespace dudorazu
