#pragma once
// The byte channel under the Linux transport: plain TCP, or TLS over it with
// OpenSSL's libssl, checked as a browser on this machine would check it (the
// system's trust store, the host name, the validity dates), never skipped.
#include <array>
#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace tls {

class Channel {
 public:
  using Done = std::function<void(const boost::system::error_code&)>;
  using Moved = std::function<void(const boost::system::error_code&, std::size_t)>;

  virtual ~Channel() = default;
  // The connection itself: its expiry bounds every operation below.
  virtual boost::beast::tcp_stream& Tcp() noexcept = 0;
  // The TLS handshake; a plain channel has none and is done at once.
  virtual void AsyncHandshake(Done done) = 0;
  // Writes all of both buffers.
  virtual void AsyncWrite(std::array<boost::asio::const_buffer, 2> buffers, Moved done) = 0;
  // An orderly end of the peer's data is asio::error::eof; over TLS a close
  // without the peer's close_notify is not (the body may have been cut).
  virtual void AsyncReadSome(boost::asio::mutable_buffer buffer, Moved done) = 0;
  // After the handshake: the server's certificate, its subject (RFC 2253)
  // and the end of its validity. False on a plain channel.
  virtual bool PeerCertificate(std::string& subject, std::time_t& notAfter) const = 0;
  // After a failed handshake: why the certificate failed the check
  // (X509_V_ERR_*), or 0 when it did not.
  virtual long VerifyResult() const = 0;
};

// The writes and reads of a channel over Stream: the socket itself, or TLS
// over it.
template <class Stream>
class StreamChannel : public Channel {
 public:
  template <class... Args>
  explicit StreamChannel(Args&&... args) : stream_(std::forward<Args>(args)...) {}
  void AsyncWrite(std::array<boost::asio::const_buffer, 2> buffers, Moved done) override {
    boost::asio::async_write(stream_, buffers, std::move(done));
  }
  void AsyncReadSome(boost::asio::mutable_buffer buffer, Moved done) override {
    stream_.async_read_some(buffer, std::move(done));
  }

 protected:
  Stream stream_;
};

// The connected socket as it is.
std::unique_ptr<Channel> Plain(boost::beast::tcp_stream&& tcp);

// TLS clients of one transport: the trust store is read once, at the first
// secure channel, from OpenSSL's default places (SSL_CERT_FILE and
// SSL_CERT_DIR override them, as for other OpenSSL programs).
class Client {
 public:
  Client();
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // TLS 1.2 or later over the connected socket, for host (a name, sent as
  // SNI, or an IP literal), whose certificate must name it. Nothing when the
  // trust store cannot be set up.
  std::unique_ptr<Channel> Secure(boost::beast::tcp_stream&& tcp, const std::string& host);

 private:
  struct Context;
  std::once_flag once_;
  std::unique_ptr<Context> context_;
};

}  // namespace tls
