#include "platform/posix/crypto/OpenSslCrypto.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace {
constexpr int kMinimumKeyBits = 2048;

class TOpenSslSha256 final : public ISha256 {
 public:
  TOpenSslSha256() : context_(EVP_MD_CTX_new()) {}
  ~TOpenSslSha256() override { EVP_MD_CTX_free(context_); }
  TOpenSslSha256(const TOpenSslSha256&) = delete;
  TOpenSslSha256& operator=(const TOpenSslSha256&) = delete;

  bool Begin() { return context_ != nullptr && EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1; }
  void Update(const void* data, std::size_t size) override {
    if (EVP_DigestUpdate(context_, data, size) != 1) failed_ = true;
  }
  TSha256Digest Final() override {
    TSha256Digest digest{};
    unsigned int size = 0;
    // A failure leaves a digest no file can match.
    if (failed_ || EVP_DigestFinal_ex(context_, digest.data(), &size) != 1 || size != digest.size()) digest.fill(0);
    return digest;
  }

 private:
  EVP_MD_CTX* context_;
  bool failed_ = false;
};
}  // namespace

std::unique_ptr<ISha256> TOpenSslCrypto::NewSha256() {
  auto sha = std::make_unique<TOpenSslSha256>();
  return sha->Begin() ? std::move(sha) : nullptr;
}

bool TOpenSslCrypto::VerifyRsaSha256(std::string_view publicKey, std::string_view data,
                                     std::string_view signature) {
  const auto* der = reinterpret_cast<const unsigned char*>(publicKey.data());
  EVP_PKEY* key = d2i_PUBKEY(nullptr, &der, static_cast<long>(publicKey.size()));
  if (key == nullptr) return false;
  bool ok = false;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_PKEY_CTX* keyContext = nullptr;
  if (context != nullptr && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) >= kMinimumKeyBits &&
      der == reinterpret_cast<const unsigned char*>(publicKey.data() + publicKey.size()) &&
      EVP_DigestVerifyInit(context, &keyContext, EVP_sha256(), nullptr, key) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) == 1) {
    ok = EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
  }
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  return ok;
}

ICrypto& PlatformCrypto() {
  // Never destroyed: a check may still be ending while the process exits.
  static TOpenSslCrypto& crypto = *new TOpenSslCrypto;
  return crypto;
}
