// first_byte LIST-URL FILE-URL RUNS
//
// The time from the request of a file to its first byte, as the Linux
// program sees it: each run a fresh transport (proxies and SSL_CERT_FILE from
// the environment), the list fetched first as a program with a key does,
// then the file, timed from GetFile to its first progress event. Prints the
// median and the range in milliseconds. An https:// URL goes over TLS.

// Asio's scheduler draws a false -Wnull-dereference once inlined at -O2.
#pragma GCC diagnostic ignored "-Wnull-dereference"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/MainThread.h"
#include "httpget/HTTPGet.h"
#include "platform/posix/http/PosixInternet.h"

using Clock = std::chrono::steady_clock;

namespace {

// Runs one transfer to its end; false on failure.
bool Fetch(THTTPGet& get, bool toFile) {
  bool done = false, ok = false;
  get.OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText, std::int32_t) { done = ok = true; });
  get.OnDoneString = TOnDoneStringEvent([&](TObject*, AnsiText) { done = ok = true; });
  get.OnError = TNotifyEvent([&](TObject*) { done = true; });
  if (toFile) {
    get.GetFile();
  } else {
    get.GetString();
  }
  while (!done) {
    MainThreadQueue().WaitForPending(std::chrono::milliseconds(10));
    MainThreadQueue().ProcessPending();
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: first_byte LIST-URL FILE-URL RUNS\n");
    return 2;
  }
  const std::string listUrl = argv[1], fileUrl = argv[2];
  const int runs = std::atoi(argv[3]);
  const auto target = std::filesystem::temp_directory_path() / ("first_byte." + std::to_string(getpid()));
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    PosixInternet transport;
    THTTPGet get(nullptr, transport);
    get.Https = true;  // as a program built with WEBSETUP_HTTPS; a http:// URL stays plain
    get.BinaryData = true;
    get.URL = listUrl;
    if (!Fetch(get, false)) {
      std::fprintf(stderr, "the list did not arrive from %s\n", listUrl.c_str());
      return 1;
    }
    Clock::time_point asked, first;
    bool seen = false;
    get.OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) {
      if (!seen) first = Clock::now();
      seen = true;
    });
    get.URL = fileUrl;
    get.FileName = target.string();
    asked = Clock::now();
    const bool ok = Fetch(get, true);
    std::filesystem::remove(target);
    if (!ok || !seen) {
      std::fprintf(stderr, "the file did not arrive from %s\n", fileUrl.c_str());
      return 1;
    }
    // The progress event reaches this thread through the UI hand-off, as in the program.
    ms.push_back(std::chrono::duration<double, std::milli>(first - asked).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%.2f ms (median of %d; %.2f to %.2f)\n", ms[ms.size() / 2], runs, ms.front(), ms.back());
  return 0;
}
