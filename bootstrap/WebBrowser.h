#pragma once
// The hidden browser of the installer window: it loads one address and says
// when the document is complete. It never displays anything.
#include "framework/Component.h"
#include "framework/Events.h"
#include "framework/Types.h"

class IInternetApi;
class THTTPGet;

// Sender, the document's dispatch interface (always none here), its address.
using TDocumentCompleteEvent = TEvent<TObject*, void*, AnsiText>;

class TWebBrowser : public TComponent {
 public:
  TWebBrowser(TComponent* owner, IInternetApi& internet);
  AnsiText ClassName() const override { return "TWebBrowser"; }

  // Begins loading the address and returns; OnDocumentComplete follows on the
  // UI thread when the answer has arrived or the request has failed, as a
  // browser completes its error page. An address it cannot use raises
  // Exception with the reason.
  void Navigate(const AnsiText& address);
  TDocumentCompleteEvent OnDocumentComplete;
  // The vendor's build setting: on, the browser opens https:// addresses
  // (over TLS) as well as http:// ones.
  bool Https = false;

  // The address as it goes on the wire: every byte that may not stand in a
  // request target percent-encoded.
  static AnsiText WireForm(const AnsiText& address);

 private:
  void Completed(TObject* sender);

  THTTPGet* getter_;
  AnsiText address_;
};
