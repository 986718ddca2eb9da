#include "bootstrap/WebBrowser.h"

#include "framework/Exception.h"
#include "httpget/HTTPGet.h"
#include "textconv/Ascii.h"

namespace {
bool NeedsEscape(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}': case '#':
      return true;
    default:
      return false;
  }
}

constexpr std::int32_t kPageLimit = 4096;
}  // namespace

TWebBrowser::TWebBrowser(TComponent* owner, IInternetApi& internet)
    : TComponent(owner), getter_(new THTTPGet(this, internet)) {
  // Like a browser: whatever answer arrives, the page is complete.
  getter_->Agent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
  getter_->OnDoneString = TOnDoneStringEvent([this](TObject* s, AnsiText) { Completed(s); }, this);
  getter_->OnError = TNotifyEvent([this](TObject* s) { Completed(s); }, this);
  // The answer is not read: its first few KiB complete the page, however
  // much the server would send.
  getter_->OnProgress = TOnProgressEvent(
      [this](TObject*, std::int32_t, std::int32_t readed) {
        if (readed >= kPageLimit) getter_->Abort();
      },
      this);
}

AnsiText TWebBrowser::WireForm(const AnsiText& address) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  AnsiText out;
  out.reserve(address.size());
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

void TWebBrowser::Navigate(const AnsiText& address) {
  std::size_t scheme = 0;  // the host starts here
  if (StartsWithIgnoringAsciiCase(address, "http://")) {
    scheme = 7;
  } else if (Https && StartsWithIgnoringAsciiCase(address, "https://")) {
    scheme = 8;
  }
  if (scheme == 0 || address.size() == scheme || address[scheme] == '/') {
    throw Exception("The address is not a web address the browser can open: " + address);
  }
  if (getter_->Busy()) throw Exception("The browser is still loading the previous page");
  address_ = address;
  getter_->Https = Https;
  getter_->URL = WireForm(address);
  getter_->GetString();
}

void TWebBrowser::Completed(TObject*) {
  if (OnDocumentComplete) OnDocumentComplete(this, nullptr, address_);
}
