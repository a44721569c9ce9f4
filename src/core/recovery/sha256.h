#pragma once
// SHA-256 of the bytes a save writes, for reports that let a user prove
// later that a recovered file is what was read. libcrypto does the hashing
// (sha256.cpp), or on Windows the system's CNG (platform/windows).
#include <cstddef>
#include <memory>
#include <string>

namespace dudorazu {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(const void* data, size_t length);
  // Lower-case hex digest of everything updated; the hash starts anew.
  std::string finishHex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// Hex digest of a whole buffer.
std::string sha256Hex(const void* data, size_t length);

// Lower-case hex text of digest bytes, for the hashing backends.
std::string hexDigest(const unsigned char* digest, size_t size);

}  // namespace dudorazu
