#include "platform/posix/system/Encoding.h"

#include <iconv.h>

#include <cerrno>

namespace {
std::string Convert(const std::string& in, const char* to, const char* from, char replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.reserve(in.size() * 2);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char buf[256];
  while (srcLeft > 0) {
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Unmappable or malformed: replace one input character and go on.
      out.push_back(replacement);
      std::size_t skip = 1;
      if (from[0] == 'U') {  // skip a whole UTF-8 sequence
        while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
      }
      src += skip;
      srcLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}
}  // namespace

AnsiText Utf8ToAnsi(const std::string& utf8) { return Convert(utf8, "WINDOWS-1250", "UTF-8", '?'); }

std::string AnsiToUtf8(const AnsiText& ansi) { return Convert(ansi, "UTF-8", "WINDOWS-1250", '?'); }
