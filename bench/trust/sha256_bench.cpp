// sha256_bench FILE [RUNS]: the platform's SHA-256 over a file, in MiB/s,
// beside a plain read of the same file (the peer: what reading alone costs).
// Built natively (libcrypto) and for Windows (CryptoAPI, run under Wine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bootstrap/Crypto.h"
#include "bootstrap/VendorList.h"

namespace {
// Seconds to read the file once, hashing what is read when sha is given.
double Pass(const char* path, ISha256* sha, long long& bytes) {
  std::vector<char> buffer(256 * 1024);
  const auto start = std::chrono::steady_clock::now();
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -1;
  bytes = 0;
  for (;;) {
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
    if (n == 0) break;
    if (sha != nullptr) sha->Update(buffer.data(), n);
    bytes += static_cast<long long>(n);
  }
  std::fclose(file);
  if (sha != nullptr) std::printf("  sha256 %s\n", HexDigest(sha->Final()).c_str());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sha256_bench FILE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::vector<double> read, hashed;
  long long bytes = 0;
  for (int i = 0; i < runs; ++i) {
    read.push_back(Pass(argv[1], nullptr, bytes));
    const auto sha = PlatformCrypto().NewSha256();
    hashed.push_back(Pass(argv[1], sha.get(), bytes));
  }
  std::sort(read.begin(), read.end());
  std::sort(hashed.begin(), hashed.end());
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  const double r = read[read.size() / 2];
  const double h = hashed[hashed.size() / 2];
  std::printf("%.0f MiB, median of %d: read %.0f MiB/s, read and SHA-256 %.0f MiB/s (%.2fx the read's time)\n", mib,
              runs, mib / r, mib / h, h / r);
  return 0;
}
