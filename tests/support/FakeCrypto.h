#pragma once
// Cryptography for the installer's trust rules, without cryptography: a
// digest that every byte changes, and a "signature" that names the key and
// the digest of what it signs. Good enough to tell every rule apart.
#include <cstdint>
#include <string>

#include "bootstrap/Crypto.h"

class TFakeSha256 final : public ISha256 {
 public:
  void Update(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      for (std::uint64_t& lane : lanes_) lane = (lane ^ bytes[i]) * 0x100000001B3ULL;
    }
  }
  TSha256Digest Final() override {
    TSha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
      digest[i] = static_cast<std::uint8_t>(lanes_[i / 8] >> (8 * (i % 8)));
    }
    return digest;
  }

 private:
  std::uint64_t lanes_[4] = {0xCBF29CE484222325ULL, 1, 2, 3};
};

class TFakeCrypto final : public ICrypto {
 public:
  static TSha256Digest Digest(std::string_view data) {
    TFakeSha256 sha;
    sha.Update(data.data(), data.size());
    return sha.Final();
  }
  static std::string Sign(std::string_view key, std::string_view data) {
    const TSha256Digest d = Digest(data);
    return "signed by " + std::string(key) + ": " + std::string(d.begin(), d.end());
  }

  std::unique_ptr<ISha256> NewSha256() override { return std::make_unique<TFakeSha256>(); }
  bool VerifyRsaSha256(std::string_view publicKey, std::string_view data,
                       std::string_view signature) override {
    return signature == Sign(publicKey, data);
  }
};
