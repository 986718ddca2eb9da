#pragma once
#include "bootstrap/Crypto.h"

// SHA-256 and RSA signature checks with the system's CryptoAPI: the RSA and
// AES provider, which Windows has from XP SP3 on.
class TCryptoApiCrypto final : public ICrypto {
 public:
  std::unique_ptr<ISha256> NewSha256() override;
  bool VerifyRsaSha256(std::string_view publicKey, std::string_view data, std::string_view signature) override;
};
