// The platform's own SHA-256 and RSA checks (libcrypto on Linux, CryptoAPI on
// Windows) against vectors made with openssl.
#include <gtest/gtest.h>

#include "CryptoVectors.h"
#include "bootstrap/Crypto.h"
#include "bootstrap/VendorList.h"

namespace {
std::string Base64(const char* text) {
  std::string bytes;
  EXPECT_TRUE(DecodeBase64(text, bytes));
  return bytes;
}

TEST(PlatformCrypto, Sha256MatchesTheStandardVectorsWhateverThePieces) {
  for (const vectors::DigestVector& v : vectors::kDigests) {
    const std::unique_ptr<ISha256> sha = PlatformCrypto().NewSha256();
    ASSERT_TRUE(sha);
    // Pieces of growing sizes, so that no block boundary is special.
    std::size_t at = 0;
    for (std::size_t piece = 1; at < v.input.size(); piece = piece * 3 + 1) {
      const std::size_t n = std::min(piece, v.input.size() - at);
      sha->Update(v.input.data() + at, n);
      at += n;
    }
    EXPECT_EQ(HexDigest(sha->Final()), v.sha256) << v.input.size() << " bytes";
  }
}

TEST(PlatformCrypto, OnlyTheVendorsKeyVerifiesTheVendorsSignatureOverTheSameBytes) {
  const std::string vendor = PublicKeyFromPem(vectors::kVendorKey);
  const std::string other = PublicKeyFromPem(vectors::kOtherKey);
  const std::string signature = Base64(vectors::kVendorSignature);
  ASSERT_FALSE(vendor.empty());
  ICrypto& crypto = PlatformCrypto();
  EXPECT_TRUE(crypto.VerifyRsaSha256(vendor, vectors::kMessage, signature));
  EXPECT_FALSE(crypto.VerifyRsaSha256(other, vectors::kMessage, signature));
  std::string changed = vectors::kMessage;
  changed[changed.size() - 2] ^= 1;
  EXPECT_FALSE(crypto.VerifyRsaSha256(vendor, changed, signature));
  std::string forged = signature;
  forged[10] ^= 1;
  EXPECT_FALSE(crypto.VerifyRsaSha256(vendor, vectors::kMessage, forged));
  EXPECT_FALSE(crypto.VerifyRsaSha256(vendor, vectors::kMessage, ""));
  EXPECT_FALSE(crypto.VerifyRsaSha256("not a key", vectors::kMessage, signature));
}

TEST(PlatformCrypto, AKeyOfFewerThan2048BitsIsRefusedEvenWithItsOwnSignature) {
  EXPECT_FALSE(PlatformCrypto().VerifyRsaSha256(PublicKeyFromPem(vectors::kShortKey), vectors::kMessage,
                                                Base64(vectors::kShortKeySignature)));
}
}  // namespace
