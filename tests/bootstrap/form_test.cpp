#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Fakes.h"
#include "TrustSupport.h"
#include "bootstrap/Catalogue.h"
#include "bootstrap/Main.h"
#include "bootstrap/Setup.h"
#include "tests/support/CaseName.h"
#include "tests/support/FakeSystem.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
constexpr const char* kHost = "www.vendor.example";

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder, named after suite and case: a parameterised case's name
    // holds a "/", which would make two.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '-');
    root_ = fs::temp_directory_path() / ("websetup-form-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(root_);
    fs::create_directories(root_);
    sys_.delimiter = '/';
    sys_.env["temp"] = root_.string();
    sys_.env["allusersprofile"] = (root_ / "all").string();
    sys_.env["processor_architecture"] = "AMD64";
    net_.NotFoundUnlessServed();
    Application().SetWidgetSet(&widgets_);
  }
  void TearDown() override {
    form_.reset();
    // Transfers still ending after the window went away must not reach it.
    for (int i = 0; i < 100 && THTTPGetThread::Instances() > 0; ++i) Pump(10ms);
    Application().SetWidgetSet(nullptr);
    fs::remove_all(root_);
  }

  void Start(const AnsiText& exe) {
    sys_.modulePath = "/opt/bin/" + exe;
    Application().SetTitle(ProgramTitle(sys_.modulePath, '/'));
    platform_ = std::make_unique<TPlatform>(TPlatform{sys_, machine_, net_, kHost, trustKey_, &crypto_, retries_, mirrors_});
    platform_->Https = https_;
    form_ = std::make_unique<TForm1>(nullptr, *platform_, state_);
  }

  struct Box {
    TControl* c;
    int left, top, width, height;
  };
  static void ExpectBoxes(std::initializer_list<Box> boxes) {
    for (const Box& b : boxes) {
      EXPECT_EQ((std::vector<int>{b.c->Left, b.c->Top, b.c->Width, b.c->Height}),
                (std::vector<int>{b.left, b.top, b.width, b.height}))
          << b.c->Name();
    }
  }

  // Slot i (from 1) of the product's list as the catalogue gave it at start:
  // the cases name a file by its place, the catalogue alone by its name.
  const AnsiText& Server(int i) const { return state_.ServerFileNames[static_cast<std::size_t>(i)]; }
  const AnsiText& Local(int i) const { return state_.LocalFileNames[static_cast<std::size_t>(i)]; }
  // The server name of the file the program starts at the end.
  AnsiText SetupServerName() const {
    int i = state_.FileCount;
    while (i > 0 && Local(i) != "setup.exe") --i;
    return Server(i);
  }

  // Serves every file of the product's list, each with different bytes.
  void ServeProduct(std::size_t size = 3000) {
    for (int i = 1; i <= state_.FileCount; ++i)
      net_.Serve(Url(Server(i)), {200, Body(Server(i), size), true});
  }

 public:
  static std::string Body(const AnsiText& name, std::size_t size) {
    std::string b;
    while (b.size() < size) b += name + ":" + std::to_string(b.size()) + ";";
    b.resize(size);
    return b;
  }

 protected:
  AnsiText Url(const AnsiText& server) const {
    return AnsiText(kHost) + "/download/" + state_.ProgramName + "/" + server;
  }

  void Pump(std::chrono::milliseconds wait) {
    MainThreadQueue().WaitForPending(wait);
    MainThreadQueue().ProcessPending();
  }
  template <class Pred>
  bool PumpUntil(Pred pred) {
    for (int i = 0; i < 1000 && !pred(); ++i) Pump(10ms);
    return pred();
  }

  static void Fire(TTimer* timer) {
    ASSERT_TRUE(timer->Enabled());
    timer->Tick();
  }

  // Clicks a flag and lets the timers run until the downloads end: with the
  // completion timer armed, or with a message box.
  void Download(TImage* flag) {
    flag->Click();
    Fire(form_->Timer1);
    for (;;) {
      const std::size_t boxes = widgets_.boxes.size();
      ASSERT_TRUE(PumpUntil([&] {
        return form_->Timer2->Enabled() || form_->Timer3->Enabled() || widgets_.boxes.size() > boxes;
      }));
      if (!form_->Timer2->Enabled()) break;
      Fire(form_->Timer2);
    }
  }

  std::vector<AnsiText> RequestedPaths() const {
    std::vector<AnsiText> paths;
    for (const auto& r : net_.Requests()) paths.push_back(r.host + r.path);
    return paths;
  }

  fs::path root_;
  TFakeWidgets widgets_;
  TFakeSystem sys_{TFakeSystem::Files::OnDisk};  // real files under a temporary root
  FakeInternet net_;
  TFakeMachine machine_;
  TBootstrapState state_;
  std::string trustKey_;  // none: the program as built without the vendor's key
  int retries_ = 0;  // the vendor's resilience settings: none
  std::vector<AnsiText> mirrors_;
  bool https_ = false;  // as built without WEBSETUP_HTTPS
  TFakeCrypto crypto_;
  std::unique_ptr<TPlatform> platform_;
  std::unique_ptr<TForm1> form_;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

TEST_F(Installer, StartShowsTheLanguagePageInTheProductsScheme) {
  Start("zulan_festir.exe");
  EXPECT_EQ(form_->Caption(), "ZULAN_FESTIR");
  EXPECT_EQ(form_->Notebook1->PageIndex(), 0);
  EXPECT_FALSE(form_->Timer1->Enabled());
  EXPECT_FALSE(form_->Timer2->Enabled());
  EXPECT_FALSE(form_->Timer3->Enabled());
  EXPECT_EQ(form_->Panel1->Color(), 15564525u);
  EXPECT_EQ(form_->Panel2->Color(), 15564525u);
  EXPECT_EQ(form_->had->ForeColor(), 9765013u);
  EXPECT_EQ(form_->had->Progress(), 0);
  EXPECT_FALSE(form_->Button1->Visible());
  EXPECT_EQ(form_->Image1->Cursor, TCursor::HandPoint);
  EXPECT_TRUE(fs::is_directory(root_ / "zulan_festir"));
  EXPECT_TRUE(widgets_.boxes.empty());
  EXPECT_FALSE(form_->Closed());
}

TEST_F(Installer, ComponentsCarryTheirLayoutNames) {
  Start("TERBO.exe");
  for (const char* name :
       {"Notebook1", "Panel1", "Panel2", "Label1", "Label2", "Label3", "Image1", "Image2", "Button1", "had",
        "wb", "Timer1", "Timer2", "Timer3", "hget", "info", "XPManifest1"}) {
    const TComponent* found = form_->FindComponent(name);
    ASSERT_NE(found, nullptr) << name;
    EXPECT_EQ(found->Owner(), form_.get()) << name;
  }
  EXPECT_EQ(form_->FindComponent("XPManifest1"), form_->XPManifest1);
  EXPECT_EQ(form_->XPManifest1->ClassName(), "TXPManifest");
  EXPECT_EQ(form_->hget->Agent, "Kestrami HTTPGet");
  EXPECT_EQ(form_->hget->AcceptTypes, "*/*");
  EXPECT_FALSE(form_->hget->UseCache);
  EXPECT_FALSE(form_->hget->WaitThread);
}

TEST_F(Installer, LayoutHoldsItsStoredValues) {
  Start("TERBO.exe");
  ExpectBoxes({{form_->Notebook1, 0, 0, 585, 113},
               {form_->Panel2, 0, 0, 585, 113},
               {form_->Label3, 205, 20, 181, 16},
               {form_->Image1, 240, 45, 40, 27},
               {form_->Image2, 300, 45, 40, 27},
               {form_->Button1, 40, 30, 75, 25},
               {form_->Panel1, 0, 0, 585, 113},
               {form_->Label2, 10, 10, 479, 19},
               {form_->Label1, 10, 40, 103, 16},
               {form_->had, 10, 60, 566, 30}});
  EXPECT_EQ(form_->ClientWidth, 585);
  EXPECT_EQ(form_->ClientHeight, 113);
  EXPECT_EQ(form_->Color, clBtnFace);
  EXPECT_EQ(form_->Font, (TFont{"Arial", 13, false, clWindowText}));
  EXPECT_FALSE(form_->Label2->ParentFont);
  EXPECT_EQ(form_->Label2->Font, (TFont{"Arial", 16, true, clWindowText}));
  EXPECT_TRUE(form_->Label1->ParentFont);
  EXPECT_EQ(form_->Label3->Caption(), texts::kSelectLanguage);
  EXPECT_EQ(form_->Button1->Caption, "Button1");
  EXPECT_EQ(form_->Notebook1->Page(0)->Caption, "prvni");
  EXPECT_EQ(form_->Notebook1->Page(1)->Caption, "Default");
  EXPECT_EQ(form_->Panel2->Parent(), form_->Notebook1->Page(0));
  EXPECT_EQ(form_->Panel1->Parent(), form_->Notebook1->Page(1));
  for (TControl* c : {static_cast<TControl*>(form_->Label3), static_cast<TControl*>(form_->Image1),
                      static_cast<TControl*>(form_->Image2), static_cast<TControl*>(form_->Button1)}) {
    EXPECT_EQ(c->Parent(), form_->Panel2) << c->Name();
  }
  for (TControl* c : {static_cast<TControl*>(form_->Label2), static_cast<TControl*>(form_->Label1),
                      static_cast<TControl*>(form_->had)}) {
    EXPECT_EQ(c->Parent(), form_->Panel1) << c->Name();
  }
  for (TTimer* t : {form_->Timer1, form_->Timer2, form_->Timer3}) EXPECT_EQ(t->Interval(), 1000u);
  // Values the layout stores and start-up replaces, in the order they were set.
  const auto seen = [&](TControl* c, const AnsiText& value) {
    const auto& h = widgets_.history[c];
    return std::find(h.begin(), h.end(), value) != h.end();
  };
  EXPECT_TRUE(seen(form_->Panel2, "color 13194953"));
  EXPECT_TRUE(seen(form_->Panel1, "color 15564525"));
  EXPECT_TRUE(seen(form_->had, "progress 77 fore 9765013"));
  EXPECT_TRUE(seen(form_.get(), "caption Instalace programu"));
  EXPECT_EQ(widgets_.history[form_->Panel2].back(), "color " + std::to_string(0xFFD8B0));
  EXPECT_EQ(widgets_.history[form_->had].back(), "progress 0 fore 9262633");
  // Timer3 is enabled as stored until start-up turns it off, after showing the notebook's stored page.
  const auto at = [&](const AnsiText& e) {
    return std::find(widgets_.events.begin(), widgets_.events.end(), e) - widgets_.events.begin();
  };
  const auto last = [&](const AnsiText& e) {
    const auto it = std::find(widgets_.events.rbegin(), widgets_.events.rend(), e);
    return widgets_.events.rend() - it - 1;
  };
  EXPECT_LT(at("page 1"), at("timer Timer3 off"));
  EXPECT_LT(at("timer Timer3 off"), last("page 0"));
  EXPECT_EQ(std::count(widgets_.events.begin(), widgets_.events.end(), "timer Timer3 on"), 0);
}

// At 144 dpi (150 %) the window is the one above, half as large again.
TEST_F(Installer, LayoutIsScaledToTheScreenBeforeStartUp) {
  widgets_.dpi = 144;
  Start("TERBO.exe");
  ExpectBoxes({{form_->Notebook1, 0, 0, 878, 170},
               {form_->Panel2, 0, 0, 878, 170},
               {form_->Label3, 308, 30, 272, 24},
               {form_->Image1, 360, 68, 60, 41},
               {form_->Image2, 450, 68, 60, 41},
               {form_->Panel1, 0, 0, 878, 170},
               {form_->Label2, 15, 15, 719, 29},
               {form_->had, 15, 90, 849, 45}});
  EXPECT_EQ((std::vector<int>{form_->ClientWidth, form_->ClientHeight}), (std::vector<int>{878, 170}));
  EXPECT_EQ(form_->Font, (TFont{"Arial", 20, false, clWindowText}));
  EXPECT_EQ(form_->Label2->Font, (TFont{"Arial", 24, true, clWindowText}));
  // Start-up ran on the scaled window: the language page in the product's scheme.
  EXPECT_EQ(form_->Notebook1->PageIndex(), 0);
  EXPECT_EQ(widgets_.history[form_->Panel2].back(), "color " + std::to_string(0xFFD8B0));
}

TEST_F(Installer, FlagClickPaintsTheNewPageBeforeArmingTheTimerAndSettingTheTexts) {
  Start("TERBO.exe");
  widgets_.events.clear();
  form_->Image2->Click();
  EXPECT_EQ(widgets_.events,
            (std::vector<AnsiText>{"page 1", "process", "timer Timer1 on", "caption Label1 Download the file",
                                   "caption Label2 Downloading files needed to install, please wait"}));
}

TEST_F(Installer, EachFileStartsWithTheGaugeRepaintedAtZero) {
  Start("TERBO.exe");
  ServeProduct();
  form_->Image1->Click();
  widgets_.events.clear();
  Fire(form_->Timer1);
  EXPECT_EQ(widgets_.events,
            (std::vector<AnsiText>{"timer Timer1 off", "process", "caption Label1 " + Local(1)}));
}

TEST_F(Installer, LeftOverPostQueryStillGivesAGet) {
  Start("TERBO.exe");
  ServeProduct();
  form_->hget->PostQuery = "a=1";
  form_->Image1->Click();
  Fire(form_->Timer1);
  ASSERT_TRUE(PumpUntil([&] { return form_->Timer2->Enabled(); }));
  ASSERT_EQ(net_.Requests().size(), 1u);
  EXPECT_EQ(net_.Requests()[0].verb, "GET");
}

TEST_F(Installer, WindowThatClosedDuringStartUpIsNeverShown) {
  sys_.modulePath = "/opt/bin/TERBO.exe";
  TPlatform platform{sys_, machine_, net_, kHost, {}, nullptr, 0, {}};
  sys_.foldersCreatable = false;
  EXPECT_EQ(RunSetup(platform), 0);
  EXPECT_EQ(widgets_.runs, 0);
  EXPECT_EQ(Application().Title(), "Terbo");
  sys_.foldersCreatable = true;
  EXPECT_EQ(RunSetup(platform), 0);
  EXPECT_EQ(widgets_.runs, 1);
}

TEST_F(Installer, FolderThatCannotBeCreatedShowsItsMessageAndCloses) {
  sys_.foldersCreatable = false;
  Start("TERBO.exe");
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Nelze vytvorit tmp adresar");
  EXPECT_EQ(widgets_.boxes[0].title, "Terbo");
  EXPECT_FALSE(widgets_.boxes[0].errorIcon);
  EXPECT_TRUE(form_->Closed());
  EXPECT_EQ(widgets_.events.back(), "close");
}

struct LanguageCase {
  bool czech;
  AnsiText code, label1, label2;
};
class FlagClick : public Installer, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(FlagClick, ShowsTheProgressPageThenTheFirstFileName) {
  Start("TERBO.exe");
  ServeProduct();
  (GetParam().czech ? form_->Image1 : form_->Image2)->Click();
  EXPECT_EQ(state_.LanguageCode, GetParam().code);
  EXPECT_EQ(form_->Notebook1->PageIndex(), 1);
  EXPECT_GE(widgets_.processed, 1);
  EXPECT_TRUE(form_->Timer1->Enabled());
  EXPECT_EQ(form_->Label1->Caption(), GetParam().label1);
  EXPECT_EQ(form_->Label2->Caption(), GetParam().label2);
  EXPECT_TRUE(net_.Requests().empty());

  Fire(form_->Timer1);
  EXPECT_FALSE(form_->Timer1->Enabled());
  EXPECT_EQ(state_.CurrentIndex, 1);
  EXPECT_EQ(form_->Label1->Caption(), Local(1));
  EXPECT_EQ(form_->hget->FileName, state_.DownloadFolder + Local(1));
  EXPECT_TRUE(form_->hget->BinaryData);
}

INSTANTIATE_TEST_SUITE_P(Languages, FlagClick,
                         ::testing::Values(LanguageCase{true, "cz", "Stahovan\xfd soubor",
                                                        "Prob\xed"
                                                        "h\xe1 sta\x9e"
                                                        "en\xed pot\xf8"
                                                        "ebn\xfd"
                                                        "ch soubor\xf9 k instalaci, \xe8"
                                                        "ekejte pros\xedm"},
                                           LanguageCase{false, "en", "Download the file",
                                                        "Downloading files needed to install, please wait"}),
                         [](const auto& p) { return CaseName(p.index, p.param.code); });

TEST_F(Installer, NineFilesArriveUnderTheirLocalNamesThenCompletionIsArmed) {
  Start("terbo.exe");
  ServeProduct();
  Download(form_->Image1);
  EXPECT_TRUE(widgets_.boxes.empty());
  EXPECT_EQ(state_.CurrentIndex, 10);
  EXPECT_TRUE(form_->Timer3->Enabled());
  EXPECT_FALSE(form_->Timer2->Enabled());
  // The program name keeps the executable's case in the URL.
  std::vector<AnsiText> expected;
  for (int i = 1; i <= 9; ++i) expected.push_back(Url(Server(i)));
  EXPECT_EQ(RequestedPaths(), expected);
  EXPECT_EQ(expected[0], "www.vendor.example/download/terbo/" + Server(1));
  for (int i = 1; i <= 9; ++i)
    EXPECT_EQ(ReadFile(root_ / "terbo" / Local(i)), Body(Server(i), 3000)) << Local(i);
  EXPECT_EQ(form_->had->Progress(), 3000);
  EXPECT_EQ(form_->had->PercentDone(), 100);
}

TEST_F(Installer, ThreeFileProductEndsAtIndexFour) {
  Start("kalmiro.exe");
  ServeProduct();
  Download(form_->Image2);
  EXPECT_EQ(state_.CurrentIndex, 4);
  EXPECT_TRUE(form_->Timer3->Enabled());
  EXPECT_TRUE(fs::is_regular_file(root_ / "all" / "qormonitor" / "view.exe"));
}

TEST_F(Installer, StaleCopyIsDeletedBeforeItIsFetchedAgain) {
  Start("TERBO.exe");
  ServeProduct();
  std::ofstream(root_ / "TERBO" / Local(1)) << "old copy";
  form_->Image1->Click();
  Fire(form_->Timer1);
  ASSERT_FALSE(sys_.log.empty());
  EXPECT_EQ(sys_.log.back(), "delete " + state_.DownloadFolder + Local(1));
  ASSERT_TRUE(PumpUntil([&] { return form_->Timer2->Enabled(); }));
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(1)), Body(Server(1), 3000));
}

TEST_F(Installer, UndeletableCopyIsReportedAndTheDownloadGoesAhead) {
  Start("TERBO.exe");
  ServeProduct();
  std::ofstream(root_ / "TERBO" / Local(1)) << "old copy";
  sys_.undeletable.insert(state_.DownloadFolder + Local(1));
  form_->Image1->Click();
  Fire(form_->Timer1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Delete error");
  ASSERT_TRUE(PumpUntil([&] { return form_->Timer2->Enabled(); }));
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(1)), Body(Server(1), 3000));
}

TEST_F(Installer, FailedSecondFileStopsWithTheFolderInTheMessage) {
  Start("TERBO.exe");
  ServeProduct();
  net_.Serve(Url(Server(2)), {200, Body(Server(2), 3000), true, 2050});
  Download(form_->Image1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "error - " + state_.DownloadFolder);
  EXPECT_EQ(state_.CurrentIndex, 2);
  EXPECT_FALSE(form_->Timer2->Enabled());
  EXPECT_FALSE(form_->Timer3->Enabled());
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(1)), Body(Server(1), 3000));
  EXPECT_EQ(RequestedPaths().size(), 2u);
}

TEST_F(Installer, ErrorPageIsNotTakenForAFile) {
  Start("TERBO.exe");
  ServeProduct();
  net_.Serve(Url(Server(1)), {404, "<html>missing</html>", true});
  Download(form_->Image1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "error - " + state_.DownloadFolder);
  EXPECT_FALSE(form_->Timer3->Enabled());
}

TEST_F(Installer, UnknownProductEndsInTheDownloadError) {
  Start("TERBO (2).exe");
  EXPECT_EQ(form_->Caption(), "TERBO (2)");
  EXPECT_EQ(state_.FileCount, 0);
  Download(form_->Image1);
  EXPECT_EQ(form_->Label1->Caption(), "");
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "error - " + state_.DownloadFolder);
  EXPECT_EQ(RequestedPaths(), std::vector<AnsiText>{AnsiText(kHost) + "/download/TERBO (2)/"});
  EXPECT_FALSE(form_->Timer3->Enabled());
  EXPECT_TRUE(fs::is_directory(root_ / "TERBO (2)"));
}

TEST_F(Installer, GaugeFollowsTheBytesOfTheCurrentFile) {
  Start("TERBO.exe");
  ServeProduct(10000);
  form_->Image1->Click();
  Fire(form_->Timer1);
  widgets_.events.clear();
  ASSERT_TRUE(PumpUntil([&] { return form_->Timer2->Enabled(); }));
  // The window processes its messages after each of the ten chunks.
  EXPECT_EQ(std::count(widgets_.events.begin(), widgets_.events.end(), "process"), 10);
  EXPECT_EQ(form_->had->MaxValue(), 10000);
  EXPECT_EQ(form_->had->Progress(), 10000);
  Fire(form_->Timer2);
  // Each file starts the gauge again from zero.
  EXPECT_EQ(form_->had->Progress(), 0);
}

// ---- Completion: the report to the vendor and the hand-off to setup.

namespace {
constexpr const char* kReportPrefix = "www.vendor.example/programy/setup.asp?telefon=XXX&co=";
}

class Completion : public Installer {
 protected:
  // Downloads everything, then lets the completion timer fire.
  void DownloadAndReport(const AnsiText& exe, TImage*(TForm1::*flag) = &TForm1::Image1) {
    Start(exe);
    ServeProduct();
    net_.Serve(AnsiText(kHost) + "/programy/setup.asp", {200, "<html>thanks</html>", true});
    Download((*form_).*flag);
    ASSERT_TRUE(form_->Timer3->Enabled());
  }
  std::vector<AnsiText> Reports() const {
    std::vector<AnsiText> out;
    for (const AnsiText& p : RequestedPaths()) {
      if (p.rfind(kReportPrefix, 0) == 0) out.push_back(p.substr(std::strlen(kReportPrefix)));
    }
    return out;
  }
};

TEST_F(Completion, ReportCarriesTheOutcomeProductAndMachineThenSetupStarts) {
  DownloadAndReport("terbo.exe");
  Fire(form_->Timer3);
  EXPECT_FALSE(form_->Timer3->Enabled());
  EXPECT_EQ(sys_.chdirs, std::vector<AnsiText>{state_.DownloadFolder});
  EXPECT_EQ(state_.LaunchPath, state_.DownloadFolder + "setup.exe");
  EXPECT_EQ(widgets_.cursors, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
  // Nothing is started before the page has completed.
  EXPECT_TRUE(sys_.opened.empty());
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  // Built without the vendor's key: the nine files and the report, no list.
  EXPECT_EQ(RequestedPaths().size(), 10u);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0],
            "stazeno%20(TERBO)*PC01*jan*Windows%20XP%20Professional%20Service%20Pack%202%20(Build%202600)*"
            "Windows%20XP*C:%5CWINDOWS%5Csystem32*");
  EXPECT_EQ(sys_.sleeps, std::vector<std::uint32_t>{1000});
  EXPECT_EQ(sys_.opened,
            (std::vector<std::pair<AnsiText, AnsiText>>{{state_.DownloadFolder + "setup.exe", "cz"}}));
  // The pause comes before the start, the start before the close.
  const auto sleepAt = std::find(sys_.log.begin(), sys_.log.end(), "sleep 1000");
  ASSERT_NE(sleepAt, sys_.log.end());
  EXPECT_EQ(*(sleepAt + 1), "open " + state_.DownloadFolder + "setup.exe cz");
  EXPECT_EQ(widgets_.events.back(), "close");
  EXPECT_TRUE(widgets_.boxes.empty());
  // The five facts are read in their order.
  EXPECT_EQ(machine_.calls,
            (std::vector<std::string>{"computer", "user", "version", "version", "systemdir"}));
}

TEST_F(Completion, ReportsAnswerIsReadNoFurtherThanItsFirstKilobytes) {
  DownloadAndReport("terbo.exe");
  net_.Serve(AnsiText(kHost) + "/programy/setup.asp", {200, std::string(1 << 20, 'x'), true});
  const std::size_t reads = net_.Calls("InternetReadFile").size();
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  EXPECT_LE(net_.Calls("InternetReadFile").size() - reads, 8u);
  EXPECT_EQ(sys_.opened.size(), 1u);
}

TEST_F(Completion, EnglishChoiceStartsSetupWithEn) {
  DownloadAndReport("TERBO.exe", &TForm1::Image2);
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  ASSERT_EQ(sys_.opened.size(), 1u);
  EXPECT_EQ(sys_.opened[0].second, "en");
}

TEST_F(Completion, MissingSetupIsReportedAndNothingStarts) {
  DownloadAndReport("TERBO.exe");
  fs::remove(root_ / "TERBO" / "setup.exe");
  Fire(form_->Timer3);
  EXPECT_EQ(state_.LaunchPath, "");
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].rfind("DOWNLOAD%20ERROR%20(TERBO)*PC01*", 0), 0u) << Reports()[0];
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Download error...");
  EXPECT_TRUE(sys_.opened.empty());
  EXPECT_TRUE(sys_.sleeps.empty());
  EXPECT_EQ(widgets_.events.back(), "close");
}

TEST_F(Completion, EmptyUserNameLeavesTwoAsterisks) {
  machine_.userName = "";
  DownloadAndReport("TERBO.exe");
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].rfind("stazeno%20(TERBO)*PC01**Windows", 0), 0u) << Reports()[0];
}

TEST_F(Completion, CzechLettersAreReducedToAscii) {
  machine_.computerName =
      "\xc8"
      "ERN\xdd-po\xe8\xedta\xe8\xa3";  // ČERNÝ-počítačŁ
  DownloadAndReport("TERBO.exe");
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].rfind("stazeno%20(TERBO)*CERNY-pocitac%20*jan*", 0), 0u) << Reports()[0];
}

struct ChdirCase {
  int code;
  AnsiText shown;
};
class CurrentFolder : public Completion, public ::testing::WithParamInterface<ChdirCase> {};

TEST_P(CurrentFolder, FailureShowsItsMessageAndNothingIsSentOrStarted) {
  DownloadAndReport("TERBO.exe");
  sys_.chdirError = GetParam().code;
  Fire(form_->Timer3);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, GetParam().shown);
  EXPECT_TRUE(widgets_.boxes[0].errorIcon);
  EXPECT_EQ(widgets_.boxes[0].title, "Terbo");
  Pump(50ms);
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(sys_.opened.empty());
  EXPECT_FALSE(form_->Closed());
  EXPECT_TRUE(widgets_.cursors.empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, CurrentFolder,
                         ::testing::Values(ChdirCase{2, "File not found."}, ChdirCase{3, "Invalid filename."},
                                           ChdirCase{4, "Too many open files."},
                                           ChdirCase{5, "File access denied."},
                                           ChdirCase{267, "I/O error 267."}),
                         [](const auto& p) { return CaseName(p.index, "Code" + CaseNumber(p.param.code)); });

TEST_F(Completion, UnreadableVersionStopsBeforeAnythingIsSent) {
  DownloadAndReport("TERBO.exe");
  machine_.acceptExtended = machine_.acceptShort = false;
  Fire(form_->Timer3);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Can't get OS version info.");
  EXPECT_TRUE(widgets_.boxes[0].errorIcon);
  EXPECT_TRUE(sys_.chdirs.empty());
  EXPECT_TRUE(Reports().empty());
  EXPECT_FALSE(form_->Closed());
}

TEST_F(Completion, RefusedNavigationRestoresTheCursorAndShowsTheReason) {
  DownloadAndReport("TERBO.exe");
  platform_->VendorHost = "";  // "http:///..." names no host
  Fire(form_->Timer3);
  EXPECT_EQ(widgets_.cursors, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_TRUE(widgets_.boxes[0].errorIcon);
  EXPECT_NE(widgets_.boxes[0].text.find("http:///programy/setup.asp"), AnsiText::npos);
  Pump(50ms);
  EXPECT_TRUE(sys_.opened.empty());
  EXPECT_FALSE(form_->Closed());
}

TEST_F(Completion, FailedReportStillHandsOff) {
  DownloadAndReport("TERBO.exe");
  net_.Serve(AnsiText(kHost) + "/programy/setup.asp", {500, "", false});
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  EXPECT_EQ(sys_.opened.size(), 1u);
}

TEST_F(Completion, HiddenButtonRunsTheCompletionStepToo) {
  DownloadAndReport("TERBO.exe");
  form_->Button1->Click();
  EXPECT_FALSE(form_->Timer3->Enabled());
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  EXPECT_EQ(Reports().size(), 1u);
}

struct TitleCase {
  AnsiText path, title;
};
class Title : public ::testing::TestWithParam<TitleCase> {};
TEST_P(Title, FileNameUpToTheFirstDotWithTheRestInLowerCase) {
  EXPECT_EQ(ProgramTitle(GetParam().path, '\\'), GetParam().title);
}
INSTANTIATE_TEST_SUITE_P(
    Names, Title,
    ::testing::Values(TitleCase{"C:\\x\\TERBO.exe", "Terbo"}, TitleCase{"zulan_festir.exe", "zulan_festir"},
                      TitleCase{"C:\\a.b\\TERBO (2).exe", "Terbo (2)"},
                      TitleCase{"C:\\x\\setup.tar.exe", "setup"}, TitleCase{"C:\\x\\NODOT", "Nodot"},
                      // Windows-1250 capitals are lowered too: ŽLUŤOUČKÝ gives Žluťoučký.
                      TitleCase{"\x8eLU\x8dOU\xc8K\xdd.exe", "\x8elu\x9dou\xe8k\xfd"},
                      TitleCase{"\xd8\xc1\xa3\xa5.exe", "\xd8\xe1\xb3\xb9"}),
    [](const auto& p) { return CaseName(p.index, p.param.path); });

TEST(WireForm, EscapesWhatMayNotStandInARequestTarget) {
  EXPECT_EQ(TWebBrowser::WireForm("http://h/p?a=b c\\d\"e<f>g^h`i{j|k}l#m\x01\x7f\x80~*()%"),
            "http://h/p?a=b%20c%5Cd%22e%3Cf%3Eg%5Eh%60i%7Bj%7Ck%7Dl%23m%01%7F%80~*()%");
}

// ---- A program built with the vendor's key: the signed list, then each file.

namespace {
const std::string kVendorKey = "the vendor's key";
using TEditList = std::function<void(std::vector<TListEntry>&)>;
}  // namespace

class Trusted : public Completion {
 protected:
  void SetUp() override {
    Completion::SetUp();
    trustKey_ = PemOf(kVendorKey);
  }
  // The list of the product's files as served, signed with key for product;
  // edit changes entries before signing.
public:
  std::string ProductList(const std::string& product = "TERBO", const std::string& key = kVendorKey,
                          const TEditList& edit = {}, const std::string& freshness = Freshness(7)) {
    std::vector<TListEntry> entries;
    for (const TProductFile& f : ProductFiles(state_.ProgramName))
      entries.push_back({f.ServerName, Body(f.ServerName, 3000)});
    if (edit) edit(entries);
    return SignList(ListBody(product, entries, freshness), key);
  }
protected:
  void PublishList(const std::string& product = "TERBO", const std::string& key = kVendorKey,
                   const TEditList& edit = {}, const std::string& freshness = Freshness(7)) {
    net_.Serve(Url(kVendorListName), {200, ProductList(product, key, edit, freshness), true});
  }
  // Every file left in the download folder, by name.
  std::vector<std::string> Left() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "TERBO")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void StartTrusted(const TEditList& edit = {}) {
    Start("TERBO.exe");
    ServeProduct();
    net_.Serve(AnsiText(kHost) + "/programy/setup.asp", {200, "<html>thanks</html>", true});
    PublishList("TERBO", kVendorKey, edit);
  }
};

TEST_F(Trusted, ListComesFirstThenEveryFilePassesAndSetupStarts) {
  StartTrusted();
  Download(form_->Image1);
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  const std::vector<AnsiText> paths = RequestedPaths();
  ASSERT_EQ(paths.size(), 11u);
  EXPECT_EQ(paths[0], Url(kVendorListName));
  EXPECT_EQ(paths[1], Url(Server(1)));
  EXPECT_EQ(Reports().size(), 1u);
  EXPECT_EQ(sys_.opened,
            (std::vector<std::pair<AnsiText, AnsiText>>{{state_.DownloadFolder + "setup.exe", "cz"}}));
  EXPECT_TRUE(widgets_.boxes.empty());
  // The files under their names and the list that vouched for them; nothing aside.
  const std::vector<std::string> left = Left();
  EXPECT_EQ(left.size(), 10u);
  EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& n) { return n.ends_with(".part"); }), 0);
  EXPECT_EQ(ReadFile(root_ / "TERBO" / kVendorListName), ProductList());
}

// The hidden browser opens https:// addresses only in a build with the setting.
TEST_F(Installer, BrowserOpensHttpsOnlyWithTheSetting) {
  const struct {
    const char* address;
    bool https, opens;
  } cases[] = {{"http://h/p", false, true},  {"https://h/p", false, false}, {"HTTPS://h/p", true, true},
               {"http://h/p", true, true},   {"https:///p", true, false},   {"ftp://h/p", true, false}};
  for (const auto& c : cases) {
    TWebBrowser wb(nullptr, net_);
    wb.Https = c.https;
    bool completed = false;
    wb.OnDocumentComplete = TDocumentCompleteEvent([&](TObject*, void*, AnsiText) { completed = true; });
    if (c.opens) {
      EXPECT_NO_THROW(wb.Navigate(c.address)) << c.address;
      EXPECT_TRUE(PumpUntil([&] { return completed; })) << c.address;
    } else {
      EXPECT_THROW(wb.Navigate(c.address), Exception) << c.address << " with Https " << c.https;
    }
  }
  std::vector<bool> overTls;
  for (const auto& call : net_.Calls("InternetConnectA")) overTls.push_back(call.find("\"h\",443,") != std::string::npos);
  EXPECT_EQ(overTls, (std::vector<bool>{false, true, false}));
}

// Built with WEBSETUP_HTTPS: the list, every file and the report over TLS.
TEST_F(Trusted, WithHttpsEveryRequestGoesOverTlsOnPort443) {
  https_ = true;
  StartTrusted();
  Download(form_->Image1);
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  EXPECT_EQ(RequestedPaths().size(), 11u);
  EXPECT_EQ(Reports().size(), 1u);
  const auto connects = net_.Calls("InternetConnectA");
  ASSERT_EQ(connects.size(), 11u);
  for (const auto& c : connects) EXPECT_NE(c.find("\",443,"), std::string::npos) << c;
  for (const auto& o : net_.Calls("HttpOpenRequestA")) EXPECT_NE(o.find(",0x80800000,"), std::string::npos) << o;
  // Each answer's final address was checked to be https:// still.
  EXPECT_EQ(net_.Calls("InternetQueryOptionA").size(), 11u);
  EXPECT_EQ(sys_.opened.size(), 1u);
}

TEST_F(Trusted, WithHttpsARedirectToPlainHttpStopsAtTheList) {
  https_ = true;
  net_.finalUrl = "http://www.vendor.example/download/TERBO/websetup.list";
  StartTrusted();
  Download(form_->Image1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Seznam souboru od dodavatele nelze overit");
  EXPECT_EQ(RequestedPaths().size(), 1u);
  EXPECT_TRUE(sys_.opened.empty());
}

// The list is fresh, or refused: its expiry against the computer's clock, its
// serial against the list kept from the run before.
struct FreshnessCase {
  const char* name;
  std::string served;  // serial and expiry of the list served
  std::function<std::string(Trusted&)> kept;  // the list kept from before; empty: none
  const char* message;  // nullptr: the run goes on
};

class TrustedFreshness : public Trusted, public ::testing::WithParamInterface<FreshnessCase> {};

TEST_P(TrustedFreshness, ListIsTakenOnlyWhenNotExpiredNorOlderThanTheKeptOne) {
  StartTrusted();
  PublishList("TERBO", kVendorKey, {}, GetParam().served);
  const std::string kept = GetParam().kept ? GetParam().kept(*this) : "";
  if (!kept.empty()) std::ofstream(root_ / "TERBO" / kVendorListName, std::ios::binary) << kept;
  Download(form_->Image2);
  if (GetParam().message != nullptr) {
    ASSERT_EQ(widgets_.boxes.size(), 1u);
    EXPECT_EQ(widgets_.boxes[0].text, GetParam().message);
    EXPECT_EQ(RequestedPaths(), std::vector<AnsiText>{Url(kVendorListName)});
    EXPECT_EQ(Left(), kept.empty() ? std::vector<std::string>{} : std::vector<std::string>{kVendorListName});
    if (!kept.empty()) {
      EXPECT_EQ(ReadFile(root_ / "TERBO" / kVendorListName), kept) << "the floor stays";
    }
    return;
  }
  ASSERT_TRUE(widgets_.boxes.empty()) << widgets_.boxes[0].text;
  EXPECT_TRUE(form_->Timer3->Enabled());
  EXPECT_EQ(ReadFile(root_ / "TERBO" / kVendorListName), ProductList("TERBO", kVendorKey, {}, GetParam().served))
      << "the list taken is kept";
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrustedFreshness,
    ::testing::Values(
        FreshnessCase{"Expired", Freshness(7, "2026-12-09T11:59:59Z"), {},
                  "The vendor's list of files has expired. Check the computer's date and time"},
        FreshnessCase{"ExpiringInASecond", Freshness(7, "2026-12-09T12:00:01Z"), {}, nullptr},
        FreshnessCase{"LowerThanKept", Freshness(7), [](Trusted& trusted) { return trusted.ProductList("TERBO", kVendorKey, {}, Freshness(8)); },
                  "The vendor's list of files could not be checked"},
        FreshnessCase{"SameSerialOtherContent", Freshness(7),
                  [](Trusted& trusted) {
                    return trusted.ProductList("TERBO", kVendorKey, [](std::vector<TListEntry>& e) { e[0].body += "x"; });
                  },
                  "The vendor's list of files could not be checked"},
        FreshnessCase{"SameListAgain", Freshness(7), [](Trusted& trusted) { return trusted.ProductList(); }, nullptr},
        FreshnessCase{"SameListKeptWithoutItsLastLineEnd", Freshness(7),
                  [](Trusted& trusted) { std::string text = trusted.ProductList(); text.pop_back(); return text; }, nullptr},
        FreshnessCase{"HigherThanKept", Freshness(8), [](Trusted& trusted) { return trusted.ProductList(); }, nullptr},
        FreshnessCase{"KeptUnderAnotherKey", Freshness(7),
                  [](Trusted& trusted) { return trusted.ProductList("TERBO", "the vendor's old key", {}, Freshness(9)); }, nullptr}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Trusted, ExpiredListTellsTheCzechUserToCheckTheClock) {
  StartTrusted();
  PublishList("TERBO", kVendorKey, {}, Freshness(7, "2020-01-01T00:00:00Z"));
  Download(form_->Image1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Seznam souboru od dodavatele uz neplati. Zkontrolujte datum a cas v pocitaci");
}

// A transfer the list cannot vouch for leaves nothing: not under the file's
// name, not aside.
struct Transfer {
  const char* name;
  std::size_t size;       // of the second file's answer, which the list says is 3000 bytes;
  std::size_t failAfter;  // 0: not found
  const char* message;    // %s: the download folder, %f: the second file's name
};

class TrustedTransfer : public Trusted, public ::testing::WithParamInterface<Transfer> {};

TEST_P(TrustedTransfer, ThatFailsLeavesNothingUnchecked) {
  StartTrusted();
  // Left by a run closed mid-file: never checked, so never kept.
  std::ofstream(root_ / "TERBO" / (Local(1) + ".part")) << "stale";
  const Transfer& t = GetParam();
  net_.Serve(Url(Server(2)), t.failAfter == 0
                                 ? FakeInternet::Response{404, "<html>gone</html>", true}
                                 : FakeInternet::Response{200, Body(Server(2), t.size), true, t.failAfter});
  Download(form_->Image2);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  std::string message = t.message;
  if (const auto at = message.find("%s"); at != std::string::npos) message.replace(at, 2, state_.DownloadFolder);
  if (const auto at = message.find("%f"); at != std::string::npos) message.replace(at, 2, Local(2));
  EXPECT_EQ(widgets_.boxes[0].text, message);
  EXPECT_EQ(Left(), (std::vector<std::string>{Local(1), kVendorListName}));
  EXPECT_LT(net_.Calls("InternetReadFile").size(), 40u) << "a transfer beyond the list is stopped at once";
}

INSTANTIATE_TEST_SUITE_P(Table, TrustedTransfer,
                         ::testing::Values(Transfer{"CutShort", 3000, 2000, "error - %s"},
                                           Transfer{"NotFound", 0, 0, "error - %s"},
                                           Transfer{"AnnouncedLonger", 4000000, std::string::npos,
                                                    "The file %f failed the vendor's check"},
                                           Transfer{"AnnouncedShorter", 2999, std::string::npos,
                                                    "The file %f failed the vendor's check"}),
                         [](const auto& p) { return std::string(p.param.name); });

struct ListFault {
  const char* name;
  std::function<void(Trusted&)> serve;
};

class TrustedList : public Trusted, public ::testing::WithParamInterface<ListFault> {
 public:
  void Serve(const std::string& text) { net_.Serve(Url(kVendorListName), {200, text, true}); }
  void Publish(const std::string& product, const std::string& key) { PublishList(product, key); }
  void Unpublish() { net_.Serve(Url(kVendorListName), {404, "<html>not found</html>", true}); }
  std::string Signed() {
    return SignList(ListBody("TERBO", {{Server(1), Body(Server(1), 3000)}}), kVendorKey);
  }
};

TEST_P(TrustedList, ThatCannotBeCheckedEndsTheRunBeforeTheFirstFile) {
  StartTrusted();
  GetParam().serve(*this);
  form_->Image2->Click();
  Fire(form_->Timer1);
  ASSERT_TRUE(PumpUntil([&] { return !widgets_.boxes.empty(); }));
  EXPECT_EQ(widgets_.boxes[0].text, "The vendor's list of files could not be checked");
  Pump(50ms);
  EXPECT_EQ(RequestedPaths(), std::vector<AnsiText>{Url(kVendorListName)});
  EXPECT_TRUE(fs::is_empty(root_ / "TERBO"));
  EXPECT_FALSE(form_->Timer2->Enabled() || form_->Timer3->Enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrustedList,
    ::testing::Values(
        ListFault{"Missing", [](Trusted& trusted) { static_cast<TrustedList&>(trusted).Unpublish(); }},
        ListFault{"ChangedAfterSigning",
                  [](Trusted& trusted) {
                    std::string text = static_cast<TrustedList&>(trusted).Signed();
                    text[text.find("3000")] = '4';
                    static_cast<TrustedList&>(trusted).Serve(text);
                  }},
        ListFault{
            "SignedByAnotherKey",
            [](Trusted& trusted) { static_cast<TrustedList&>(trusted).Publish("TERBO", "another key"); }},
        ListFault{
            "OfAnotherProduct",
            [](Trusted& trusted) { static_cast<TrustedList&>(trusted).Publish("KALMIRO", kVendorKey); }},
        ListFault{"FarTooLong",
                  [](Trusted& trusted) {
                    static_cast<TrustedList&>(trusted).Serve(std::string(4 * kVendorListLimit, 'x'));
                  }}),
    [](const auto& p) { return std::string(p.param.name); });

struct FileFault {
  const char* name;
  TEditList edit;  // what the list says of the second file
};

class TrustedFile : public Trusted, public ::testing::WithParamInterface<FileFault> {};

TEST_P(TrustedFile, ThatFailsTheCheckIsDeletedAndEndsTheRun) {
  StartTrusted(GetParam().edit);
  Download(form_->Image1);
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Soubor " + Local(2) + " neprosel kontrolou dodavatele");
  Pump(50ms);
  EXPECT_FALSE(form_->Timer2->Enabled() || form_->Timer3->Enabled());
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(1)), Body(Server(1), 3000)) << "the file checked before stays";
  EXPECT_FALSE(fs::exists(root_ / "TERBO" / Local(2)));
  EXPECT_EQ(RequestedPaths().size(), 3u) << "nothing after it is fetched";
  EXPECT_TRUE(Reports().empty());
  EXPECT_TRUE(sys_.opened.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrustedFile,
    ::testing::Values(FileFault{"NotInTheList", [](std::vector<TListEntry>& e) { e.erase(e.begin() + 1); }},
                      FileFault{"OfAnotherSize", [](std::vector<TListEntry>& e) { e[1].body += "x"; }},
                      FileFault{"OfAnotherDigest", [](std::vector<TListEntry>& e) { e[1].body[1500] ^= 1; }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Trusted, SetupChangedAfterItsCheckIsReportedAsMissingAndNeitherStartedNorKept) {
  StartTrusted();
  Download(form_->Image2);
  ASSERT_TRUE(form_->Timer3->Enabled());
  std::ofstream(root_ / "TERBO" / "setup.exe", std::ios::binary | std::ios::trunc)
      << Body(SetupServerName(), 2999) << "!";
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  EXPECT_TRUE(sys_.opened.empty());
  EXPECT_FALSE(fs::exists(root_ / "TERBO" / "setup.exe"));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_EQ(Reports()[0].rfind("DOWNLOAD%20ERROR%20(TERBO)*PC01*", 0), 0u) << Reports()[0];
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].text, "Download error...");
}

// ---- Built with more tries and a mirror host: a bad line does not end the run.

namespace {
constexpr const char* kMirror = "mirror.vendor.example";
constexpr const char* kETag = "\"5f-3000\"";
}  // namespace

class Resilient : public Trusted {
 protected:
  void SetUp() override {
    Trusted::SetUp();
    retries_ = 3;
    mirrors_ = {kMirror};
  }
  // Every file served on both hosts, able to continue a body from an offset.
  void StartResilient() {
    StartTrusted();
    for (int i = 1; i <= state_.FileCount; ++i) {
      for (const char* host : {kHost, kMirror}) net_.Serve(UrlOn(host, Server(i)), Served(Server(i)));
    }
  }

 public:
  static FakeInternet::Response Served(const AnsiText& server, std::size_t failAfter = std::string::npos) {
    return {200, Body(server, 3000), true, failAfter, {{IInternetApi::kQueryETag, kETag}}, true};
  }

 protected:
  AnsiText UrlOn(const char* host, const AnsiText& server) const {
    return AnsiText(host) + "/download/" + state_.ProgramName + "/" + server;
  }
  // Clicks a flag and runs the timers until the run ends, calling beforeRetry
  // with the status heading each time a new try waits.
  void Run(TImage* flag, const std::function<void(const AnsiText&)>& beforeRetry = {}) {
    flag->Click();
    Fire(form_->Timer1);
    for (;;) {
      const std::size_t boxes = widgets_.boxes.size();
      ASSERT_TRUE(PumpUntil([&] {
        return form_->Timer2->Enabled() || form_->Timer3->Enabled() || form_->Timer4->Enabled() ||
               widgets_.boxes.size() > boxes;
      }));
      if (form_->Timer4->Enabled()) {
        if (beforeRetry) beforeRetry(form_->Label2->Caption());
        Fire(form_->Timer4);
      } else if (form_->Timer2->Enabled()) {
        Fire(form_->Timer2);
      } else {
        break;
      }
    }
  }
  // The requests of a file or page, its query aside (the report carries one).
  std::vector<FakeInternet::Request> RequestsFor(const AnsiText& server) const {
    std::vector<FakeInternet::Request> out;
    for (const auto& r : net_.Requests()) {
      if (r.path.substr(0, r.path.find('?')).ends_with("/" + server)) out.push_back(r);
    }
    return out;
  }
};

TEST_F(Resilient, CutTransferIsContinuedWhereItStoppedAndTheRunCompletes) {
  StartResilient();
  net_.Serve(Url(Server(2)), Served(Server(2), 1500));
  std::vector<AnsiText> headings;
  Run(form_->Image2, [&](const AnsiText& heading) {
    headings.push_back(heading);
    net_.Serve(Url(Server(2)), Served(Server(2)));
  });
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  EXPECT_EQ(headings, std::vector<AnsiText>{"Retrying the download (try 2 of 4)..."});
  EXPECT_EQ(form_->Label2->Caption(), texts::kStatusEn) << "the usual heading once the try succeeded";
  const auto tries = RequestsFor(Server(2));
  ASSERT_EQ(tries.size(), 2u);
  EXPECT_EQ(tries[0].headers, "");
  EXPECT_EQ(tries[1].headers, std::string("Range: bytes=1500-\r\nIf-Range: ") + kETag + "\r\n");
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(2)), Body(Server(2), 3000));
  EXPECT_EQ(form_->had->MaxValue(), 3000) << "the gauge shows the whole file";
}

// What the server answers to the request for the rest of a file cut at 1500 bytes.
struct RestAnswer {
  const char* name;
  std::function<FakeInternet::Response(const AnsiText& server)> answer;
  std::size_t tries;  // of the file, until it passed its check
};

class ResilientRest : public Resilient, public ::testing::WithParamInterface<RestAnswer> {};

TEST_P(ResilientRest, EndsWithTheListsFile) {
  StartResilient();
  net_.Serve(Url(Server(2)), Served(Server(2), 1500));
  int retry = 0;
  Run(form_->Image2, [&](const AnsiText&) {
    // The answer to the first new try; any later one is a plain server's.
    net_.Serve(Url(Server(2)), ++retry == 1 ? GetParam().answer(Server(2)) : Served(Server(2)));
  });
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  EXPECT_EQ(RequestsFor(Server(2)).size(), GetParam().tries);
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(2)), Body(Server(2), 3000));
  EXPECT_FALSE(fs::exists(root_ / "TERBO" / (Local(2) + ".part")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResilientRest,
    ::testing::Values(RestAnswer{"RestOfTheFile",
                                 [](const AnsiText& server) { return Resilient::Served(server); }, 2},
                      RestAnswer{"WholeFileOfTheListedSize",
                                 [](const AnsiText& server) {
                                   return FakeInternet::Response{200, Installer::Body(server, 3000), true};
                                 },
                                 2},
                      RestAnswer{"FileChangedSinceTheFirstAnswer",
                                 [](const AnsiText& server) {
                                   return FakeInternet::Response{200,
                                                                 Installer::Body(server, 3000),
                                                                 true,
                                                                 std::string::npos,
                                                                 {{IInternetApi::kQueryETag, "\"new\""}},
                                                                 true};
                                 },
                                 2},
                      RestAnswer{"AnotherRange",
                                 [](const AnsiText& server) {
                                   return FakeInternet::Response{
                                       206,
                                       Installer::Body(server, 3000).substr(1000),
                                       true,
                                       std::string::npos,
                                       {{IInternetApi::kQueryContentRange, "bytes 1000-2999/3000"}}};
                                 },
                                 3},
                      RestAnswer{"WholeFileOfAnotherSize",
                                 [](const AnsiText& server) {
                                   return FakeInternet::Response{200, Installer::Body(server, 3100), true};
                                 },
                                 3}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Resilient, FileTheVendorsHostDoesNotHaveComesFromTheMirrorAndTheReportFromTheVendor) {
  StartResilient();
  net_.Serve(Url(Server(2)), {404, "<html>not here</html>", true});
  std::vector<AnsiText> headings;
  Run(form_->Image1, [&](const AnsiText& heading) { headings.push_back(heading); });
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  EXPECT_EQ(headings, std::vector<AnsiText>{"Stahuji z jineho serveru..."});
  // The run goes on from the mirror.
  for (int i = 2; i <= state_.FileCount; ++i)
    EXPECT_EQ(RequestsFor(Server(i)).back().host, kMirror) << Server(i);
  EXPECT_EQ(RequestsFor(Server(1)).back().host, kHost);
  Fire(form_->Timer3);
  ASSERT_TRUE(PumpUntil([&] { return form_->Closed(); }));
  ASSERT_EQ(Reports().size(), 1u);
  ASSERT_EQ(RequestsFor("setup.asp").size(), 1u);
  EXPECT_EQ(RequestsFor("setup.asp")[0].host, kHost) << "the report goes to the vendor's own host";
}

TEST_F(Resilient, SecondRunKeepsTheFilesTheListVouchesForAndFetchesTheRest) {
  StartResilient();
  // A run before stopped at the seventh file: six checked files, one aside,
  // and one of them since damaged.
  for (int i = 1; i <= 6; ++i)
    std::ofstream(root_ / "TERBO" / Local(i), std::ios::binary) << Body(Server(i), 3000);
  std::ofstream(root_ / "TERBO" / (Local(7) + ".part"), std::ios::binary) << Body(Server(7), 1200);
  std::string damaged = Body(Server(2), 3000);
  damaged[10] ^= 1;
  std::ofstream(root_ / "TERBO" / Local(2), std::ios::binary) << damaged;
  Run(form_->Image2);
  ASSERT_TRUE(form_->Timer3->Enabled()) << (widgets_.boxes.empty() ? "" : widgets_.boxes[0].text);
  std::vector<AnsiText> fetched;
  for (const auto& r : net_.Requests()) fetched.push_back(r.path.substr(r.path.rfind('/') + 1));
  EXPECT_EQ(fetched, (std::vector<AnsiText>{kVendorListName, Server(2), Server(7), Server(8), Server(9)}));
  EXPECT_EQ(RequestsFor(Server(7))[0].headers, "") << "what a run before left aside is not continued";
  EXPECT_EQ(ReadFile(root_ / "TERBO" / Local(2)), Body(Server(2), 3000));
}

TEST(RetryPause, DoublesFromASecondToHalfAMinuteOrTakesTheServersWordUpToAMinute) {
  std::vector<std::uint32_t> pauses;
  for (int repeat = 1; repeat <= 8; ++repeat) pauses.push_back(PauseBefore(repeat, -1));
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
  EXPECT_EQ(PauseBefore(1, 0), 1000u) << "a timer never runs at 0";
  EXPECT_EQ(PauseBefore(4, 5), 5000u);
  EXPECT_EQ(PauseBefore(1, 120), 60000u);
}
