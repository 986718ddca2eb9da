#pragma once
// The vendor's signed list of a product's files: for each server file name
// its size and SHA-256, with an RSA signature over the whole text. It lies
// beside the files, as /download/<program name>/websetup.list:
//
//   websetup file list 2
//   product TERBO
//   serial 1781870400
//   expires 2027-06-07T12:00:00Z
//   comm32.zip 312341 <SHA-256, 64 hex digits>
//   ...
//   signature <base64 of the RSA PKCS#1 v1.5 SHA-256 signature>
//
// The signature covers every byte before its own line. Lines end with a
// line feed; names hold no spaces. The serial (a positive integer) rises with
// each publication and the expiry is UTC, so that an old list cannot be
// served again for ever: the installer refuses one that has expired or is
// older than the one it accepted before.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/Crypto.h"
#include "framework/Types.h"

inline constexpr const char* kVendorListName = "websetup.list";
inline constexpr const char* kVendorListHeader = "websetup file list 2";
// A list is a few hundred bytes; anything near this is not one.
inline constexpr std::size_t kVendorListLimit = 64 * 1024;

// What the installer makes of a list it fetched.
enum class TListVerdict {
  Accepted,
  Refused,   // missing, not signed with the key, malformed, another product's
  Replayed,  // signed, but older than the kept one, or of its serial with other content
  Expired,   // signed and well formed, but past its expiry by the computer's clock
};

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
  std::uint64_t Serial() const noexcept { return serial_; }
  // Seconds since 1970-01-01T00:00:00Z.
  std::int64_t Expires() const noexcept { return expires_; }
  // The whole text as it was read.
  const std::string& Text() const noexcept { return text_; }
  // What the signature covers: one list however its last line ends.
  std::string_view Signed() const noexcept { return std::string_view(text_).substr(0, signedSize_); }
  // The entry for a server file name, or nullptr.
  const TListedFile* Find(const AnsiText& serverName) const;

 private:
  bool loaded_ = false;
  std::vector<TListedFile> files_;
  std::uint64_t serial_ = 0;
  std::int64_t expires_ = 0;
  std::string text_;
  std::size_t signedSize_ = 0;
};

// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970-01-01T00:00:00Z, and back;
// false on anything else.
bool ParseUtcTime(std::string_view text, std::int64_t& seconds);
std::string FormatUtcTime(std::int64_t seconds);

// The DER bytes of a PEM "PUBLIC KEY" block; empty when there is none.
std::string PublicKeyFromPem(std::string_view pem);
// Base64 (RFC 4648, padded, no line breaks, unused bits zero) to bytes;
// false on anything else, so that bytes have one spelling only.
bool DecodeBase64(std::string_view text, std::string& bytes);
std::string HexDigest(const TSha256Digest& digest);
