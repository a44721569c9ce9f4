#pragma once
// SHA-256 (FIPS 180-4) of the bytes a save writes, for reports that let a
// user prove later that a recovered file is what was read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace dudorazu {

class Sha256 {
 public:
  Sha256() { reset(); }
  void reset();
  void update(const void* data, size_t length);
  std::array<uint8_t, 32> finish();
  // Lower-case hex of finish().
  std::string finishHex();

 private:
  void compress(const uint8_t* block);

  uint32_t state_[8];
  uint8_t block_[64];
  size_t blockUsed_ = 0;
  uint64_t totalBytes_ = 0;
};

// Hex digest of a whole buffer.
std::string sha256Hex(const void* data, size_t length);

}  // namespace dudorazu
