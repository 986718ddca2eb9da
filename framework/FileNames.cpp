#include "framework/FileNames.h"

#include <mutex>

namespace {
std::mutex& Guard() {
  static std::mutex m;
  return m;
}
TNativeFileName& Converter() {
  static TNativeFileName converter;
  return converter;
}
}  // namespace

std::string NativeFileName(const AnsiText& name) {
  TNativeFileName convert;
  {
    std::lock_guard lock(Guard());
    convert = Converter();
  }
  return convert ? convert(name) : name;
}

void SetNativeFileName(TNativeFileName converter) {
  std::lock_guard lock(Guard());
  Converter() = std::move(converter);
}
