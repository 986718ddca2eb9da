#pragma once
// The platform's cryptography, as far as the installer needs it: SHA-256 and
// the check of an RSA signature. CryptoAPI on Windows, libcrypto on Linux;
// the installer has no cryptography of its own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

using TSha256Digest = std::array<std::uint8_t, 32>;

class ISha256 {
 public:
  virtual ~ISha256() = default;
  virtual void Update(const void* data, std::size_t size) = 0;
  // The digest of everything given so far; the object is spent afterwards.
  virtual TSha256Digest Final() = 0;
};

class ICrypto {
 public:
  virtual ~ICrypto() = default;
  // A new SHA-256 computation; nullptr when the platform cannot make one.
  // May be called from any thread.
  virtual std::unique_ptr<ISha256> NewSha256() = 0;
  // True when signature is an RSA PKCS#1 v1.5 signature with SHA-256 over
  // data, made by the private half of publicKey: a DER SubjectPublicKeyInfo
  // of an RSA key of at least 2048 bits. Any other key is refused.
  virtual bool VerifyRsaSha256(std::string_view publicKey, std::string_view data,
                               std::string_view signature) = 0;
};

// The platform's own, which lives as long as the process; defined by the
// platform's crypto library.
ICrypto& PlatformCrypto();
