#include "framework/Exception.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {
AnsiText InOutMessage(int code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    default: return FormatText("I/O error %d", code);
  }
}
}  // namespace

EInOutError::EInOutError(int errorCode) : Exception(InOutMessage(errorCode)), errorCode_(errorCode) {}

AnsiText FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  AnsiText out;
  if (needed > 0) {
    std::vector<char> buf(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, again);
    out.assign(buf.data(), static_cast<std::size_t>(needed));
  }
  va_end(again);
  return out;
}

AnsiText ErrorBoxText(const AnsiText& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.')) {
    return message + ".";
  }
  return message;
}
