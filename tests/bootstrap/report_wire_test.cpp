// The report request on the wire: through the real transport to the vendor
// server, which logs the query decoded. What it logs must be exactly the
// address the window built.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "Fakes.h"
#include "VendorServer.h"
#include "bootstrap/Main.h"
#include "platform/posix/http/PosixInternet.h"
#include "tests/support/FakeSystem.h"
#include "textconv/Utility.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ReportWire, QueryReachesTheServerDecodedExactlyAsBuilt) {
  const fs::path root = fs::temp_directory_path() / ("websetup-wire-" + std::to_string(::getpid()));
  fs::create_directories(root / "tree");
  // Removed also when an assertion ends the test early.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> removeRoot(&root, [](const fs::path* p) {
    std::error_code ignored;
    fs::remove_all(*p, ignored);
  });
  vendor::VendorServer server(root / "tree", root / "report.log");
  server.Start();

  TFakeWidgets widgets;
  Application().SetWidgetSet(&widgets);
  TFakeSystem sys;
  sys.delimiter = '/';
  sys.modulePath = "/opt/zulan_festir.exe";
  sys.env["temp"] = root.string();
  TFakeMachine machine;
  machine.computerName = "PC (01) #2 {a|b} <x> \"q\" ^`";
  machine.userName = "Jan Nov\xe1k & co+";
  machine.systemDirectory = "C:\\WINDOWS\\system32\\";
  PosixInternetSettings settings;
  settings.httpProxy = server.BaseUrl();
  PosixInternet internet(settings);
  TBootstrapState state;
  TPlatform platform{sys, machine, internet, "www.vendor.example", {}, nullptr, 0, {}};
  {
    TForm1 form(nullptr, platform, state);
    state.LanguageCode = "cz";
    sys.files.insert(state.DownloadFolder + "setup.exe");
    form.Button1->Click();  // the completion step, as its timer would run it
    for (int i = 0; i < 500 && !form.Closed(); ++i) {
      MainThreadQueue().WaitForPending(10ms);
      MainThreadQueue().ProcessPending();
    }
    EXPECT_TRUE(form.Closed());
  }
  Application().SetWidgetSet(nullptr);
  server.Stop();

  const AnsiText co =
      "stazeno (ZULAN_FESTIR)*PC (01) #2 {a|b} <x> \"q\" ^`*Jan Novak & co+*"
      "Windows XP Professional Service Pack 2 (Build 2600)*Windows XP*C:\\WINDOWS\\system32*";
  ASSERT_EQ(server.ReportLines().size(), 1u);
  EXPECT_EQ(server.ReportLines()[0], "telefon=XXX&co=" + co);
  ASSERT_EQ(server.Requests().size(), 1u);
  // Through the proxy the request names the vendor's host.
  EXPECT_EQ(server.Requests()[0].target.rfind("http://www.vendor.example/programy/setup.asp?", 0), 0u);
  EXPECT_EQ(sys.opened.size(), 1u);
}
