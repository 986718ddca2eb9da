#pragma once
// Signed lists as the vendor's publishing makes them, signed with the fake.
#include <string>
#include <vector>

#include "bootstrap/VendorList.h"
#include "tests/support/FakeCrypto.h"

inline std::string EncodeBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[group >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

struct TListEntry {
  std::string name;
  std::string body;  // the file's bytes, whose size and digest the list gives
};

// The fields that make a list fresh, as its lines.
inline std::string Freshness(std::uint64_t serial, const std::string& expires = "2099-01-01T00:00:00Z") {
  return "serial " + std::to_string(serial) + "\nexpires " + expires + "\n";
}

// The lines of a list before its signature.
inline std::string ListBody(const std::string& product, const std::vector<TListEntry>& files,
                            const std::string& freshness = Freshness(7)) {
  std::string text = std::string(kVendorListHeader) + "\nproduct " + product + "\n" + freshness;
  for (const TListEntry& f : files) {
    text +=
        f.name + " " + std::to_string(f.body.size()) + " " + HexDigest(TFakeCrypto::Digest(f.body)) + "\n";
  }
  return text;
}

inline std::string SignList(const std::string& body, const std::string& key) {
  return body + "signature " + EncodeBase64(TFakeCrypto::Sign(key, body)) + "\n";
}

inline std::string PemOf(const std::string& der) {
  return "-----BEGIN PUBLIC KEY-----\n" + EncodeBase64(der) + "\n-----END PUBLIC KEY-----\n";
}
