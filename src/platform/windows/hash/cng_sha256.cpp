// SHA-256 on Windows from the system's CNG provider (BCrypt), which every
// Windows has; libcrypto is not part of the Windows build.
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "core/recovery/sha256.h"

namespace dudorazu {

struct Sha256::Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> state;

  Context() {
    DWORD size = 0, returned = 0;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
        BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size, &returned,
                          0) == 0) {
      state.resize(size);
      start();
    }
  }
  ~Context() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  void start() {
    if (hash) BCryptDestroyHash(hash);
    hash = nullptr;
    if (algorithm) BCryptCreateHash(algorithm, &hash, state.data(), static_cast<ULONG>(state.size()), nullptr, 0, 0);
  }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
  auto* p = static_cast<PUCHAR>(const_cast<void*>(data));  // BCrypt does not write it
  while (length != 0 && context_->hash) {
    ULONG part = length > 0x40000000 ? 0x40000000 : static_cast<ULONG>(length);
    BCryptHashData(context_->hash, p, part, 0);
    p += part;
    length -= part;
  }
}

std::string Sha256::finishHex() {
  UCHAR digest[32];
  // Without a hash object the digest would be wrong; an empty text says so.
  if (!context_->hash || BCryptFinishHash(context_->hash, digest, sizeof digest, 0) != 0) {
    context_->start();
    return {};
  }
  context_->start();
  return hexDigest(digest, sizeof digest);
}

}  // namespace dudorazu
