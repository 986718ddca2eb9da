#pragma once
// The vendor server's answers and the rules it serves by: which file a
// download path names, whether credentials match, the pages it answers with.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vendor {

// A proxy receives "http://host/path"; everything else is served by its origin-form path.
std::string_view OriginForm(std::string_view target);

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct Reply {
  int status = 200;
  std::string contentType = "text/html";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // used when file is not set
  FilePtr file;
  std::uint64_t size = 0;
};

Reply HtmlReply(int status, std::string body);
Reply NotFoundReply();
const char* ReasonPhrase(int status);
// Whether a Basic credentials header carries exactly "user:password".
bool CredentialsMatch(std::string_view header, std::string_view userAndPassword);
// A 401 or 407 asking for Basic credentials in the given header field.
Reply ChallengeReply(int status, const char* field);
// A file's ETag, made from its size and modification time (as nginx makes it).
std::string EntityTag(const std::filesystem::path& file, std::uint64_t size);
// Gives a file's reply its ETag and, for a request of one range of it
// ("bytes=FIRST-" or "bytes=FIRST-LAST") whose If-Range (if any) is that
// ETag, the 206 of that part; a range that starts past the end gets a 416.
// Any other Range header is ignored, as a server may.
void ApplyRange(Reply& reply, const std::string& etag, std::string_view range, std::string_view ifRange);
// The file for "/download/<program>/<file>", or nothing when it is missing or would lie outside root.
std::optional<std::filesystem::path> ResolveDownload(const std::filesystem::path& root,
                                                     std::string_view path);

}  // namespace vendor
