#pragma once
// The installer window and its handlers.
#include <cstdint>

#include <memory>
#include <string>
#include <vector>

#include "bootstrap/Crypto.h"
#include "bootstrap/KeyedRun.h"
#include "bootstrap/State.h"
#include "bootstrap/System.h"
#include "bootstrap/Trust.h"
#include "bootstrap/WebBrowser.h"
#include "framework/Controls.h"
#include "httpget/HTTPGet.h"
#include "httpget/InternetApi.h"
#include "sysinfo/KvSysInfo.h"

// The operating system as the window reaches it.
struct TPlatform {
  ISystem& System;
  ISysInfoPlatform& SysInfo;
  IInternetApi& Internet;
  // Host name of the vendor's web server.
  AnsiText VendorHost;
  // The vendor's public key (PEM) the program was built with; empty: none,
  // and nothing is checked beyond what the getter does.
  std::string TrustKey;
  // The platform's cryptography; needed with a key.
  ICrypto* Crypto = nullptr;
  // With a key only: more tries of a file on each host after a failure, and
  // the hosts to try after the vendor's own, in order. 0 and none keep the
  // run stopping at the first failure.
  int Retries = 0;
  std::vector<AnsiText> Mirrors;
  // The vendor's build setting: the list, the files and the report over
  // https:// only.
  bool Https = false;
};

class TForm1 : public TForm {
 public:
  // Builds the window's components from its layout, then runs FormCreate.
  TForm1(TComponent* owner, TPlatform& platform, TBootstrapState& state);
  AnsiText ClassName() const override { return "TForm1"; }

  TNotebook* Notebook1;
  TPanel* Panel2;
  TLabel* Label3;
  TImage* Image1;
  TImage* Image2;
  TButton* Button1;
  TPanel* Panel1;
  TLabel* Label2;
  TLabel* Label1;
  TGauge* had;
  TWebBrowser* wb;
  TTimer* Timer1;
  TTimer* Timer2;
  TTimer* Timer3;
  THTTPGet* hget;
  TKvSysInfo* info;
  TXPManifest* XPManifest1;
  // Only in a program built with the vendor's key.
  TTrust* trust = nullptr;
  // Only in a program built with more tries or mirror hosts: the pause
  // before a new try.
  TTimer* Timer4 = nullptr;

  void FormCreate(TObject* Sender);
  AnsiText GetEnv(const AnsiText& name);
  void Image1Click(TObject* Sender);
  void Image2Click(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void NactiSoubor(std::int32_t index);
  void hgetProgress(TObject* Sender, std::int32_t TotalSize, std::int32_t Readed);
  void hgetDoneFile(TObject* Sender, AnsiText FileName, std::int32_t FileSize);
  void hgetError(TObject* Sender);
  void Timer2Timer(TObject* Sender);
  void Timer3Timer(TObject* Sender);
  void wbDocumentComplete(TObject* Sender, void* pDisp, AnsiText URL);
  void trustListChecked(TObject* Sender, TListVerdict Verdict);
  void trustFileChecked(TObject* Sender, bool Passed);
  void Timer4Timer(TObject* Sender);

 private:
  void ChooseLanguage(const AnsiText& code);
  // After a file has arrived (and passed the vendor's check): the next one,
  // or the completion step.
  void FileDone();
  // The failed file's name in the language chosen.
  void ShowCheckFailed(const AnsiText& localName);
  AnsiText ServerNameOf(const AnsiText& localName) const;
  // Where a slot's file is written: with the vendor's key, aside under
  // ".part" until it has passed the check.
  AnsiText TargetOf(std::int32_t index) const;
  // The size the vendor's list gives the slot's file; -1 for none.
  std::int64_t ListedSize(std::int32_t index) const;

  // With more tries or mirrors: a failure may be tried again.
  bool Resilient() const;
  // Where a server file is fetched from: host 0 is the vendor's own, then
  // each mirror.
  AnsiText DownloadUrl(std::size_t host, const AnsiText& serverName) const;
  // Deletes the slot's old file and what an earlier run left aside.
  void ClearSlot(std::int32_t index);
  // One try of the slot's file, from its start or from byte from of what is aside.
  void StartTry(std::int32_t index, std::size_t host, std::int64_t from, const AnsiText& validator);
  // Carries out what the keyed run decided.
  void Carry(const TKeyedRun::TDecision& decision);
  void ShowHeading(const TKeyedRun::TDecision& decision);
  void ShowEnd(const TKeyedRun::TDecision& decision);
  // The status heading; nullptr: the usual text.
  void ShowStatus(const char* text);

  TPlatform& platform_;
  TBootstrapState& state_;
  // Only in a program built with the vendor's key.
  std::unique_ptr<TKeyedRun> run_;
  // setup.exe as checked before the report, held until it is started.
  std::unique_ptr<IHeldFile> heldSetup_;
};

// Texts of the window, in Windows-1250.
namespace texts {
inline constexpr const char* kSelectLanguage = "V\xfd" "b\xec" "r jazyka / Select language";
inline constexpr const char* kFileCz = "Stahovan\xfd soubor";
inline constexpr const char* kStatusCz =
    "Prob\xed" "h\xe1 sta\x9e" "en\xed pot\xf8" "ebn\xfd" "ch soubor\xf9 k instalaci, \xe8" "ekejte pros\xedm";
inline constexpr const char* kFileEn = "Download the file";
inline constexpr const char* kStatusEn = "Downloading files needed to install, please wait";
inline constexpr const char* kListFailedCz = "Seznam souboru od dodavatele nelze overit";
inline constexpr const char* kListFailedEn = "The vendor's list of files could not be checked";
inline constexpr const char* kListExpiredCz =
    "Seznam souboru od dodavatele uz neplati. Zkontrolujte datum a cas v pocitaci";
inline constexpr const char* kListExpiredEn =
    "The vendor's list of files has expired. Check the computer's date and time";
// %d: the try, and the tries in all.
inline constexpr const char* kRetryingCz = "Opakuji stahovani (pokus %d ze %d)...";
inline constexpr const char* kRetryingEn = "Retrying the download (try %d of %d)...";
inline constexpr const char* kOtherServerCz = "Stahuji z jineho serveru...";
inline constexpr const char* kOtherServerEn = "Downloading from another server...";
// The file's local name goes between the two halves.
inline constexpr const char* kFileFailedCz[] = {"Soubor ", " neprosel kontrolou dodavatele"};
inline constexpr const char* kFileFailedEn[] = {"The file ", " failed the vendor's check"};
}  // namespace texts
