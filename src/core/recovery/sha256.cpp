#include "core/recovery/sha256.h"

#include <openssl/evp.h>

namespace dudorazu {

struct Sha256::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr); }

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
  if (length != 0) EVP_DigestUpdate(context_->md, data, length);
}

std::string Sha256::finishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context_->md, digest, &size);
  EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
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
