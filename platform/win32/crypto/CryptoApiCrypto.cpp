// clang-format off
#include "platform/win32/crypto/CryptoApiCrypto.h"
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <algorithm>
#include <string>

// XP SP3's names, which headers set for an older Windows leave out.
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif
#ifndef CALG_SHA_256
#define CALG_SHA_256 0x0000800c
#endif

namespace {
constexpr DWORD kMinimumKeyBits = 2048;

// A verification context of the RSA and AES provider; any such provider will
// do, whatever XP or a later Windows calls it.
class TProvider {
 public:
  TProvider() {
    if (!::CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) provider_ = 0;
  }
  ~TProvider() {
    if (provider_ != 0) ::CryptReleaseContext(provider_, 0);
  }
  TProvider(const TProvider&) = delete;
  TProvider& operator=(const TProvider&) = delete;
  HCRYPTPROV Get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

class THash {
 public:
  explicit THash(HCRYPTPROV provider) {
    if (provider == 0 || !::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash_)) hash_ = 0;
  }
  ~THash() {
    if (hash_ != 0) ::CryptDestroyHash(hash_);
  }
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;
  HCRYPTHASH Get() const { return hash_; }

  bool Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
      const DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      if (!::CryptHashData(hash_, bytes, part, 0)) return false;
      bytes += part;
      size -= part;
    }
    return true;
  }

 private:
  HCRYPTHASH hash_ = 0;
};

class TCryptoApiSha256 final : public ISha256 {
 public:
  TCryptoApiSha256() : hash_(provider_.Get()) {}
  bool Ready() const { return hash_.Get() != 0; }
  void Update(const void* data, std::size_t size) override {
    if (!hash_.Add(data, size)) failed_ = true;
  }
  TSha256Digest Final() override {
    TSha256Digest digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    // A failure leaves a digest no file can match.
    if (failed_ || !::CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &size, 0) || size != digest.size())
      digest.fill(0);
    return digest;
  }

 private:
  TProvider provider_;
  THash hash_;
  bool failed_ = false;
};
}  // namespace

std::unique_ptr<ISha256> TCryptoApiCrypto::NewSha256() {
  auto sha = std::make_unique<TCryptoApiSha256>();
  return sha->Ready() ? std::move(sha) : nullptr;
}

bool TCryptoApiCrypto::VerifyRsaSha256(std::string_view publicKey, std::string_view data,
                                       std::string_view signature) {
  TProvider provider;
  if (provider.Get() == 0 || signature.empty()) return false;
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD infoSize = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                             reinterpret_cast<const BYTE*>(publicKey.data()), static_cast<DWORD>(publicKey.size()),
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize))
    return false;
  HCRYPTKEY key = 0;
  const bool rsa = std::string(info->Algorithm.pszObjId) == szOID_RSA_RSA;
  const bool imported = rsa && ::CryptImportPublicKeyInfo(provider.Get(), X509_ASN_ENCODING, info, &key);
  ::LocalFree(info);
  if (!imported) return false;
  DWORD bits = 0;
  DWORD bitsSize = sizeof bits;
  bool ok = ::CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &bitsSize, 0) &&
            bits >= kMinimumKeyBits;
  if (ok) {
    THash hash(provider.Get());
    // CryptoAPI takes the signature's bytes in little-endian order.
    std::string reversed(signature.rbegin(), signature.rend());
    ok = hash.Get() != 0 && hash.Add(data.data(), data.size()) &&
         ::CryptVerifySignatureA(hash.Get(), reinterpret_cast<const BYTE*>(reversed.data()),
                                 static_cast<DWORD>(reversed.size()), key, nullptr, 0);
  }
  ::CryptDestroyKey(key);
  return ok;
}

ICrypto& PlatformCrypto() {
  // Never destroyed: a check may still be ending while the process exits.
  static TCryptoApiCrypto& crypto = *new TCryptoApiCrypto;
  return crypto;
}
