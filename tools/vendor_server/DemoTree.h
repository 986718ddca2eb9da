// The demo's download tree: one folder per product code of the installer's catalogue, in upper
// and in lower case, holding the files that product downloads. File contents are a deterministic pseudo-random pattern,
// so a downloaded copy can be checked without the original.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vendor {

// Size of the demo file of that name (the setup program is a copy of the one given instead).
std::uint64_t DemoFileSize(std::string_view fileName);

// Seed of the pattern of the demo file of that name.
std::uint64_t PatternSeed(std::string_view fileName);

// Bytes [offset, offset + out.size()) of the pattern with that seed.
void FillPattern(std::uint64_t seed, std::uint64_t offset, std::span<char> out);

// Writes size bytes of the pattern, replacing the file.
void WritePatternFile(const std::filesystem::path& path, std::uint64_t seed, std::uint64_t size);

struct DemoTreeStats {
  int folders = 0;
  int files = 0;                // names in all folders
  std::uint64_t dataBytes = 0;  // bytes actually written; repeated names share one file
};

// Lays out root/<CODE>/ and root/<code>/ for every product. A name that repeats is a hard link
// to its first copy (a plain copy where the file system has no hard links). Existing files are replaced.
DemoTreeStats MakeDemoTree(const std::filesystem::path& root, const std::filesystem::path& setupProgram);

}  // namespace vendor
