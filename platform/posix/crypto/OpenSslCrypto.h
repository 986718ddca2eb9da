#pragma once
#include "bootstrap/Crypto.h"

// SHA-256 and RSA signature checks with OpenSSL's libcrypto.
class TOpenSslCrypto final : public ICrypto {
 public:
  std::unique_ptr<ISha256> NewSha256() override;
  bool VerifyRsaSha256(std::string_view publicKey, std::string_view data, std::string_view signature) override;
};
