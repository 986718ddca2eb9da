#pragma once
// The vendor's signed list of a product's files: for each server file name
// its size and SHA-256, with an RSA signature over the whole text. It lies
// beside the files, as /download/<program name>/websetup.list:
//
//   websetup file list 1
//   product TERBO
//   comm32.zip 312341 <SHA-256, 64 hex digits>
//   ...
//   signature <base64 of the RSA PKCS#1 v1.5 SHA-256 signature>
//
// The signature covers every byte before its own line. Lines end with a
// line feed; names hold no spaces.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/Crypto.h"
#include "framework/Types.h"

inline constexpr const char* kVendorListName = "websetup.list";
inline constexpr const char* kVendorListHeader = "websetup file list 1";
// A list is a few hundred bytes; anything near this is not one.
inline constexpr std::size_t kVendorListLimit = 64 * 1024;

struct TListedFile {
  AnsiText Name;
  std::int64_t Size = 0;
  TSha256Digest Digest{};
};

class TVendorList {
 public:
  // Accepts text as the list of product when its signature verifies with
  // publicKey (DER) and it is well formed; otherwise false, with the reason
  // in why when given.
  bool Read(ICrypto& crypto, std::string_view publicKey, const AnsiText& product, std::string_view text,
            std::string* why = nullptr);

  bool Loaded() const noexcept { return loaded_; }
  const std::vector<TListedFile>& Files() const noexcept { return files_; }
  // The entry for a server file name, or nullptr.
  const TListedFile* Find(const AnsiText& serverName) const;

 private:
  bool loaded_ = false;
  std::vector<TListedFile> files_;
};

// The DER bytes of a PEM "PUBLIC KEY" block; empty when there is none.
std::string PublicKeyFromPem(std::string_view pem);
// Base64 (RFC 4648, padded, no line breaks) to bytes; false on anything else.
bool DecodeBase64(std::string_view text, std::string& bytes);
std::string HexDigest(const TSha256Digest& digest);
