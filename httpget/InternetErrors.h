#pragma once
// The reasons a transport gives for a failed call, in WinINet's numbering
// (ERROR_INTERNET_*, ERROR_HTTP_*): WinINet's own on Windows, the Linux
// transport's mapped to the same. The Windows transport checks each against
// wininet.h.
#include <cstdint>

namespace internet_error {

inline constexpr std::uint32_t kTimeout = 12002;                 // ERROR_INTERNET_TIMEOUT
inline constexpr std::uint32_t kInvalidUrl = 12005;              // ERROR_INTERNET_INVALID_URL
inline constexpr std::uint32_t kNameNotResolved = 12007;         // ERROR_INTERNET_NAME_NOT_RESOLVED
inline constexpr std::uint32_t kOperationCancelled = 12017;      // ERROR_INTERNET_OPERATION_CANCELLED
inline constexpr std::uint32_t kIncorrectHandleState = 12019;    // ERROR_INTERNET_INCORRECT_HANDLE_STATE
inline constexpr std::uint32_t kCannotConnect = 12029;           // ERROR_INTERNET_CANNOT_CONNECT
inline constexpr std::uint32_t kConnectionAborted = 12030;       // ERROR_INTERNET_CONNECTION_ABORTED
inline constexpr std::uint32_t kConnectionReset = 12031;         // ERROR_INTERNET_CONNECTION_RESET
inline constexpr std::uint32_t kCertDateInvalid = 12037;         // ERROR_INTERNET_SEC_CERT_DATE_INVALID
inline constexpr std::uint32_t kCertNameInvalid = 12038;         // ERROR_INTERNET_SEC_CERT_CN_INVALID
inline constexpr std::uint32_t kHttpToHttpsOnRedirect = 12039;   // ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR
inline constexpr std::uint32_t kHttpsToHttpOnRedirect = 12040;   // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
inline constexpr std::uint32_t kClientCertNeeded = 12044;        // ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED
inline constexpr std::uint32_t kInvalidCa = 12045;               // ERROR_INTERNET_INVALID_CA
inline constexpr std::uint32_t kCertErrors = 12055;              // ERROR_INTERNET_SEC_CERT_ERRORS
inline constexpr std::uint32_t kCertNoRevocation = 12056;        // ERROR_INTERNET_SEC_CERT_NO_REV
inline constexpr std::uint32_t kCertRevocationFailed = 12057;    // ERROR_INTERNET_SEC_CERT_REV_FAILED
inline constexpr std::uint32_t kHeaderNotFound = 12150;          // ERROR_HTTP_HEADER_NOT_FOUND
inline constexpr std::uint32_t kInvalidServerResponse = 12152;   // ERROR_HTTP_INVALID_SERVER_RESPONSE
inline constexpr std::uint32_t kRedirectFailed = 12156;          // ERROR_HTTP_REDIRECT_FAILED
inline constexpr std::uint32_t kSecureChannelError = 12157;      // ERROR_INTERNET_SECURITY_CHANNEL_ERROR
inline constexpr std::uint32_t kDisconnected = 12163;            // ERROR_INTERNET_DISCONNECTED
inline constexpr std::uint32_t kServerUnreachable = 12164;       // ERROR_INTERNET_SERVER_UNREACHABLE
inline constexpr std::uint32_t kProxyServerUnreachable = 12165;  // ERROR_INTERNET_PROXY_SERVER_UNREACHABLE
inline constexpr std::uint32_t kInvalidCertificate = 12169;      // ERROR_INTERNET_SEC_INVALID_CERT
inline constexpr std::uint32_t kCertRevoked = 12170;             // ERROR_INTERNET_SEC_CERT_REVOKED
// The system's own codes, which WinINet's calls also give.
inline constexpr std::uint32_t kInvalidHandle = 6;         // ERROR_INVALID_HANDLE
inline constexpr std::uint32_t kNotEnoughMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t kInvalidParameter = 87;     // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER

}  // namespace internet_error
