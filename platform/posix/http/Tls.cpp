#include "platform/posix/http/Tls.h"

// Asio's scheduler draws a false -Wnull-dereference once inlined at -O2.
#pragma GCC diagnostic ignored "-Wnull-dereference"

#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <optional>

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace tls {

namespace {

class SecureChannel : public StreamChannel<asio::ssl::stream<beast::tcp_stream>> {
 public:
  SecureChannel(beast::tcp_stream&& tcp, asio::ssl::context& context)
      : StreamChannel(std::move(tcp), context), ssl_(stream_.native_handle()) {}
  beast::tcp_stream& Tcp() noexcept override { return stream_.next_layer(); }
  SSL* Native() { return ssl_; }
  void AsyncHandshake(Done done) override {
    stream_.async_handshake(asio::ssl::stream_base::client, std::move(done));
  }
  bool PeerCertificate(std::string& subject, std::time_t& notAfter) const override {
    const X509* peer = SSL_get0_peer_certificate(ssl_);
    std::tm end{};
    if (peer == nullptr || ASN1_TIME_to_tm(X509_get0_notAfter(peer), &end) != 1) return false;
    notAfter = timegm(&end);
    BIO* text = BIO_new(BIO_s_mem());
    if (text == nullptr) return false;
    X509_NAME_print_ex(text, X509_get_subject_name(peer), 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long size = BIO_get_mem_data(text, &data);
    subject.assign(data, static_cast<std::size_t>(size > 0 ? size : 0));
    BIO_free(text);
    return true;
  }
  long VerifyResult() const override { return SSL_get_verify_result(ssl_); }

 private:
  SSL* ssl_;
};

}  // namespace

struct Client::Context {
  asio::ssl::context ssl{asio::ssl::context::tls_client};
};

Client::Client() = default;
Client::~Client() = default;

std::unique_ptr<Channel> Client::Secure(beast::tcp_stream&& tcp, const std::string& host) {
  std::call_once(once_, [this] {
    auto c = std::make_unique<Context>();
    boost::system::error_code ec;
    c->ssl.set_default_verify_paths(ec);
    if (ec) return;
    c->ssl.set_verify_mode(asio::ssl::verify_peer, ec);
    if (ec) return;
    SSL_CTX* native = c->ssl.native_handle();
    if (SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION) != 1) return;
    SSL_CTX_set_options(native, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    context_ = std::move(c);
  });
  if (!context_ || host.empty()) return nullptr;

  auto channel = std::make_unique<SecureChannel>(std::move(tcp), context_->ssl);
  SSL* ssl = channel->Native();
  boost::system::error_code ec;
  const asio::ip::address ip = asio::ip::make_address(host, ec);
  if (!ec) {
    // An address is checked against the certificate's IP entries and is not
    // sent as SNI, which carries names only.
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), ip.to_string().c_str()) != 1) return nullptr;
  } else {
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, host.c_str()) != 1) return nullptr;
    // SSL_set_tlsext_host_name, without its macro's cast.
    if (SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(host.c_str())) != 1)
      return nullptr;
  }
  return channel;
}

}  // namespace tls
