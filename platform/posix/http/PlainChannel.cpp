#include "platform/posix/http/Tls.h"

// Apart from Tls.cpp: a program that never opens a secure channel links no libssl.
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace tls {

namespace {

class PlainChannel : public Channel {
 public:
  explicit PlainChannel(beast::tcp_stream&& tcp) : tcp_(std::move(tcp)) {}
  beast::tcp_stream& Tcp() noexcept override { return tcp_; }
  void AsyncHandshake(Done done) override {
    asio::post(tcp_.get_executor(), [done = std::move(done)] { done({}); });
  }
  void AsyncWrite(std::array<asio::const_buffer, 2> buffers, Moved done) override {
    asio::async_write(tcp_, buffers, std::move(done));
  }
  void AsyncReadSome(asio::mutable_buffer buffer, Moved done) override {
    tcp_.async_read_some(buffer, std::move(done));
  }
  bool PeerCertificate(std::string&, std::time_t&) const override { return false; }
  long VerifyResult() const override { return 0; }

 private:
  beast::tcp_stream tcp_;
};

}  // namespace

std::unique_ptr<Channel> Plain(beast::tcp_stream&& tcp) {
  return std::make_unique<PlainChannel>(std::move(tcp));
}

}  // namespace tls
