#pragma once
// Fakes for the installer window's flow: a widget set that records what a
// person would see, a transport serving files from memory, and a machine.
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/MainThread.h"
#include "httpget/InternetApi.h"
#include "sysinfo/SysInfoPlatform.h"

struct TShownBox {
  AnsiText title, text;
  bool errorIcon;
};

class TFakeWidgets : public IWidgetSet {
 public:
  std::vector<TShownBox> boxes;
  std::vector<TCursor> cursors;
  std::vector<AnsiText> events;  // messages, closes and page changes, in order
  std::set<TTimer*> liveTimers;
  int processed = 0;
  bool closed = false;
  AnsiText title;

  int runs = 0;
  int dpi = kDesignPixelsPerInch;
  // The first colour, caption and progress each control was given: its stored value.
  std::map<const TControl*, std::vector<AnsiText>> history;

  void ControlChanged(TControl& c) override {
    if (auto* nb = dynamic_cast<TNotebook*>(&c)) events.push_back("page " + std::to_string(nb->PageIndex()));
    if (auto* label = dynamic_cast<TLabel*>(&c)) events.push_back("caption " + label->Name() + " " + label->Caption());
    if (auto* panel = dynamic_cast<TPanel*>(&c)) history[&c].push_back("color " + std::to_string(panel->Color()));
    if (auto* form = dynamic_cast<TForm*>(&c)) history[&c].push_back("caption " + form->Caption());
    if (auto* gauge = dynamic_cast<TGauge*>(&c)) {
      history[&c].push_back("progress " + std::to_string(gauge->Progress()) + " fore " +
                            std::to_string(gauge->ForeColor()));
    }
  }
  int ScreenPixelsPerInch() override { return dpi; }
  void ControlDestroyed(TControl&) override {}
  void TimerChanged(TTimer& t) override {
    liveTimers.insert(&t);
    events.push_back("timer " + t.Name() + (t.Enabled() ? " on" : " off"));
  }
  void TimerDestroyed(TTimer& t) override { liveTimers.erase(&t); }
  void ProcessMessages() override {
    ++processed;
    events.push_back("process");
    MainThreadQueue().ProcessPending();
  }
  void ShowMessage(const AnsiText& t, const AnsiText& text, bool errorIcon) override {
    boxes.push_back({t, text, errorIcon});
    events.push_back("box " + text);
  }
  void SetScreenCursor(TCursor c) override { cursors.push_back(c); }
  void Run(TForm&) override { ++runs; }
  void CloseForm(TForm&) override {
    closed = true;
    events.push_back("close");
  }
  void SetApplicationTitle(const AnsiText& t) override { title = t; }
};

// Serves bodies from memory as the platform's HTTP calls would.
class TFakeInternet : public IInternetApi {
 public:
  struct Response {
    int status = 200;
    std::string body;
    bool withLength = true;
    std::size_t failAfter = std::string::npos;  // read error once this many bytes went out
  };
  struct Request {
    std::string host, verb, path;
  };

  void Serve(const std::string& hostAndPath, Response r) {
    std::lock_guard lock(mutex_);
    responses_[hostAndPath] = std::move(r);
  }
  std::vector<Request> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  Handle InternetOpenA(const char*, std::uint32_t, const char*, const char*, std::uint32_t) override {
    return New(Object{});
  }
  Handle InternetConnectA(Handle internet, const char* server, std::uint16_t, const char*, const char*,
                          std::uint32_t, std::uint32_t, std::uintptr_t) override {
    if (internet == nullptr || server == nullptr || *server == '\0') return nullptr;
    Object o;
    o.host = server;
    return New(o);
  }
  Handle HttpOpenRequestA(Handle connect, const char* verb, const char* path, const char*, const char*,
                          const char* const*, std::uint32_t, std::uintptr_t) override {
    if (connect == nullptr) return nullptr;
    Object o;
    o.host = static_cast<Object*>(connect)->host;
    o.verb = verb;
    o.path = path;
    return New(o);
  }
  bool HttpSendRequestA(Handle request, const char*, std::uint32_t, const void*, std::uint32_t) override {
    if (request == nullptr) return false;
    auto* o = static_cast<Object*>(request);
    std::lock_guard lock(mutex_);
    requests_.push_back({o->host, o->verb, o->path});
    auto it = responses_.find(o->host + o->path);
    o->response = it != responses_.end() ? it->second : Response{404, "<html>not found</html>", true};
    o->sent = true;
    return true;
  }
  bool HttpQueryInfoA(Handle request, std::uint32_t level, void* buffer, std::uint32_t* length,
                      std::uint32_t*) override {
    auto* o = static_cast<Object*>(request);
    if (o == nullptr || !o->sent) return false;
    std::string value;
    if (level == kQueryContentLength) {
      if (!o->response.withLength) return false;
      value = std::to_string(o->response.body.size());
    } else if (level == kQueryStatusCode) {
      value = std::to_string(o->response.status);
    } else {
      return false;
    }
    if (*length < value.size() + 1) return false;
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    *length = static_cast<std::uint32_t>(value.size());
    return true;
  }
  bool InternetReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override {
    auto* o = static_cast<Object*>(file);
    *read = 0;
    if (o == nullptr || !o->sent) return false;
    if (o->offset >= o->response.failAfter) return false;
    std::size_t n = std::min<std::size_t>(toRead, o->response.body.size() - o->offset);
    n = std::min(n, o->response.failAfter - o->offset);
    std::memcpy(buffer, o->response.body.data() + o->offset, n);
    o->offset += n;
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
  bool InternetCloseHandle(Handle handle) override {
    std::lock_guard lock(mutex_);
    return objects_.erase(handle) != 0;
  }

 private:
  struct Object {
    std::string host, verb, path;
    Response response;
    bool sent = false;
    std::size_t offset = 0;
  };
  Handle New(Object o) {
    auto p = std::make_unique<Object>(std::move(o));
    Handle h = p.get();
    std::lock_guard lock(mutex_);
    objects_[h] = std::move(p);
    return h;
  }

  mutable std::mutex mutex_;
  std::map<std::string, Response> responses_;
  std::vector<Request> requests_;
  std::map<Handle, std::unique_ptr<Object>> objects_;
};

// A Windows XP machine whose five facts the test may change.
class TFakeMachine : public ISysInfoPlatform {
 public:
  std::string computer = "PC01";
  std::string user = "jan";
  std::string systemDir = "C:\\WINDOWS\\system32";
  bool versionReadable = true;
  std::vector<std::string> calls;

  std::int32_t GetVersionExA(TOSVersionInfoExA* info) override {
    calls.push_back("version");
    if (!versionReadable) return 0;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = 2;
    std::strcpy(info->szCSDVersion, "Service Pack 2");
    if (info->dwOSVersionInfoSize == kOSVersionInfoExSize) {
      info->wProductType = 1;
      info->wSuiteMask = 0;
    }
    return 1;
  }
  std::int32_t RegOpenKeyExA(TRegKey, const char*, std::uint32_t, std::uint32_t, TRegKey*) override {
    return kErrorFileNotFound;
  }
  std::int32_t RegQueryValueExA(TRegKey, const char*, std::uint32_t*, std::uint32_t*, std::uint8_t*,
                                std::uint32_t*) override {
    return kErrorFileNotFound;
  }
  std::int32_t RegCloseKey(TRegKey) override { return kErrorSuccess; }
  std::int32_t GetComputerNameA(char* buffer, std::uint32_t* size) override {
    calls.push_back("computer");
    return Copy(computer, buffer, size);
  }
  std::int32_t GetUserNameA(char* buffer, std::uint32_t* size) override {
    calls.push_back("user");
    return Copy(user, buffer, size);
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    calls.push_back("systemdir");
    if (systemDir.size() + 1 > size) return static_cast<std::uint32_t>(systemDir.size() + 1);
    std::memcpy(buffer, systemDir.c_str(), systemDir.size() + 1);
    return static_cast<std::uint32_t>(systemDir.size());
  }

 private:
  static std::int32_t Copy(const std::string& v, char* buffer, std::uint32_t* size) {
    if (v.size() + 1 > *size) return 0;
    std::memcpy(buffer, v.c_str(), v.size() + 1);
    *size = static_cast<std::uint32_t>(v.size());
    return 1;
  }
};
