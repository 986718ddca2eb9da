#pragma once
// One table of server scenarios for both transports: the Linux transport runs
// it natively, WinINet under Wine. Each row says what the vendor server does,
// how the getter is set, and what must come of it: the final event and the
// bytes of the target file (or of the text, in string mode).
#include <chrono>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "VendorServer.h"
#include "httpget/HTTPResult.h"

namespace scenarios {

// The program folder the rows are served from: /download/S/...
inline constexpr const char* kFolder = "S";
// The host the getter asks for; the proxy route never resolves it.
inline constexpr const char* kVendorHost = "www.vendor.example";
// Another host and port, named by absolute redirects on the proxy route.
inline constexpr const char* kMirror = "mirror.vendor.example:8080";
enum class Mode { File, String };
// Who the request meets: the vendor server, or (for the reasons a transport
// gives) a port nobody listens on, or a name that does not resolve; on the
// proxy route that is the proxy's own address.
enum class Peer { Server, ClosedPort, UnknownName };
inline constexpr const char* kUnknownName = "no-such-host.invalid";
inline constexpr std::uint16_t kClosedPort = 1;

struct Served {
  std::string path;  // "/download/S/..."
  vendor::Fault fault;
};

struct Row {
  std::string name;
  std::vector<Served> served;  // the getter fetches the first
  Mode mode = Mode::File;
  bool binaryData = true;
  std::string userName;
  std::string password;
  std::string postQuery;
  // What http_proxy carries before the proxy's address, as it is written
  // there ("user:password", percent-encoded); empty for none.
  std::string proxyUserInfo;
  bool proxyOnly = false;  // the answer comes from the proxy itself
  Peer peer = Peer::Server;
  // Continuing: the request asks for the rest from this byte on, and the
  // target holds these bytes before the fetch ("old" when not set).
  std::int32_t rangeFrom = 0;
  std::string ifRange;
  std::optional<std::string> before;
  bool queryDetails = false;

  // The final event: "donefile N", "donestring N" or "error".
  std::string event;
  // File mode: the target's bytes afterwards, nullopt when it was left as it
  // was. String mode: the text delivered.
  std::optional<std::string> bytes;
  // For a server that keeps its socket open after the answer: the fetch must
  // end sooner than this, long before the server lets go.
  std::optional<std::chrono::milliseconds> endsWithin;
  // What the getter's Result says, checked where given; a row ending in a
  // done event always says None.
  std::optional<THTTPFailure> failure;
  std::optional<int> status;
  std::optional<bool> continued;
  std::optional<std::int32_t> retryAfter;
  std::optional<std::string> validator;
  // Where Wine's WinINet is known to differ from Windows' (which the Linux
  // transport follows): why, and what it gives instead; no event when the
  // row cannot run under Wine at all.
  std::string wineDiffers;
  std::string wineEvent;
  std::optional<std::string> wineBytes;
  std::optional<THTTPFailure> wineFailure;  // where Wine differs: its reason, unchecked when not given
};

// Test names carry the row's name; this keeps failure reports short.
inline void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// The file every plain path serves, and the body of the raw answers.
std::string FileContent();
std::string RawBody();

// Every row; "other" is the host and port that absolute redirects name.
std::vector<Row> Table(const std::string& other = kMirror);

// What a row's fetch asks for: host and path, as the getter's URL.
std::string UrlOf(const Row& row);

// The proxy setting for a row: the proxy's address (or the row's peer's)
// with the row's credentials.
std::string ProxySetting(const std::string& proxyAddress, const Row& row);

// What the target holds before a row's fetch.
std::string Before(const Row& row);

}  // namespace scenarios
