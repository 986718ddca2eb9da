// The bare figures the program's download is measured against, under Wine:
//
//   wininet_loop get HOST/PATH FILE [CHUNK]
//       one HTTP/1.0 GET as the getter makes it (preconfigured proxy, reload),
//       then InternetReadFile CHUNK bytes at a time (default 1025) into FILE;
//       prints bytes, seconds and MiB/s.
//   wininet_loop roundtrip [COUNT]
//       COUNT round trips of a worker posting a message to a hidden window on
//       the UI thread and waiting until the UI thread has answered, the bare
//       cost of the program's hand-off of each progress report; prints the
//       mean in microseconds.
//   wininet_loop handoff [COUNT] [peek]
//       COUNT hand-offs through the program's own UI queue, woken as the
//       Win32 widget set wakes it (one posted message, a posted flag); with
//       "peek" each call also empties the message queue with PeekMessage, as
//       the progress handler's ProcessMessages does.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/MainThread.h"

namespace {
using Clock = std::chrono::steady_clock;

int Get(const std::string& url, const char* target, DWORD chunk) {
  const auto slash = url.find('/');
  const std::string host = url.substr(0, slash);
  const std::string path = slash == std::string::npos ? "/" : url.substr(slash);
  const auto start = Clock::now();
  HINTERNET internet = ::InternetOpenA("wininet_loop", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connect = ::InternetConnectA(internet, host.c_str(), INTERNET_DEFAULT_HTTP_PORT, "", "",
                                         INTERNET_SERVICE_HTTP, 0, 0);
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request =
      ::HttpOpenRequestA(connect, "GET", path.c_str(), "HTTP/1.0", "", accept, INTERNET_FLAG_RELOAD, 0);
  if (request == nullptr || !::HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    std::fprintf(stderr, "request failed: %lu\n", ::GetLastError());
    return 1;
  }
  std::FILE* out = std::fopen(target, "wb");
  if (out == nullptr) {
    std::perror(target);
    return 1;
  }
  std::vector<char> buffer(chunk);
  long long total = 0;
  long long reads = 0;
  DWORD got = 0;
  while (::InternetReadFile(request, buffer.data(), chunk, &got) && got != 0) {
    if (std::fwrite(buffer.data(), 1, got, out) != got) return 1;
    total += got;
    ++reads;
  }
  std::fclose(out);
  ::InternetCloseHandle(request);
  ::InternetCloseHandle(connect);
  ::InternetCloseHandle(internet);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("bytes %lld reads %lld seconds %.3f MiB/s %.2f\n", total, reads, seconds,
              static_cast<double>(total) / seconds / (1024.0 * 1024.0));
  return 0;
}

constexpr UINT kPing = WM_APP + 1;
HANDLE answer = nullptr;

LRESULT CALLBACK Pong(HWND window, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kPing) {
    ::SetEvent(answer);
    return 0;
  }
  return ::DefWindowProcA(window, msg, w, l);
}

// A message-only window of a class of its own.
HWND MessageWindow(WNDPROC proc, const char* className) {
  WNDCLASSA cls = {};
  cls.lpfnWndProc = proc;
  cls.hInstance = ::GetModuleHandleA(nullptr);
  cls.lpszClassName = className;
  ::RegisterClassA(&cls);
  return ::CreateWindowA(className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
}

int RoundTrip(long count) {
  HWND window = MessageWindow(Pong, "wininet_loop_pong");
  answer = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  double seconds = 0;
  std::thread worker([&] {
    const auto start = Clock::now();
    for (long i = 0; i < count; ++i) {
      ::PostMessageA(window, kPing, 0, 0);
      ::WaitForSingleObject(answer, INFINITE);
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::PostMessageA(window, WM_QUIT, 0, 0);
  });
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  worker.join();
  std::printf("round trips %ld mean us %.1f\n", count, seconds * 1e6 / static_cast<double>(count));
  return 0;
}
constexpr UINT kWakeUp = WM_APP + 2;
std::atomic<bool> wakeUpPosted{false};

LRESULT CALLBACK Wake(HWND window, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kWakeUp) {
    wakeUpPosted = false;
    MainThreadQueue().ProcessPending();
    return 0;
  }
  return ::DefWindowProcA(window, msg, w, l);
}

int HandOff(long count, bool peek) {
  HWND window = MessageWindow(Wake, "wininet_loop_wake");
  MainThreadQueue().SetWakeUp([window] {
    if (!wakeUpPosted.exchange(true)) ::PostMessageA(window, kWakeUp, 0, 0);
  });
  bool quit = false;
  const std::function<void()> call = [peek, &quit] {
    if (!peek) return;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  };
  double seconds = 0;
  std::thread worker([&] {
    const auto start = Clock::now();
    for (long i = 0; i < count; ++i) MainThreadQueue().RunAndWait(call);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::PostMessageA(window, WM_QUIT, 0, 0);
  });
  MSG msg;
  while (!quit && ::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  worker.join();
  MainThreadQueue().SetWakeUp(nullptr);
  std::printf("hand-offs %ld%s mean us %.1f\n", count, peek ? " with PeekMessage" : "",
              seconds * 1e6 / static_cast<double>(count));
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "get") == 0) {
    return Get(argv[2], argv[3], argc >= 5 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 1025);
  }
  if (argc >= 2 && std::strcmp(argv[1], "roundtrip") == 0) {
    return RoundTrip(argc >= 3 ? std::strtol(argv[2], nullptr, 10) : 20000);
  }
  if (argc >= 2 && std::strcmp(argv[1], "handoff") == 0) {
    return HandOff(argc >= 3 ? std::strtol(argv[2], nullptr, 10) : 20000,
                   argc >= 4 && std::strcmp(argv[3], "peek") == 0);
  }
  std::fprintf(
      stderr,
      "usage: wininet_loop get HOST/PATH FILE [CHUNK] | roundtrip [COUNT] | handoff [COUNT] [peek]\n");
  return 2;
}
