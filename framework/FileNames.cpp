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
TTargetFileCreator& Creator() {
  static TTargetFileCreator creator;
  return creator;
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

std::FILE* CreateTargetFile(const AnsiText& name) {
  TTargetFileCreator create;
  {
    std::lock_guard lock(Guard());
    create = Creator();
  }
  const std::string native = NativeFileName(name);
  return create ? create(native) : std::fopen(native.c_str(), "wb");
}

void SetTargetFileCreator(TTargetFileCreator creator) {
  std::lock_guard lock(Guard());
  Creator() = std::move(creator);
}
