#include "platform/posix/http/Tls.h"

// The TLS client of a program built without HTTPS: it never asks for a secure
// channel (a redirect to https:// fails before one), so none is made and
// libssl is not linked.
namespace tls {

struct Client::Context {};

Client::Client() = default;
Client::~Client() = default;

std::unique_ptr<Channel> Client::Secure(boost::beast::tcp_stream&&, const std::string&) {
  return nullptr;
}

}  // namespace tls
