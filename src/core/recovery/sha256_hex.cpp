#include "core/recovery/sha256.h"

namespace dudorazu {

std::string hexDigest(const unsigned char* digest, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string sha256Hex(const void* data, size_t length) {
  Sha256 hash;
  hash.update(data, length);
  return hash.finishHex();
}

}  // namespace dudorazu
