#include "bootstrap/VendorList.h"

#include <cstddef>

#include "textconv/Ascii.h"

namespace {
int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool ParseDigest(std::string_view hex, TSha256Digest& digest) {
  if (hex.size() != 2 * digest.size()) return false;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int hi = HexDigitValue(hex[2 * i]);
    const int lo = HexDigitValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    digest[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return true;
}

// A size the getter can fetch: decimal digits, at most 2^31 - 1.
bool ParseSize(std::string_view text, std::int64_t& size) {
  if (text.empty() || text.size() > 10) return false;
  size = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    size = size * 10 + (c - '0');
  }
  return size <= 0x7FFFFFFF;
}

// Splits off the next line, without its line feed; false when no complete line is left.
bool NextLine(std::string_view& rest, std::string_view& line) {
  const std::size_t eol = rest.find('\n');
  if (eol == std::string_view::npos) return false;
  line = rest.substr(0, eol);
  rest.remove_prefix(eol + 1);
  return true;
}

bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) *why = reason;
  return false;
}
}  // namespace

bool DecodeBase64(std::string_view text, std::string& bytes) {
  bytes.clear();
  if (text.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (pad == 1 && text[i + 2] == '=') return false;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int v = k >= 4 - static_cast<std::size_t>(pad) ? 0 : Base64Value(text[i + k]);
      if (v < 0) return false;
      group = group << 6 | static_cast<std::uint32_t>(v);
    }
    bytes += static_cast<char>(group >> 16);
    if (pad < 2) bytes += static_cast<char>(group >> 8 & 0xFF);
    if (pad < 1) bytes += static_cast<char>(group & 0xFF);
  }
  return true;
}

std::string PublicKeyFromPem(std::string_view pem) {
  static constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
  static constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
  const std::size_t begin = pem.find(kBegin);
  if (begin == std::string_view::npos) return {};
  const std::size_t end = pem.find(kEnd, begin);
  if (end == std::string_view::npos) return {};
  std::string base64;
  for (const char c : pem.substr(begin + kBegin.size(), end - begin - kBegin.size())) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') base64 += c;
  }
  std::string der;
  if (!DecodeBase64(base64, der)) return {};
  return der;
}

std::string HexDigest(const TSha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0F];
  }
  return hex;
}

bool TVendorList::Read(ICrypto& crypto, std::string_view publicKey, const AnsiText& product,
                       std::string_view text, std::string* why) {
  loaded_ = false;
  files_.clear();
  if (text.size() > kVendorListLimit) return Fail(why, "the list is too long");
  // The signature first: nothing of an unsigned text is read.
  static constexpr std::string_view kSignature = "signature ";
  std::string_view last = text;
  if (!last.empty() && last.back() == '\n') last.remove_suffix(1);
  const std::size_t eol = last.rfind('\n');
  const std::size_t signatureLine = eol == std::string_view::npos ? 0 : eol + 1;
  last.remove_prefix(signatureLine);
  if (last.substr(0, kSignature.size()) != kSignature) return Fail(why, "the list has no signature line");
  std::string signature;
  if (!DecodeBase64(last.substr(kSignature.size()), signature) || signature.empty())
    return Fail(why, "the signature is not base64");
  const std::string_view signedPart = text.substr(0, signatureLine);
  if (!crypto.VerifyRsaSha256(publicKey, signedPart, signature))
    return Fail(why, "the signature does not verify with the vendor's key");

  std::string_view rest = signedPart;
  std::string_view line;
  if (!NextLine(rest, line) || line != kVendorListHeader) return Fail(why, "the list has no header");
  if (!NextLine(rest, line) || line.substr(0, 8) != "product ") return Fail(why, "the list names no product");
  if (line.substr(8) != product) return Fail(why, "the list is for product " + std::string(line.substr(8)));
  std::vector<TListedFile> files;
  while (NextLine(rest, line)) {
    const std::size_t s1 = line.find(' ');
    const std::size_t s2 = s1 == std::string_view::npos ? s1 : line.find(' ', s1 + 1);
    TListedFile file;
    if (s1 == 0 || s2 == std::string_view::npos || !ParseSize(line.substr(s1 + 1, s2 - s1 - 1), file.Size) ||
        !ParseDigest(line.substr(s2 + 1), file.Digest)) {
      return Fail(why, "a line of the list is not a file: " + std::string(line));
    }
    file.Name = AnsiText(line.substr(0, s1));
    for (const TListedFile& f : files) {
      if (f.Name == file.Name) return Fail(why, "the list names " + file.Name + " twice");
    }
    files.push_back(std::move(file));
  }
  files_ = std::move(files);
  loaded_ = true;
  return true;
}

const TListedFile* TVendorList::Find(const AnsiText& serverName) const {
  for (const TListedFile& f : files_) {
    if (f.Name == serverName) return &f;
  }
  return nullptr;
}
