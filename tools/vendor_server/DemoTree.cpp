#include "DemoTree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>

#include "bootstrap/Catalogue.h"
#include "textconv/Ascii.h"

namespace vendor {

namespace fs = std::filesystem;

namespace {

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// Replaces target with a hard link to source, or with a copy where links are not possible.
void LinkOrCopy(const fs::path& source, const fs::path& target) {
  fs::remove(target);
  std::error_code ec;
  fs::create_hard_link(source, target, ec);
  if (ec) fs::copy_file(source, target, fs::copy_options::overwrite_existing);
}

}  // namespace

std::uint64_t DemoFileSize(std::string_view fileName) {
  // Odd sizes, so that no file ends on a read-buffer boundary by accident:
  // the database package tens of megabytes, the gauge can be watched on it;
  // every other file a few hundred kilobytes.
  const std::uint64_t seed = SplitMix64(PatternSeed(fileName));
  constexpr std::uint64_t kKiB = 1024;
  if (IsDatabasePackage(AnsiText(fileName))) return (25 * 1024 * kKiB + seed % (14 * 1024 * kKiB)) | 1;
  return (100 * kKiB + seed % (900 * kKiB)) | 1;
}

std::uint64_t PatternSeed(std::string_view fileName) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a
  for (char c : fileName) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  return hash;
}

void FillPattern(std::uint64_t seed, std::uint64_t offset, std::span<char> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t position = offset + done;
    const std::uint64_t word = SplitMix64(seed ^ SplitMix64(position / 8));
    const std::size_t inWord = static_cast<std::size_t>(position % 8);
    if (inWord == 0 && out.size() - done >= 8) {
      // Whole words: the bulk of every file, so no per-byte work here.
      std::array<unsigned char, 8> bytes{};
      for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(word >> (8 * i));
      std::memcpy(out.data() + done, bytes.data(), 8);
      done += 8;
      continue;
    }
    for (std::size_t i = inWord; i < 8 && done < out.size(); ++i, ++done) {
      out[done] = static_cast<char>(static_cast<unsigned char>(word >> (8 * i)));
    }
  }
}

void WritePatternFile(const fs::path& path, std::uint64_t seed, std::uint64_t size) {
  fs::remove(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + path.string());
  std::vector<char> block(std::size_t{1} << 20);
  for (std::uint64_t written = 0; written < size;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - written));
    FillPattern(seed, written, std::span<char>(block.data(), n));
    out.write(block.data(), static_cast<std::streamsize>(n));
    written += n;
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

DemoTreeStats MakeDemoTree(const fs::path& root, const fs::path& setupProgram) {
  if (!fs::is_regular_file(setupProgram))
    throw std::runtime_error("no setup program at " + setupProgram.string());
  DemoTreeStats stats;
  std::map<std::string, fs::path> firstCopy;
  for (const AnsiText& code : ProductCodes()) {
    for (const std::string& folderName : {code, AsciiLowerText(code)}) {
      const fs::path folder = root / folderName;
      fs::create_directories(folder);
      ++stats.folders;
      for (const TProductFile& file : ProductFiles(code)) {
        const std::string& name = file.ServerName;
        const fs::path target = folder / name;
        ++stats.files;
        if (auto it = firstCopy.find(name); it != firstCopy.end()) {
          LinkOrCopy(it->second, target);
          continue;
        }
        // What the installer starts at the end is the demo's setup program.
        if (file.LocalName == "setup.exe") {
          fs::remove(target);
          fs::copy_file(setupProgram, target, fs::copy_options::overwrite_existing);
          stats.dataBytes += fs::file_size(target);
        } else {
          WritePatternFile(target, PatternSeed(name), DemoFileSize(name));
          stats.dataBytes += DemoFileSize(name);
        }
        firstCopy.emplace(name, target);
      }
    }
  }
  return stats;
}

}  // namespace vendor
