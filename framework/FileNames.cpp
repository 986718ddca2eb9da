#include "framework/FileNames.h"

#include <cerrno>
#include <filesystem>
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

namespace {
std::FILE* ContinueFile(const std::string& native, std::int64_t keep) {
  std::error_code ec;
  const std::filesystem::path path(native);
  if (!std::filesystem::is_regular_file(path, ec) ||
      std::filesystem::file_size(path, ec) < static_cast<std::uintmax_t>(keep) || ec) {
    errno = ec ? ec.value() : EINVAL;
    return nullptr;
  }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(keep), ec);
  if (ec) {
    errno = ec.value();
    return nullptr;
  }
  std::FILE* file = std::fopen(native.c_str(), "r+b");
  if (file != nullptr && std::fseek(file, static_cast<long>(keep), SEEK_SET) != 0) {
    std::fclose(file);
    file = nullptr;
  }
  return file;
}
}  // namespace

std::FILE* CreateTargetFile(const AnsiText& name, std::int64_t keep) {
  TTargetFileCreator create;
  {
    std::lock_guard lock(Guard());
    create = Creator();
  }
  const std::string native = NativeFileName(name);
  if (create) return create(native, keep);
  return keep > 0 ? ContinueFile(native, keep) : std::fopen(native.c_str(), "wb");
}

void SetTargetFileCreator(TTargetFileCreator creator) {
  std::lock_guard lock(Guard());
  Creator() = std::move(creator);
}
