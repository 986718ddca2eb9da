#pragma once
// What one transfer came to, for a caller that decides what to do next (try
// again, continue the file, ask another host): the answer's status, why it
// failed, the transport's own reason, and what a request for the rest of
// the file needs. The getter's events stay as they are; this is read beside
// them.
#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/Types.h"

enum class THTTPFailure {
  None,
  Aborted,           // Abort, or the component went away
  ConnectionFailed,  // refused, reset or aborted; a server that closed without an answer
  TimedOut,          // connect, send or receive
  NameNotResolved,   // the server's or the proxy's name
  Certificate,       // any TLS or certificate failure
  RedirectLoop,      // a redirect loop, or a redirect that cannot be followed
  HttpStatus,        // an answer the transfer cannot take (see Status)
  NoLength,          // BinaryData and no Content-Length
  BadLength,         // a Content-Length that is no length
  BodyCutShort,      // fewer bytes than announced, or a read error
  BodyTooLong,       // more bytes than announced
  BadRange,          // a 206 of another range, or of a wrong length for it
  FileError,         // the target cannot be created, opened, continued or written
  DiskFull,
  Other,
};

struct THTTPResult {
  int Status = 0;  // the answer's HTTP status; 0 when there was none (or it was not asked for)
  THTTPFailure Failure = THTTPFailure::None;
  std::uint32_t PlatformError = 0;  // the transport's reason, in WinINet's numbering; 0 when none
  std::int32_t RetryAfter = -1;     // seconds the answer's Retry-After asks for; -1 when none
  AnsiText Validator;               // for If-Range: the strong ETag, else a strong Last-Modified
  bool Continued = false;           // a 206 continued the file from RangeFrom
  std::int32_t Offset = 0;          // RangeFrom when continued, else 0
  std::int32_t Total = 0;           // the whole file's length when continued, else the announced one
};

// The one table from a transport's reason and an answer's status to a
// failure: a status that is no 2xx is HttpStatus whatever the code says; a
// 2xx is None (what the body does is judged later); without an answer the
// code decides, Other for a code the table does not name.
THTTPFailure ClassifyFailure(std::uint32_t platformError, int status);
const char* FailureName(THTTPFailure failure);

// What the getter reads in an answer's header fields.
namespace http_answer {

// "bytes FIRST-LAST/COMPLETE" (the unit in any case); nothing for an
// unsatisfied range ("*/COMPLETE"), a complete length that is unknown, or
// numbers that do not fit.
struct ContentRange {
  std::int64_t first = 0, last = 0, complete = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view text);

// An HTTP-date in any of its three forms (IMF-fixdate, RFC 850, asctime),
// as seconds since 1970 UTC.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

// Seconds a Retry-After asks for: delta-seconds, or an HTTP-date against
// the answer's Date (else against now, seconds since 1970); a date already
// past asks for 0; -1 when the text is neither.
std::int32_t RetryAfterSeconds(std::string_view retryAfter, std::string_view date, std::int64_t now);

// What an If-Range may carry for this answer: a strong ETag; else its
// Last-Modified when that is at least a second before its Date (a weak date
// validator may not be sent); else empty.
AnsiText ValidatorOf(std::string_view etag, std::string_view lastModified, std::string_view date);

}  // namespace http_answer
