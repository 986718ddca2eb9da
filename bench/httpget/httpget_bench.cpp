// Download speed of the getter over the Linux transport against the vendor
// server on loopback, side by side with curl on the same file:
//   (a) no progress handler,
//   (b) a progress handler behind the UI hand-off, with this thread pumping
//       the UI queue as fast as it can,
//   (c) the same, this thread running the program's own loop: FLTK's wait,
//       woken through the program's wake-up, with how long the UI thread
//       waited for each next report after answering one,
// and the peak memory of a 256 MiB download (in a child process of its own).
//
//   httpget_bench [--mib N] [--runs N]
//
// The files are generated in a temp folder and removed at the end.

// Asio's scheduler draws a false -Wnull-dereference once inlined at -O2.
#pragma GCC diagnostic ignored "-Wnull-dereference"

#include <FL/Fl.H>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VendorServer.h"
#include "framework/MainThread.h"
#include "httpget/HTTPGet.h"
#include "platform/posix/fltk/WakeUp.h"
#include "platform/posix/http/PosixInternet.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kUrl = "www.vendor.example/download/BENCH/big.bin";

void MakeFile(const fs::path& path, std::size_t mib) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror("fopen");
    std::exit(1);
  }
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  std::mt19937_64 random(7);
  for (std::size_t i = 0; i < mib; ++i) {
    for (auto& w : block) w = random();
    std::fwrite(block.data(), sizeof block[0], block.size(), f);
  }
  std::fclose(f);
}

struct Result {
  double seconds = 0;
  bool ok = false;
};

enum class Pump {
  Queue,        // WaitForPending / ProcessPending
  ProgramLoop,  // Fl::wait, woken by the program's wake-up
};

// One GetFile, pumping the UI queue on this thread until the final event.
// gaps, when given, receives the time from the end of each progress report
// to the start of the next, in microseconds.
Result Getter(const std::string& proxy, const fs::path& target, bool withProgress, Pump pump = Pump::Queue,
              std::vector<float>* gaps = nullptr) {
  PosixInternetSettings settings;
  settings.httpProxy = proxy;
  PosixInternet net(settings);
  THTTPGet get(nullptr, net);
  get.URL = kUrl;
  get.FileName = target.string();
  get.BinaryData = true;
  bool finished = false;
  bool ok = false;
  std::int64_t reports = 0;
  std::int32_t last = 0;
  Clock::time_point reportEnd;
  if (withProgress) {
    get.OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t readed) {
      if (gaps != nullptr) {
        const auto now = Clock::now();
        if (reports > 0) gaps->push_back(std::chrono::duration<float, std::micro>(now - reportEnd).count());
      }
      ++reports;
      last = readed;
      if (gaps != nullptr) reportEnd = Clock::now();
    });
  }
  get.OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText, std::int32_t) { finished = ok = true; });
  get.OnError = TNotifyEvent([&](TObject*) { finished = true; });
  if (pump == Pump::ProgramLoop) InstallWakeUp();
  const auto start = Clock::now();
  get.GetFile();
  while (!finished) {
    if (pump == Pump::Queue) {
      if (MainThreadQueue().ProcessPending() == 0)
        MainThreadQueue().WaitForPending(std::chrono::milliseconds(50));
    } else {
      Fl::wait(0.05);
    }
  }
  if (pump == Pump::ProgramLoop) RemoveWakeUp();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (withProgress && (reports == 0 || last == 0)) ok = false;
  return {seconds, ok};
}

// curl's own transfer time, without its process start; the smaller the
// figure, the harder the comparison.
Result Curl(const std::string& proxy, const fs::path& target) {
  const std::string command =
      "curl -s -f -w '%{time_total}' -o '" + target.string() + "' -x " + proxy + " http://" + kUrl;
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return {};
  double seconds = 0;
  const bool parsed = std::fscanf(p, "%lf", &seconds) == 1;
  const int rc = pclose(p);
  return {seconds, parsed && rc == 0 && seconds > 0};
}

double Best(std::vector<double> v) {
  return *std::min_element(v.begin(), v.end());
}

double Percentile(std::vector<float>& v, double p) {
  if (v.empty()) return 0;
  const auto at = v.begin() + static_cast<std::ptrdiff_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

struct Setup {
  fs::path dir;
  std::unique_ptr<vendor::VendorServer> server;
  std::string proxy;

  explicit Setup(std::size_t mib) {
    dir = fs::temp_directory_path() / ("httpget_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir / "root" / "BENCH");
    MakeFile(dir / "root" / "BENCH" / "big.bin", mib);
    server = std::make_unique<vendor::VendorServer>(dir / "root", fs::path());
    server->Start("127.0.0.1", 0);
    proxy = server->BaseUrl();
  }
  ~Setup() {
    server->Stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// Child mode: one 256 MiB download without progress; prints the peak RSS.
int PeakRss() {
  long before = 0;
  {
    Setup setup(256);
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    before = u.ru_maxrss;
    const Result r = Getter(setup.proxy, setup.dir / "got.bin", true);
    const bool same = r.ok && fs::file_size(setup.dir / "got.bin") == 256u << 20;
    getrusage(RUSAGE_SELF, &u);
    std::printf("peak RSS of a 256 MiB download: %ld KiB (%ld KiB before it started)%s\n", u.ru_maxrss,
                before, same ? "" : "  [DOWNLOAD FAILED]");
    return same ? 0 : 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mib = 64;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--peak-rss") == 0) return PeakRss();
    if (std::strcmp(argv[i], "--mib") == 0 && i + 1 < argc) mib = std::strtoul(argv[++i], nullptr, 10);
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::atoi(argv[++i]);
  }

  int status = 0;
  Fl::lock();  // as the program's widget set does: Fl::awake needs it
  {
    Setup setup(mib);
    std::vector<double> curl, plain, progress, looped;
    std::vector<float> gaps;
    bool allOk = true;
    for (int run = 0; run < runs; ++run) {
      const Result c = Curl(setup.proxy, setup.dir / "curl.bin");
      const Result a = Getter(setup.proxy, setup.dir / "a.bin", false);
      const Result b = Getter(setup.proxy, setup.dir / "b.bin", true);
      const Result l = Getter(setup.proxy, setup.dir / "l.bin", true, Pump::ProgramLoop, &gaps);
      allOk = allOk && c.ok && a.ok && b.ok && l.ok;
      looped.push_back(l.seconds);
      curl.push_back(c.seconds);
      plain.push_back(a.seconds);
      progress.push_back(b.seconds);
    }
    const double size = static_cast<double>(mib);
    const double tc = Best(curl), ta = Best(plain), tb = Best(progress), tl = Best(looped);
    const double chunks = size * 1048576.0 / 1025.0;
    std::printf("%zu MiB over loopback through the proxy route, best of %d runs\n", mib, runs);
    std::printf("  curl                          %8.1f MiB/s\n", size / tc);
    std::printf("  (a) getter, no progress       %8.1f MiB/s   %.2fx curl (target 0.70x)\n", size / ta,
                tc / ta);
    std::printf(
        "  (b) getter, progress hand-off %8.1f MiB/s   %.2fx curl (target 0.10x), %.2f us per chunk\n",
        size / tb, tc / tb, tb * 1e6 / chunks);
    std::printf(
        "  (c) the program's own loop     %8.1f MiB/s   %.2fx curl, %.2f us per chunk, %.2fx (b) (target "
        "0.80x)\n",
        size / tl, tc / tl, tl * 1e6 / chunks, tb / tl);
    const auto beyond = std::count_if(gaps.begin(), gaps.end(), [](float g) { return g > 50; });
    std::printf(
        "      wait for the next report, us: median %.1f, 90%% %.1f, 99%% %.1f, 99.9%% %.1f; over 50: "
        "%.2f%%\n",
        Percentile(gaps, 0.5), Percentile(gaps, 0.9), Percentile(gaps, 0.99), Percentile(gaps, 0.999),
        gaps.empty() ? 0.0 : 100.0 * static_cast<double>(beyond) / static_cast<double>(gaps.size()));
    if (!allOk) {
      std::printf("  SOME DOWNLOADS FAILED\n");
      status = 1;
    }
  }

  // The peak memory is measured in a process of its own, untouched by the runs above.
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", argv[0], "--peak-rss", static_cast<char*>(nullptr));
    _exit(127);
  }
  int childStatus = 0;
  waitpid(child, &childStatus, 0);
  if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) status = 1;
  return status;
}
