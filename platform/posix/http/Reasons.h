#pragma once
// Why the Linux transport failed, in WinINet's numbering (see
// httpget/InternetErrors.h), so the getter hears the same reasons on both
// platforms. TLS, which sits beside the transport, maps its handshake and
// certificate failures here too.
#include <boost/system/error_code.hpp>
#include <cstdint>

namespace http_reason {

// What the failed socket operation was doing.
enum class Stage { Resolve, Connect, Handshake, Send, Receive };

// A failed operation of that stage: a time-out is a time-out in every stage;
// otherwise a name that does not resolve, a connection that cannot be made,
// a secure channel that failed, or a connection reset or aborted.
std::uint32_t ErrorOf(const boost::system::error_code& ec, Stage stage);

// A server certificate that failed the check, by OpenSSL's verify result
// (X509_V_ERR_*): its dates, its name, an authority not trusted, revoked,
// or otherwise invalid.
std::uint32_t CertificateError(long verifyResult);

}  // namespace http_reason
