#include "bootstrap/Main.h"

#include <cstdio>

#include "bootstrap/Flags.h"
#include "bootstrap/Startup.h"
#include "bootstrap/VendorList.h"
#include "framework/Exception.h"
#include "textconv/Utility.h"

namespace {
template <class T>
T* Make(TComponent* owner, const char* name) {
  auto* c = new T(owner);
  c->SetName(name);
  return c;
}

template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height) {
  T* c = Make<T>(owner, name);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

const AnsiText& Slot(const std::array<AnsiText, TBootstrapState::kSlots + 1>& column, std::int32_t index) {
  return column.at(static_cast<std::size_t>(index));
}
}  // namespace

TForm1::TForm1(TComponent* owner, TPlatform& platform, TBootstrapState& state)
    : TForm(owner), platform_(platform), state_(state) {
  SetName("Form1");
  SetCaption("Instalace programu");
  ClientWidth = 585;
  ClientHeight = 113;
  Width = ClientWidth;
  Height = ClientHeight;
  Color = clBtnFace;
  Font = TFont{"Arial", 13, false, clWindowText};
  OnCreate = TNotifyEvent(this, &TForm1::FormCreate);

  Notebook1 = Place<TNotebook>(this, this, "Notebook1", 0, 0, 585, 113);
  TPage* languagePage = Notebook1->AddPage("prvni");
  TPage* progressPage = Notebook1->AddPage("Default");
  Notebook1->SetPageIndex(1);

  Panel2 = Place<TPanel>(this, languagePage, "Panel2", 0, 0, 585, 113);
  Panel2->SetColor(13194953);
  Label3 = Place<TLabel>(this, Panel2, "Label3", 205, 20, 181, 16);
  Label3->SetCaption(texts::kSelectLanguage);
  Image1 = Place<TImage>(this, Panel2, "Image1", 240, 45, 40, 27);
  Image1->Picture = CzechFlagJpeg();
  Image1->Cursor = TCursor::HandPoint;
  Image1->OnClick = TNotifyEvent(this, &TForm1::Image1Click);
  Image2 = Place<TImage>(this, Panel2, "Image2", 300, 45, 40, 27);
  Image2->Picture = UnitedKingdomFlagJpeg();
  Image2->Cursor = TCursor::HandPoint;
  Image2->OnClick = TNotifyEvent(this, &TForm1::Image2Click);
  Button1 = Place<TButton>(this, Panel2, "Button1", 40, 30, 75, 25);
  Button1->Caption = "Button1";
  Button1->SetVisible(false);
  Button1->OnClick = TNotifyEvent(this, &TForm1::Timer3Timer);

  Panel1 = Place<TPanel>(this, progressPage, "Panel1", 0, 0, 585, 113);
  Panel1->SetColor(15564525);
  Label2 = Place<TLabel>(this, Panel1, "Label2", 10, 10, 479, 19);
  Label2->ParentFont = false;
  Label2->Font = TFont{"Arial", 16, true, clWindowText};
  Label2->SetCaption(texts::kStatusCz);
  Label1 = Place<TLabel>(this, Panel1, "Label1", 10, 40, 103, 16);
  Label1->SetCaption(texts::kFileCz);
  had = Place<TGauge>(this, Panel1, "had", 10, 60, 566, 30);
  had->SetForeColor(9765013);
  had->SetProgress(77);
  wb = new TWebBrowser(this, platform.Internet);
  wb->SetName("wb");
  wb->OnDocumentComplete = TDocumentCompleteEvent(this, &TForm1::wbDocumentComplete);
  wb->Https = platform.Https;

  Timer1 = Make<TTimer>(this, "Timer1");
  Timer1->SetEnabled(false);
  Timer1->OnTimer = TNotifyEvent(this, &TForm1::Timer1Timer);
  Timer2 = Make<TTimer>(this, "Timer2");
  Timer2->SetEnabled(false);
  Timer2->OnTimer = TNotifyEvent(this, &TForm1::Timer2Timer);
  Timer3 = Make<TTimer>(this, "Timer3");
  Timer3->OnTimer = TNotifyEvent(this, &TForm1::Timer3Timer);

  hget = new THTTPGet(this, platform.Internet);
  hget->SetName("hget");
  hget->AcceptTypes = "*/*";
  hget->Agent = "Kestrami HTTPGet";
  hget->BinaryData = false;
  hget->UseCache = false;
  hget->WaitThread = false;
  hget->Https = platform.Https;
  hget->OnProgress = TOnProgressEvent(this, &TForm1::hgetProgress);
  hget->OnDoneFile = TOnDoneFileEvent(this, &TForm1::hgetDoneFile);
  hget->OnError = TNotifyEvent(this, &TForm1::hgetError);

  info = new TKvSysInfo(this, platform.SysInfo);
  info->SetName("info");

  XPManifest1 = Make<TXPManifest>(this, "XPManifest1");

  if (!platform.TrustKey.empty()) {
    if (platform.Crypto == nullptr) throw Exception("A program built with the vendor's key needs cryptography");
    trust = new TTrust(this, platform.System, *platform.Crypto, platform.Internet,
                       PublicKeyFromPem(platform.TrustKey));
    trust->SetName("trust");
    trust->OnListChecked = TListCheckedEvent(this, &TForm1::trustListChecked);
    trust->OnFileChecked = TCheckedEvent(this, &TForm1::trustFileChecked);
    if (Resilient()) {
      Timer4 = Make<TTimer>(this, "Timer4");
      Timer4->SetEnabled(false);
      Timer4->OnTimer = TNotifyEvent(this, &TForm1::Timer4Timer);
      // What a failure needs to be judged: its status, and the answer's
      // Retry-After and validator.
      hget->QueryDetails = true;
      // A trickle that keeps every read alive is a time-out too, as curl's
      // low-speed limit has it.
      hget->LowSpeedBytes = 1024;
      hget->LowSpeedSeconds = 60;
    }
  }

  DoCreate();
}

AnsiText TForm1::GetEnv(const AnsiText& name) { return ::GetEnv(platform_.System, name); }

void TForm1::FormCreate(TObject*) {
  Timer3->SetEnabled(false);
  Notebook1->SetPageIndex(0);
  const TStartupResult start = RunStartup(state_, platform_.System);
  SetCaption(start.Caption);
  Panel1->SetColor(start.Colours.PanelColor);
  Panel2->SetColor(start.Colours.PanelColor);
  had->SetForeColor(start.Colours.GaugeColor);
  if (!start.FolderReady) {
    Application().ShowMessage(kFolderErrorMessage);
    Close();
    return;
  }
  had->SetProgress(0);
}

void TForm1::ChooseLanguage(const AnsiText& code) {
  state_.LanguageCode = code;
  Notebook1->SetPageIndex(1);
  Application().ProcessMessages();
  Timer1->SetEnabled(true);
  const bool czech = code == "cz";
  Label1->SetCaption(czech ? texts::kFileCz : texts::kFileEn);
  Label2->SetCaption(czech ? texts::kStatusCz : texts::kStatusEn);
}

void TForm1::Image1Click(TObject*) { ChooseLanguage("cz"); }

void TForm1::Image2Click(TObject*) { ChooseLanguage("en"); }

void TForm1::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  state_.CurrentIndex = 1;
  if (trust == nullptr) {
    NactiSoubor(state_.CurrentIndex);
    return;
  }
  run_ = std::make_unique<TKeyedRun>(
      TKeyedRun::TSettings{platform_.Retries, platform_.Mirrors.size() + 1, Resilient()}, state_.FileCount);
  Carry(run_->Start());
}

void TForm1::trustListChecked(TObject*, TListVerdict Verdict) {
  Carry(run_->ListChecked(Verdict, trust->ListResult(), trust->List().Serial()));
}

bool TForm1::Resilient() const {
  return trust != nullptr && (platform_.Retries > 0 || !platform_.Mirrors.empty());
}

AnsiText TForm1::DownloadUrl(std::size_t host, const AnsiText& serverName) const {
  const AnsiText& name =
      host == 0 || host > platform_.Mirrors.size() ? platform_.VendorHost : platform_.Mirrors[host - 1];
  return (platform_.Https ? "https://" : "") + name + "/download/" + state_.ProgramName + "/" + serverName;
}

void TForm1::Carry(const TKeyedRun::TDecision& d) {
  using A = TKeyedRun::TAction;
  ShowHeading(d);
  if (d.DropPart && d.File > 0) platform_.System.DeleteFile(TargetOf(d.File));
  switch (d.Action) {
    case A::None:
      return;
    case A::FetchList:
      // The vendor's signed list, from beside the files.
      trust->FetchList(DownloadUrl(d.Host, kVendorListName), CzechUpper(state_.ProgramName), *hget,
                       state_.DownloadFolder + kVendorListName);
      return;
    case A::BeginFile:
      state_.CurrentIndex = d.File;
      NactiSoubor(d.File);
      return;
    case A::CheckKept:
      trust->CheckFile(Slot(state_.ServerFileNames, d.File),
                       state_.DownloadFolder + Slot(state_.LocalFileNames, d.File));
      return;
    case A::FetchFile:
      if (d.ClearSlot) ClearSlot(d.File);
      StartTry(d.File, d.Host, d.From, d.Validator);
      return;
    case A::CheckFile:
      trust->CheckFile(Slot(state_.ServerFileNames, d.File), TargetOf(d.File));
      return;
    case A::SaveFile:
      // Only a checked file gets its name, replacing any old copy.
      Carry(run_->Saved(platform_.System.RenameFile(
          TargetOf(d.File), state_.DownloadFolder + Slot(state_.LocalFileNames, d.File))));
      return;
    case A::Pause:
      Timer4->SetInterval(d.PauseMs);
      Timer4->SetEnabled(true);
      return;
    case A::NextFile:
      state_.CurrentIndex = d.File;
      Timer2->SetEnabled(true);
      return;
    case A::Report:
      state_.CurrentIndex = d.File;
      Timer3->SetEnabled(true);
      return;
    case A::End:
      ShowEnd(d);
      return;
  }
}

void TForm1::ShowHeading(const TKeyedRun::TDecision& d) {
  const bool czech = state_.LanguageCode == "cz";
  char text[96];
  switch (d.Heading) {
    case TKeyedRun::THeading::Unchanged:
      return;
    case TKeyedRun::THeading::Usual:
      ShowStatus(nullptr);
      return;
    case TKeyedRun::THeading::Retrying:
      std::snprintf(text, sizeof text, czech ? texts::kRetryingCz : texts::kRetryingEn, d.Try, d.Tries);
      break;
    case TKeyedRun::THeading::OtherHost:
      std::snprintf(text, sizeof text, "%s", czech ? texts::kOtherServerCz : texts::kOtherServerEn);
      break;
  }
  ShowStatus(text);
}

void TForm1::ShowEnd(const TKeyedRun::TDecision& d) {
  const bool czech = state_.LanguageCode == "cz";
  switch (d.Message) {
    case TKeyedRun::TMessage::None:
      return;
    case TKeyedRun::TMessage::ListFailed:
      Application().ShowMessage(czech ? texts::kListFailedCz : texts::kListFailedEn);
      return;
    case TKeyedRun::TMessage::ListExpired:
      Application().ShowMessage(czech ? texts::kListExpiredCz : texts::kListExpiredEn);
      return;
    case TKeyedRun::TMessage::FileFailed:
      ShowCheckFailed(Slot(state_.LocalFileNames, d.File));
      return;
    case TKeyedRun::TMessage::DownloadError:
      Application().ShowMessage("error - " + state_.DownloadFolder);
      return;
  }
}

void TForm1::Timer4Timer(TObject*) {
  Timer4->SetEnabled(false);
  Carry(run_->PauseEnded());
}

void TForm1::ShowStatus(const char* text) {
  if (text == nullptr) text = state_.LanguageCode == "cz" ? texts::kStatusCz : texts::kStatusEn;
  if (Label2->Caption() != text) Label2->SetCaption(text);
}

AnsiText TForm1::TargetOf(std::int32_t index) const {
  const AnsiText target = state_.DownloadFolder + Slot(state_.LocalFileNames, index);
  return trust == nullptr ? target : target + ".part";
}

std::int64_t TForm1::ListedSize(std::int32_t index) const {
  const TListedFile* entry = trust->List().Find(Slot(state_.ServerFileNames, index));
  return entry == nullptr ? -1 : entry->Size;
}

void TForm1::NactiSoubor(std::int32_t index) {
  if (run_ != nullptr) {
    const AnsiText local = state_.DownloadFolder + Slot(state_.LocalFileNames, index);
    Carry(run_->Begin(index, ListedSize(index), platform_.System.FileSize(local)));
    return;
  }
  ClearSlot(index);
  StartTry(index, 0, 0, AnsiText());
}

void TForm1::ClearSlot(std::int32_t index) {
  const AnsiText target = state_.DownloadFolder + Slot(state_.LocalFileNames, index);
  if (platform_.System.FileExists(target) && !platform_.System.DeleteFile(target)) {
    Application().ShowMessage("Delete error");
  }
  // What an interrupted run left aside was never checked.
  if (const AnsiText part = TargetOf(index); part != target && platform_.System.FileExists(part)) {
    platform_.System.DeleteFile(part);
  }
}

void TForm1::StartTry(std::int32_t index, std::size_t host, std::int64_t from, const AnsiText& validator) {
  const AnsiText& local = Slot(state_.LocalFileNames, index);
  had->SetProgress(0);
  Application().ProcessMessages();
  hget->BinaryData = true;
  hget->PostQuery.clear();
  hget->URL = DownloadUrl(host, Slot(state_.ServerFileNames, index));
  Label1->SetCaption(local);
  hget->FileName = TargetOf(index);
  if (Resilient()) {
    hget->RangeFrom = static_cast<std::int32_t>(from);
    hget->IfRange = validator;
  }
  hget->GetFile();
}

void TForm1::hgetProgress(TObject*, std::int32_t TotalSize, std::int32_t Readed) {
  // A length other than the list's, or more bytes than it allows, is stopped
  // before the next read: nothing fills the disk with what the check would
  // refuse. A continued transfer brings the rest of the file; the gauge shows
  // the whole.
  const std::int32_t offset = run_ != nullptr ? hget->Result().Offset : 0;
  if (run_ != nullptr && run_->Progress(TotalSize, Readed, offset)) hget->Abort();
  had->SetMaxValue(offset + TotalSize);
  had->SetProgress(offset + Readed);
  Application().ProcessMessages();
}

void TForm1::hgetDoneFile(TObject*, AnsiText, std::int32_t) {
  if (run_ == nullptr) {
    FileDone();
    return;
  }
  // What is aside counts only after a failure.
  Carry(run_->TransferEnded(true, hget->Result(), 0));
}

void TForm1::trustFileChecked(TObject*, bool Passed) {
  if (Passed && run_->State() == TKeyedRun::TState::CheckingKept) {
    const auto listed = static_cast<std::int32_t>(ListedSize(state_.CurrentIndex));
    had->SetMaxValue(listed);
    had->SetProgress(listed);
  }
  Carry(run_->FileChecked(Passed));
}

void TForm1::ShowCheckFailed(const AnsiText& localName) {
  const char* const* text = state_.LanguageCode == "cz" ? texts::kFileFailedCz : texts::kFileFailedEn;
  Application().ShowMessage(text[0] + localName + text[1]);
}

AnsiText TForm1::ServerNameOf(const AnsiText& localName) const {
  for (std::int32_t n = 1; n <= state_.FileCount; ++n) {
    if (Slot(state_.LocalFileNames, n) == localName) return Slot(state_.ServerFileNames, n);
  }
  return AnsiText();
}

void TForm1::FileDone() {
  state_.CurrentIndex += 1;
  if (state_.CurrentIndex <= state_.FileCount) {
    Timer2->SetEnabled(true);
  } else {
    Timer3->SetEnabled(true);
  }
}

void TForm1::hgetError(TObject*) {
  if (run_ != nullptr) {
    Carry(
        run_->TransferEnded(false, hget->Result(), platform_.System.FileSize(TargetOf(state_.CurrentIndex))));
    return;
  }
  Application().ShowMessage("error - " + state_.DownloadFolder);
}

void TForm1::Timer2Timer(TObject*) {
  Timer2->SetEnabled(false);
  NactiSoubor(state_.CurrentIndex);
}

void TForm1::Timer3Timer(TObject*) {
  Timer3->SetEnabled(false);
  AnsiText machine = "*";
  machine += info->ComputerName() + "*";
  machine += info->UserName() + "*";
  machine += info->OSDescription() + "*";
  machine += info->OSProductName() + "*";
  machine += info->SystemDirectory() + "*";

  if (const int error = platform_.System.SetCurrentDirectoryA(state_.DownloadFolder); error != 0) {
    throw EInOutError(error);
  }
  const AnsiText setup = state_.DownloadFolder + "setup.exe";
  AnsiText outcome = "DOWNLOAD ERROR (";
  state_.LaunchPath.clear();
  if (platform_.System.FileExists(setup)) {
    if (trust != nullptr) {
      // Checked again before it is reported, and held from here to its start.
      heldSetup_ = platform_.System.HoldFile(setup);
      if (!heldSetup_ || !trust->CheckHeld(*heldSetup_, ServerNameOf("setup.exe"))) {
        heldSetup_.reset();
        platform_.System.DeleteFile(setup);
      }
    }
    if (trust == nullptr || heldSetup_) {
      state_.LaunchPath = setup;
      outcome = "stazeno (";
    }
  }
  AnsiText address = (platform_.Https ? "https://" : "http://") + platform_.VendorHost +
                     "/programy/setup.asp?telefon=XXX&co=" + outcome +
                     CzechUpper(state_.ProgramName) + ")" + machine;
  address = ConvertCodePage(address, "W", "A");

  SetScreenCursor(TCursor::HourGlass);
  try {
    wb->Navigate(address);
  } catch (...) {
    SetScreenCursor(TCursor::Default);
    throw;
  }
  SetScreenCursor(TCursor::Default);
}

void TForm1::wbDocumentComplete(TObject*, void*, AnsiText) {
  if (!state_.LaunchPath.empty()) {
    platform_.System.Sleep(1000);
    // Started from the file as held, so it is the file that was checked; one
    // that cannot be held (a link, someone else's) is not started at all.
    std::unique_ptr<IHeldFile> setup =
        trust != nullptr ? std::move(heldSetup_) : platform_.System.HoldFile(state_.LaunchPath);
    if (setup) setup->ShellExecuteOpen(state_.LanguageCode);
  } else {
    Application().ShowMessage("Download error...");
  }
  Close();
}
