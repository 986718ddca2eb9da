#include "platform/posix/http/Reasons.h"

#include <openssl/x509_vfy.h>

#include <boost/asio/error.hpp>
#include <boost/beast/core/error.hpp>

#include "httpget/InternetErrors.h"

namespace http_reason {

std::uint32_t ErrorOf(const boost::system::error_code& ec, Stage stage) {
  namespace error = boost::asio::error;
  if (ec == boost::beast::error::timeout || ec == error::timed_out) return internet_error::kTimeout;
  switch (stage) {
    case Stage::Resolve:
      return internet_error::kNameNotResolved;
    case Stage::Connect:
      return internet_error::kCannotConnect;
    case Stage::Handshake:
      return internet_error::kSecureChannelError;
    case Stage::Send:
    case Stage::Receive:
      break;
  }
  return ec == error::connection_reset ? internet_error::kConnectionReset
                                       : internet_error::kConnectionAborted;
}

std::uint32_t CertificateError(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return internet_error::kCertDateInvalid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return internet_error::kCertNameInvalid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return internet_error::kInvalidCa;
    case X509_V_ERR_CERT_REVOKED:
      return internet_error::kCertRevoked;
    default:
      return internet_error::kInvalidCertificate;
  }
}

}  // namespace http_reason
