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
  return hexDigest(digest, size);
}

}  // namespace dudorazu
