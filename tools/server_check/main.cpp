// server_check --key PUBLIC-KEY.pem http[s]://HOST[:PORT] PROGRAM...
//
// Fetches what the installer published as PROGRAM.exe would fetch from the
// vendor's server, over the same transport and with the same request, and
// prints one line per file: the list's signature, then for each file of the
// product whether the server answered 2xx with a Content-Length (the
// installer fails any answer without one) and whether size and SHA-256 are
// the list's. The list's line gives its serial and expiry; a list that
// expires within 14 days is a fault, so that monitoring sees it coming. Over
// https:// each line also names the server's certificate, its subject and
// when it expires, and one that expires within 14 days is a fault. Exits 1
// on any fault, 2 on a bad call.
//
// A hostile or broken server cannot hold it: the list is read to 64 KiB (the
// most the program takes), a file to its listed size and one byte more, and
// each request has a deadline: 30 s for the list, 30 s and a second for
// every 64 KiB listed for a file. A call that blocks past its deadline ends
// the check with exit 1.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bootstrap/Catalogue.h"
#include "bootstrap/Crypto.h"
#include "bootstrap/VendorList.h"
#include "httpget/InternetApi.h"
#include "platform/posix/http/PosixInternet.h"
#include "textconv/Utility.h"

namespace {
struct Answer {
  bool reached = false;  // a response head arrived
  int status = 0;
  std::optional<std::int64_t> length;
  std::string body;  // only when asked to keep it
  std::int64_t size = 0;
  TSha256Digest digest{};
  bool complete = false;    // the body ended as a body ends, not by an error
  bool tooLong = false;     // more than the most it may be
  bool late = false;        // still coming at the deadline
  std::string certificate;  // over TLS: the server certificate's subject
  std::time_t certificateEnd = 0;
};

// A certificate this close to its end is a fault: renew it before customers see it.
constexpr std::time_t kCertificateMargin = 14 * 24 * 3600;

using Clock = std::chrono::steady_clock;
constexpr auto kListDeadline = std::chrono::seconds(30);
// The slowest a file may come: 64 KiB a second, after the list's 30 s.
constexpr std::int64_t kFloorBytesPerSecond = 64 * 1024;
// What a blocked call gets past its deadline before the check gives up.
constexpr auto kGrace = std::chrono::seconds(10);

// Ends the process when a request outlives its deadline and grace: a call
// blocked in the transport cannot be left any other way.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  void Watch(const std::string& url, Clock::time_point deadline) {
    std::lock_guard lock(mutex_);
    url_ = url;
    deadline_ = deadline + kGrace;
    wake_.notify_one();
  }
  void Done() {
    std::lock_guard lock(mutex_);
    url_.clear();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (url_.empty()) {
        wake_.wait(lock);
      } else if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && !url_.empty() &&
                 Clock::now() >= deadline_) {
        std::cout.flush();
        std::cerr << "server_check: " << url_ << ": no answer and no end past its deadline; stopped\n";
        std::_Exit(1);
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string url_;
  Clock::time_point deadline_;
  bool stop_ = false;
  std::thread thread_;
};

// One GET as the installer's getter makes it: HTTP/1.0, accept */*, its
// client name, past the cache; read to at most limit bytes and one more, and
// no further than the deadline.
Answer Fetch(PosixInternet& net, Watchdog& watchdog, const std::string& url, const std::string& host,
             std::uint16_t port, bool secure, const std::string& path, bool keep, std::int64_t limit,
             Clock::duration time) {
  Answer a;
  const Clock::time_point deadline = Clock::now() + time;
  watchdog.Watch(url, deadline);
  const auto internet =
      net.InternetOpenA("Kestrami HTTPGet", IInternetApi::kOpenTypePreconfig, nullptr, nullptr, 0);
  const auto connect =
      net.InternetConnectA(internet, host.c_str(), port, "", "", IInternetApi::kServiceHttp, 0, 0);
  const char* accept[] = {"*/*", nullptr};
  const auto request =
      net.HttpOpenRequestA(connect, "GET", path.c_str(), "HTTP/1.0", "", accept,
                           IInternetApi::kFlagReload | (secure ? IInternetApi::kFlagSecure : 0), 0);
  char text[1024] = {};
  std::uint32_t size = sizeof text;
  std::uint32_t index = 0;
  if (net.HttpSendRequestA(request, nullptr, 0, nullptr, 0) &&
      net.HttpQueryInfoA(request, IInternetApi::kQueryStatusCode, text, &size, &index)) {
    a.reached = true;
    a.status = std::atoi(text);
    size = sizeof text;
    index = 0;
    if (net.HttpQueryInfoA(request, IInternetApi::kQueryContentLength, text, &size, &index)) {
      try {
        a.length = std::stoll(text);
      } catch (const std::exception&) {
        a.length = -1;
      }
    }
    const std::unique_ptr<ISha256> sha = PlatformCrypto().NewSha256();
    // Small reads: a read returns only when full, and the deadline is looked at between reads.
    std::vector<char> buffer(4096);
    for (;;) {
      const auto ask = static_cast<std::uint32_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), limit + 1 - a.size));
      std::uint32_t read = 0;
      if (!net.InternetReadFile(request, buffer.data(), ask, &read)) break;
      if (read == 0) {
        a.complete = true;
        break;
      }
      sha->Update(buffer.data(), read);
      if (keep) a.body.append(buffer.data(), read);
      a.size += read;
      if (a.size > limit) {
        a.tooLong = true;
        break;
      }
      if (Clock::now() > deadline) {
        a.late = true;
        break;
      }
    }
    a.digest = sha->Final();
    if (secure) net.PeerCertificate(request, a.certificate, a.certificateEnd);
  }
  for (auto h : {request, connect, internet}) {
    if (h != nullptr) net.InternetCloseHandle(h);
  }
  watchdog.Done();
  return a;
}

// Why an answer would fail the installer, or "". what: beyond limit bytes.
std::string AnswerFault(const Answer& a, const std::string& url, const std::string& tooLong,
                        Clock::duration time) {
  if (!a.reached) return url + ": no answer";
  if (a.status < 200 || a.status > 299) return url + " answered " + std::to_string(a.status);
  if (a.tooLong) return url + " sent more than " + tooLong + "; stopped there";
  if (a.late)
    return url + " still sending after " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(time).count()) + " s (" +
           std::to_string(a.size) + " bytes); stopped there";
  if (!a.length) return "answered without a Content-Length (the program fails such an answer)";
  if (!a.complete) return "the body broke off after " + std::to_string(a.size) + " bytes";
  if (*a.length != a.size)
    return "Content-Length " + std::to_string(*a.length) + " but " + std::to_string(a.size) + " bytes";
  return "";
}

// The list's serial and expiry, or why it expires too soon.
constexpr std::int64_t kWarnSeconds = 14 * 86400;
std::string Freshness(const TVendorList& list, std::int64_t now, std::string& fault) {
  const std::int64_t left = list.Expires() - now;
  std::string text = "serial " + std::to_string(list.Serial()) + ", expires " + FormatUtcTime(list.Expires());
  if (left <= 0) {
    fault = "it has expired: programs refuse it; sign it again (publish.sh --resign)";
  } else if (left < kWarnSeconds) {
    fault = "it expires within " + std::to_string((left + 86399) / 86400) +
            " day(s), under 14: sign it again (publish.sh --resign)";
  } else {
    text += ", in " + std::to_string(left / 86400) + " days";
  }
  return text;
}

// Over TLS: the certificate beside the line, and why it is a fault, if it is.
std::string CertificateNote(const Answer& a, std::string& fault) {
  if (a.certificate.empty()) return "";
  char end[32];
  std::tm day{};
  gmtime_r(&a.certificateEnd, &day);
  std::strftime(end, sizeof end, "%Y-%m-%d %H:%M UTC", &day);
  if (fault.empty() && a.certificateEnd - std::time(nullptr) < kCertificateMargin)
    fault = std::string("the server's certificate expires within 14 days, on ") + end;
  return " [certificate " + a.certificate + ", until " + end + "]";
}

int Usage() {
  std::cerr << "usage: server_check --key PUBLIC-KEY.pem http[s]://HOST[:PORT] PROGRAM...\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 4 || args[0] != "--key") return Usage();
  std::ifstream keyFile(args[1]);
  std::stringstream pem;
  pem << keyFile.rdbuf();
  const std::string key = PublicKeyFromPem(pem.str());
  if (key.empty()) {
    std::cerr << "server_check: " << args[1] << " holds no public key (-----BEGIN PUBLIC KEY-----)\n";
    return 2;
  }
  std::string base = args[2];
  const bool secure = base.rfind("https://", 0) == 0;
  if (!secure && base.rfind("http://", 0) != 0) return Usage();
  base = base.substr(secure ? 8 : 7);
  while (!base.empty() && base.back() == '/') base.pop_back();
  std::string host = base;
  std::uint16_t port = secure ? IInternetApi::kDefaultHttpsPort : IInternetApi::kDefaultHttpPort;
  if (const auto colon = base.rfind(':'); colon != std::string::npos) {
    host = base.substr(0, colon);
    try {
      port = static_cast<std::uint16_t>(std::stoul(base.substr(colon + 1)));
    } catch (const std::exception&) {
      return Usage();
    }
  }

  PosixInternetSettings settings = PosixInternetSettings::FromEnvironment();
  settings.connectTimeout = settings.sendTimeout = settings.receiveTimeout = std::chrono::seconds(15);
  PosixInternet net(settings);
  Watchdog watchdog;
  const std::string origin = (secure ? "https://" : "http://") + base;
  int faults = 0;
  const auto report = [&](const std::string& what, const std::string& fault) {
    std::cout << (fault.empty() ? "ok    " : "FAIL  ") << what << (fault.empty() ? "" : ": " + fault) << "\n";
    if (!fault.empty()) ++faults;
  };
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& program = args[i];
    const std::vector<TProductFile> files = ProductFiles(program);
    if (files.empty()) {
      report(program, "no product is called " + program);
      continue;
    }
    const std::string folder = "/download/" + program + "/";
    const std::string listUrl = origin + folder + kVendorListName;
    const Answer listAnswer = Fetch(net, watchdog, listUrl, host, port, secure, folder + kVendorListName,
                                    true, kVendorListLimit, kListDeadline);
    TVendorList list;
    std::string why = AnswerFault(
        listAnswer, listUrl,
        std::to_string(kVendorListLimit) + " bytes, the most the program takes of a list", kListDeadline);
    if (why.empty() && !list.Read(PlatformCrypto(), key, CzechUpper(program), listAnswer.body, &why)) {
      why = "the list cannot be trusted: " + why;
    }
    std::string about = "signed list of " + CzechUpper(program);
    if (list.Loaded()) about += ", " + Freshness(list, static_cast<std::int64_t>(std::time(nullptr)), why);
    const std::string listNote = CertificateNote(listAnswer, why);
    report(program + "/" + kVendorListName + " (" + about + ")" + listNote, why);
    if (!list.Loaded()) {
      // Without the list no file has a size to read it to.
      report(program + "/*", "not checked without a list to check them against");
      continue;
    }
    for (const TProductFile& file : files) {
      const std::string what = program + "/" + file.ServerName;
      const std::string url = origin + folder + file.ServerName;
      const TListedFile* listed = list.Find(file.ServerName);
      if (listed == nullptr) {
        report(what, "not in the list");
        continue;
      }
      const Clock::duration time = kListDeadline + std::chrono::seconds(listed->Size / kFloorBytesPerSecond);
      const Answer a =
          Fetch(net, watchdog, url, host, port, secure, folder + file.ServerName, false, listed->Size, time);
      std::string fault = AnswerFault(a, url, std::to_string(listed->Size) + " bytes, the listed size", time);
      if (fault.empty()) {
        if (listed->Size != a.size) {
          fault = std::to_string(a.size) + " bytes, the list says " + std::to_string(listed->Size);
        } else if (listed->Digest != a.digest) {
          fault = "SHA-256 " + HexDigest(a.digest) + " is not the list's";
        }
      }
      const std::string note = CertificateNote(a, fault);
      report(what + (fault.empty() ? " " + std::to_string(a.size) + " bytes, as listed" : "") + note, fault);
    }
  }
  std::cout << (faults == 0 ? "every file as the program needs it\n"
                            : std::to_string(faults) + " fault(s)\n");
  return faults == 0 ? 0 : 1;
}
