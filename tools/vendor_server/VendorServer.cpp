#include "VendorServer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Replies.h"
#include "textconv/Ascii.h"

namespace vendor {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;

// Big writes keep the getter benchmark limited by the client, not by us.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// A client that never closes after its response is cut loose after this long.
constexpr auto kLingerTime = std::chrono::seconds(5);

std::string_view AsView(beast::string_view v) {
  return {v.data(), v.size()};
}

struct Core {
  fs::path root;
  fs::path reportLog;
  mutable std::mutex mutex;
  std::map<std::string, Fault, std::less<>> faults;
  std::vector<RecordedRequest> requests;
  std::vector<std::string> reportLines;
  std::atomic<std::uint64_t> bytesPerSecond{0};
  std::function<void(const std::string&)> requestLog;

  Fault FaultFor(std::string_view decodedPath, std::string_view rawPath) const {
    std::lock_guard lock(mutex);
    auto it = faults.find(decodedPath);
    if (it == faults.end()) it = faults.find(rawPath);
    return it == faults.end() ? Fault{} : it->second;
  }

  void Record(RecordedRequest request) {
    std::lock_guard lock(mutex);
    requests.push_back(std::move(request));
  }

  // One line a request, once its answer has gone (or the connection has ended without all of it):
  // "GET /download/TERBO/a.zip 200 1048576"; "-" for the status of a request left unanswered, and
  // " unfinished" after an answer the connection ended in the middle of.
  void LogRequest(const std::string& method, const std::string& target, int status, std::uint64_t bodyBytes,
                  bool finished) {
    std::lock_guard lock(mutex);
    if (!requestLog) return;
    requestLog(method + " " + target + " " + (status > 0 ? std::to_string(status) : std::string("-")) + " " +
               std::to_string(bodyBytes) + (finished || status == 0 ? "" : " unfinished"));
  }

  void Report(std::string line) {
    std::lock_guard lock(mutex);
    if (!reportLog.empty()) {
      std::ofstream out(reportLog, std::ios::app | std::ios::binary);
      out << line << '\n';
    }
    reportLines.push_back(std::move(line));
  }
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Core& core, tcp::socket socket)
      : core_(core), socket_(std::move(socket)), timer_(socket_.get_executor()) {}

  void Run() {
    parser_.emplace();
    parser_->header_limit(64 * 1024);
    parser_->body_limit(std::uint64_t{64} << 20);
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRequest(ec); });
  }

  // Server thread only.
  void Close() {
    if (closed_) return;
    closed_ = true;
    LogRequest(false);
    beast::error_code ignored;
    timer_.cancel();
    socket_.close(ignored);
  }

 private:
  void OnRequest(beast::error_code ec) {
    if (closed_) return;
    if (ec) {
      // The parser's own errors mean a request we cannot make sense of; the rest mean a lost client.
      const beast::error_code endOfStream = http::error::end_of_stream;
      const bool malformed = ec.category() == endOfStream.category() && ec != http::error::end_of_stream &&
                             ec != http::error::partial_message;
      if (malformed) {
        Send(HtmlReply(400, "<html><body><h1>Bad Request</h1></body></html>\n"), Fault{});
      } else {
        Close();
      }
      return;
    }
    const auto& request = parser_->get();
    method_ = std::string(request.method_string());
    target_ = std::string(request.target());
    http11_ = request.version() >= 11;
    headOnly_ = request.method() == http::verb::head;

    RecordedRequest record;
    record.method = std::string(request.method_string());
    record.target = std::string(request.target());
    record.version =
        "HTTP/" + std::to_string(request.version() / 10) + "." + std::to_string(request.version() % 10);
    for (const auto& field : request) {
      record.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    record.body = request.body();
    core_.Record(std::move(record));

    const std::string_view origin =
        OriginForm(std::string_view(request.target().data(), request.target().size()));
    const std::size_t question = origin.find('?');
    const std::string_view rawPath = origin.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : origin.substr(question + 1);
    const std::string path = PercentDecode(rawPath);
    Fault fault = core_.FaultFor(path, rawPath);
    const bool proxyForm = origin.size() != request.target().size();

    switch (fault.kind) {
      case Fault::Kind::Redirect: {
        Reply reply = HtmlReply(static_cast<int>(fault.n), "<html><body>Moved</body></html>\n");
        reply.headers.emplace_back("Location", fault.text);
        Send(std::move(reply), Fault{});
        return;
      }
      case Fault::Kind::Auth:
        if (!CredentialsMatch(AsView(request[http::field::authorization]), fault.text)) {
          Send(ChallengeReply(401, "WWW-Authenticate"), Fault{});
          return;
        }
        fault = Fault{};
        break;
      case Fault::Kind::ProxyAuth:
        if (proxyForm && !CredentialsMatch(AsView(request[http::field::proxy_authorization]), fault.text)) {
          Send(ChallengeReply(407, "Proxy-Authenticate"), Fault{});
          return;
        }
        fault = Fault{};
        break;
      case Fault::Kind::Echo: {
        Reply reply = HtmlReply(200, std::string(request.method_string()) + " " + request.body());
        reply.contentType = "text/plain";
        Send(std::move(reply), Fault{});
        return;
      }
      default:
        break;
    }

    Reply reply;
    if (path == "/programy/setup.asp") {
      core_.Report(PercentDecode(query));
      reply = HtmlReply(200, "<html><head><title>Setup</title></head><body><p>OK</p></body></html>\n");
    } else if (auto file = ResolveDownload(core_.root, path)) {
      std::error_code sizeError;
      const std::uintmax_t size = fs::file_size(*file, sizeError);
      FilePtr handle(sizeError ? nullptr : std::fopen(file->c_str(), "rb"));
      if (handle) {
        reply.contentType = "application/octet-stream";
        reply.file = std::move(handle);
        reply.size = size;
        ApplyRange(reply, fault.etag.empty() ? EntityTag(*file, size) : fault.etag,
                   AsView(request[http::field::range]), AsView(request[http::field::if_range]));
      } else {
        reply = NotFoundReply();
      }
    } else {
      reply = NotFoundReply();
    }
    Send(std::move(reply), fault);
  }

  void Send(Reply reply, const Fault& fault) {
    switch (fault.kind) {
      case Fault::Kind::Stall:
        if (fault.n > 0) {
          // A stall with an end: the connection is reset after that long.
          timer_.expires_after(std::chrono::milliseconds(fault.n));
          timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (ec || self->closed_) return;
            beast::error_code ignored;
            self->socket_.set_option(asio::socket_base::linger(true, 0), ignored);
            self->Close();
          });
        }
        ReadUntilClientCloses();
        return;
      case Fault::Kind::Raw:
        end_ = fault.end;
        held_ = fault.held;
        head_ = fault.text;
        remaining_ = 0;
        WriteNext();
        return;
      case Fault::Kind::Reset: {
        beast::error_code ignored;
        socket_.set_option(asio::socket_base::linger(true, 0), ignored);
        Close();
        return;
      }
      case Fault::Kind::NotFound:
        reply = NotFoundReply();
        break;
      default:
        break;
    }
    std::uint64_t toSend = reply.size;
    std::optional<std::string> length = std::to_string(reply.size);
    switch (fault.kind) {
      case Fault::Kind::CutAfter:
        toSend = std::min<std::uint64_t>(reply.size,
                                         static_cast<std::uint64_t>(std::max<std::int64_t>(fault.n, 0)));
        break;
      case Fault::Kind::NoLength:
        length.reset();
        break;
      case Fault::Kind::WrongLength:
        length = std::to_string(fault.n);
        break;
      case Fault::Kind::TextLength:
        length = fault.text;
        break;
      default:
        break;
    }
    if (fault.withoutLength) length.reset();
    end_ = fault.end;
    held_ = fault.held;
    status_ = reply.status;
    head_ = std::string(http11_ ? "HTTP/1.1 " : "HTTP/1.0 ") + std::to_string(reply.status) + " " +
            ReasonPhrase(reply.status) + "\r\nServer: vendor-server\r\nContent-Type: " + reply.contentType +
            "\r\n";
    for (const auto& [name, value] : reply.headers) head_ += name + ": " + value + "\r\n";
    if (length) head_ += "Content-Length: " + *length + "\r\n";
    head_ += "Connection: close\r\n\r\n";

    body_ = std::move(reply.body);
    file_ = std::move(reply.file);
    remaining_ = headOnly_ ? 0 : toSend;
    if (file_ && remaining_ > 0) {
      chunk_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kChunkSize)));
    }
    WriteNext();
  }

  void WriteNext() {
    std::array<asio::const_buffer, 2> buffers{};
    if (!headSent_) {
      buffers[0] = asio::buffer(head_);
      headSent_ = true;
    }
    if (remaining_ > 0) {
      std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kChunkSize));
      // Paced in twentieths of a second, so a person can watch a download.
      const std::uint64_t rate = core_.bytesPerSecond.load();
      if (rate > 0) want = std::min(want, static_cast<std::size_t>(std::max<std::uint64_t>(rate / 20, 1)));
      if (file_) {
        const std::size_t got = std::fread(chunk_.data(), 1, want, file_.get());
        // A file that shrank while being served ends the body early.
        remaining_ = got == 0 ? 0 : remaining_ - got;
        buffers[1] = asio::buffer(chunk_.data(), got);
      } else {
        buffers[1] = asio::buffer(body_.data() + bodyOffset_, want);
        bodyOffset_ += want;
        remaining_ -= want;
      }
    }
    if (buffers[0].size() == 0 && buffers[1].size() == 0) {
      EndResponse();
      return;
    }
    const std::size_t bodyBytes = buffers[1].size();
    asio::async_write(socket_, buffers,
                      [self = shared_from_this(), bodyBytes](beast::error_code ec, std::size_t) {
                        if (self->closed_) return;
                        if (!ec) self->bodySent_ += bodyBytes;
                        if (ec) {
                          self->Close();
                        } else if (self->core_.bytesPerSecond.load() > 0 && self->remaining_ > 0) {
                          self->timer_.expires_after(std::chrono::milliseconds(50));
                          self->timer_.async_wait([self](beast::error_code waitError) {
                            if (!waitError && !self->closed_) self->WriteNext();
                          });
                        } else {
                          self->WriteNext();
                        }
                      });
  }

  void EndResponse() {
    LogRequest(true);
    switch (end_) {
      case Fault::End::Reset: {
        beast::error_code ignored;
        socket_.set_option(asio::socket_base::linger(true, 0), ignored);
        Close();
        return;
      }
      case Fault::End::Stall:
        if (held_.count() > 0) {
          timer_.expires_after(held_);
          timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->Close();
          });
        }
        ReadUntilClientCloses();
        return;
      case Fault::End::Close:
        FinishResponse();
        return;
    }
  }

  // Half-close, then wait for the client's close, so that the kernel does not answer
  // late client bytes with a reset that could destroy the tail of the response.
  void FinishResponse() {
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    timer_.expires_after(kLingerTime);
    timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->Close();
    });
    ReadUntilClientCloses();
  }

  void LogRequest(bool finished) {
    if (logged_ || method_.empty()) return;
    logged_ = true;
    core_.LogRequest(method_, target_, status_, bodySent_, finished);
  }

  void ReadUntilClientCloses() {
    socket_.async_read_some(asio::buffer(drain_),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (self->closed_) return;
                              if (ec) {
                                self->Close();
                              } else {
                                self->ReadUntilClientCloses();
                              }
                            });
  }

  Core& core_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  bool closed_ = false;
  std::string method_, target_;  // of the request, once it has been read
  int status_ = 0;               // of the answer, once one is on its way
  std::uint64_t bodySent_ = 0;
  bool logged_ = false;
  bool http11_ = true;
  bool headOnly_ = false;
  Fault::End end_ = Fault::End::Close;
  std::chrono::milliseconds held_{0};
  bool headSent_ = false;
  std::string head_;
  std::string body_;
  std::size_t bodyOffset_ = 0;
  FilePtr file_;
  std::vector<char> chunk_;
  std::uint64_t remaining_ = 0;
  std::array<char, 4096> drain_{};
};

}  // namespace

struct VendorServer::Impl {
  Core core;
  std::unique_ptr<asio::io_context> io;
  std::unique_ptr<tcp::acceptor> acceptor;
  std::vector<std::weak_ptr<Session>> sessions;  // server thread only
  std::thread thread;
  std::atomic<std::uint16_t> port{0};
  std::string address;

  void Accept() {
    acceptor->async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
      if (!ec) {
        auto session = std::make_shared<Session>(core, std::move(socket));
        std::erase_if(sessions, [](const std::weak_ptr<Session>& s) { return s.expired(); });
        sessions.push_back(session);
        session->Run();
      }
      Accept();
    });
  }

  void CloseAll() {
    beast::error_code ignored;
    acceptor->close(ignored);
    for (auto& weak : sessions) {
      if (auto session = weak.lock()) session->Close();
    }
    sessions.clear();
  }
};

VendorServer::VendorServer(std::filesystem::path root, std::filesystem::path reportLog)
    : impl_(std::make_unique<Impl>()) {
  impl_->core.root = std::move(root);
  impl_->core.reportLog = std::move(reportLog);
}

VendorServer::~VendorServer() {
  try {
    Stop();
  } catch (...) {
    // A destructor must not throw; the thread is gone either way.
  }
}

void VendorServer::Start(const std::string& address, std::uint16_t port) {
  if (impl_->io) throw std::logic_error("vendor server already started");
  auto io = std::make_unique<asio::io_context>(1);
  auto acceptor = std::make_unique<tcp::acceptor>(*io);
  const tcp::endpoint endpoint(asio::ip::make_address(address), port);
  acceptor->open(endpoint.protocol());
  acceptor->set_option(asio::socket_base::reuse_address(true));
  acceptor->bind(endpoint);
  acceptor->listen(asio::socket_base::max_listen_connections);
  impl_->port = acceptor->local_endpoint().port();
  impl_->address = address;
  impl_->io = std::move(io);
  impl_->acceptor = std::move(acceptor);
  impl_->Accept();
  impl_->thread = std::thread([impl = impl_.get()] { impl->io->run(); });
}

void VendorServer::Stop() {
  if (!impl_->io) return;
  std::promise<void> closed;
  std::future<void> done = closed.get_future();
  asio::post(*impl_->io, [this, &closed] {
    impl_->CloseAll();
    closed.set_value();
  });
  done.wait();
  impl_->io->stop();
  impl_->thread.join();
  impl_->sessions.clear();
  impl_->acceptor.reset();
  impl_->io.reset();  // drops the handlers still pending, and with them the sessions
}

std::uint16_t VendorServer::Port() const {
  return impl_->port;
}

std::string VendorServer::BaseUrl() const {
  return "http://" + (impl_->address.empty() ? std::string("127.0.0.1") : impl_->address) + ":" +
         std::to_string(Port());
}

void VendorServer::SetRequestLog(std::function<void(const std::string&)> log) {
  std::lock_guard lock(impl_->core.mutex);
  impl_->core.requestLog = std::move(log);
}

void VendorServer::SetRate(std::uint64_t bytesPerSecond) {
  impl_->core.bytesPerSecond.store(bytesPerSecond);
}

void VendorServer::SetFault(const std::string& urlPath, Fault fault) {
  std::lock_guard lock(impl_->core.mutex);
  impl_->core.faults[urlPath] = std::move(fault);
}

void VendorServer::ClearFaults() {
  std::lock_guard lock(impl_->core.mutex);
  impl_->core.faults.clear();
}

std::vector<RecordedRequest> VendorServer::Requests() const {
  std::lock_guard lock(impl_->core.mutex);
  return impl_->core.requests;
}

std::vector<std::string> VendorServer::ReportLines() const {
  std::lock_guard lock(impl_->core.mutex);
  return impl_->core.reportLines;
}

}  // namespace vendor
