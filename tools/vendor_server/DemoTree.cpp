#include "DemoTree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>

#include "bootstrap/Catalogue.h"

namespace vendor {

namespace fs = std::filesystem;

namespace {

const char* const kFirebird32 = "Firebird-32.zip";
const char* const kFirebird64 = "Firebird-64.zip";

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

// Replaces target with a hard link to source, or with a copy where links are not possible.
void LinkOrCopy(const fs::path& source, const fs::path& target) {
  fs::remove(target);
  std::error_code ec;
  fs::create_hard_link(source, target, ec);
  if (ec) fs::copy_file(source, target, fs::copy_options::overwrite_existing);
}

}  // namespace

const std::vector<DemoProduct>& DemoCatalogue() {
  static const std::vector<DemoProduct> catalogue = [] {
    std::vector<DemoProduct> products;
    for (const AnsiText& code : ProductCodes()) {
      DemoProduct product{code, {}};
      for (const TProductFile& file : ProductFiles(code)) product.files.push_back(file.ServerName);
      products.push_back(std::move(product));
    }
    return products;
  }();
  return catalogue;
}

std::uint64_t DemoFileSize(std::string_view fileName) {
  // Odd sizes, so that no file ends on a read-buffer boundary by accident.
  static const std::map<std::string, std::uint64_t, std::less<>> sizes = {
      {"comm32.zip", 312'341},     {"ntdll.zip", 1'183'774},      {"qtintf70.zip", 2'461'093},
      {kFirebird32, 30'408'397},   {kFirebird64, 33'260'811},     {"monitor.zip", 1'874'229},
      {"view.zip", 742'117},       {"terbo.zip", 3'902'461},      {"fendo.zip", 1'236'587},
      {"rastel.zip", 655'381},     {"kolvira.zip", 1'517'903},    {"zulancz.zip", 118'273},
      {"morvika.zip", 3'288'905},  {"morvika_db.zip", 2'104'371}, {"morvika_db_av.zip", 869'513},
      {"deluno.zip", 2'977'149},   {"teamviewer.zip", 3'145'739}, {"demodata.zip", 407'925},
      {"vindel.zip", 2'318'467},   {"balmot.zip", 2'650'111},     {"grenik.zip", 1'999'987},
      {"palune.zip", 3'411'293},   {"tormen.zip", 563'219},       {"tormensk.zip", 571'081},
      {"horbeska.zip", 3'071'557}, {"pradok.zip", 1'084'843},     {"vorn.zip", 2'206'729},
      {"talbiro.zip", 1'392'611},  {"lendak.zip", 2'842'157},     {"ozt.zip", 236'413},
  };
  const auto it = sizes.find(fileName);
  return it == sizes.end() ? 0 : it->second;
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
  for (const DemoProduct& product : DemoCatalogue()) {
    for (const std::string& folderName : {product.code, Lower(product.code)}) {
      const fs::path folder = root / folderName;
      fs::create_directories(folder);
      ++stats.folders;
      for (const std::string& name : product.files) {
        const fs::path target = folder / name;
        ++stats.files;
        if (auto it = firstCopy.find(name); it != firstCopy.end()) {
          LinkOrCopy(it->second, target);
          continue;
        }
        if (name == "setup.zip") {
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
