#include "platform/posix/system/Encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace {

// Bytes taken by the UTF-8 character at the front of text: the whole sequence
// when it is well formed, else the one offending byte.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80 || c > 0xBF) return 1;
  }
  return length;
}

// Without a converter (a system lacking the iconv modules) ASCII still passes.
std::string AsciiOnly(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) > 0x7F) c = '?';
  }
  return out;
}

std::string Convert(const char* to, const char* from, std::string_view text, bool fromUtf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) return AsciiOnly(text);

  std::string out;
  std::string in(text);  // iconv wants a mutable input pointer
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  std::array<char, 256> chunk{};
  while (inLeft > 0) {
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    out.append(chunk.data(), static_cast<std::size_t>(outPtr - chunk.data()));
    if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    out += '?';
    if (error != EILSEQ) break;  // EINVAL: a sequence cut off at the end
    const std::size_t skip = fromUtf8 ? Utf8SequenceLength(std::string_view(inPtr, inLeft)) : 1;
    inPtr += skip;
    inLeft -= skip;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

AnsiText Utf8ToAnsi(std::string_view utf8) { return Convert("WINDOWS-1250", "UTF-8", utf8, true); }

std::string AnsiToUtf8(std::string_view ansi) { return Convert("UTF-8", "WINDOWS-1250", ansi, false); }
